#include <cstdlib>

#include "platform/process.h"

namespace platform {

void prepareProcess() {}

void unsetEnvironment(const char* name) { unsetenv(name); }

}  // namespace platform
