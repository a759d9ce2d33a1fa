#include "platform/text_face.h"
#include "platform/win32.h"

namespace platform::text {

// Without fontconfig the candidates are files: the substitute beside the program, the system's.
Face* findFace(const char* family, Need need, bool, bool) {
    for (const auto& [path, index] : win32::faceFiles(need == Need::Family ? family : nullptr))
        if (Face* face = openFaceFile(path, index)) return face;
    return nullptr;
}
Face* anyInstalledFace() { return nullptr; }

}  // namespace platform::text
