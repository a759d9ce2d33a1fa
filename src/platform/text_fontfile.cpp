#include "platform/datafile.h"
#include "platform/text_face.h"

namespace platform::text {

// Without fontconfig (the web build) one face file, found among the data files, stands in for
// every request, as a substitute: what fontconfig would have chosen on the desktop.
Face* findFace(const char*, Need need, bool, bool) {
    return need == Need::Family ? nullptr : openFaceFile(dataFilePath(VARNIS_FONT_FILE), 0);
}
Face* anyInstalledFace() { return nullptr; }

}  // namespace platform::text
