#include "platform/text.h"
#include "platform/win32.h"

namespace platform {

std::u32string decodeShiftJis(const char* sjis) { return win32::decodeShiftJis(sjis); }

}  // namespace platform
