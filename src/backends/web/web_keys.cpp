#include <cstring>
#include <string_view>

#include "backends/web/web_backend.h"

namespace platform {

uint32_t virtualKeyFromDomCode(const char* code) {
    if (!code) return 0;
    const std::string_view c(code);
    if (c.size() == 4 && c.starts_with("Key") && c[3] >= 'A' && c[3] <= 'Z') return uint32_t(c[3]);
    if (c.size() == 6 && c.starts_with("Digit") && c[5] >= '0' && c[5] <= '9')
        return uint32_t(c[5]);
    if (c.size() >= 2 && c.size() <= 3 && c[0] == 'F' && c[1] >= '1' && c[1] <= '9') {
        const int n = c.size() == 2
                          ? c[1] - '0'
                          : (c[2] >= '0' && c[2] <= '9' ? (c[1] - '0') * 10 + c[2] - '0' : 0);
        if (n >= 1 && n <= 12) return VK_F1 + uint32_t(n - 1);
        return 0;
    }
    static constexpr struct {
        std::string_view code;
        uint32_t vk;
    } kTable[] = {
        {"Backspace", VK_BACK},
        {"Tab", VK_TAB},
        {"Enter", VK_RETURN},
        {"NumpadEnter", VK_RETURN},
        {"ShiftLeft", VK_SHIFT},
        {"ShiftRight", VK_SHIFT},
        {"ControlLeft", VK_CONTROL},
        {"ControlRight", VK_CONTROL},
        {"AltLeft", VK_MENU},
        {"AltRight", VK_MENU},
        {"Pause", VK_PAUSE},
        {"Escape", VK_ESCAPE},
        {"Space", VK_SPACE},
        {"PageUp", 33},
        {"PageDown", 34},
        {"End", 35},
        {"Home", 36},
        {"ArrowLeft", VK_LEFT},
        {"ArrowUp", VK_UP},
        {"ArrowRight", VK_RIGHT},
        {"ArrowDown", VK_DOWN},
        {"Insert", 45},
        {"Delete", 46},
    };
    for (const auto& k : kTable)
        if (k.code == c) return k.vk;
    return 0;
}

bool keyMessageFromDom(bool pressed, bool repeat, bool altHeld, const char* code, Message& out) {
    const uint32_t vk = virtualKeyFromDomCode(code);
    if (vk == 0) return false;
    out = keyMessage(vk, pressed, repeat, altHeld);
    return true;
}

}  // namespace platform
