// The readers that take a file name get each fuzz input through a file of this process's own.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace fuzz {

// Writes the input to /tmp/varnis-fuzz-<kind>-<pid>.bmp and returns that path ("" on failure).
inline std::string writeInput(const char* kind, const uint8_t* data, size_t size) {
    const std::string path =
        "/tmp/varnis-fuzz-" + std::string(kind) + "-" + std::to_string(getpid()) + ".bmp";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return "";
    const bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok ? path : "";
}

}  // namespace fuzz
