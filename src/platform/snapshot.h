// Pictures of the front surface, as the headless runner's snapshots and a replay's last picture.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// The front surface through the device palette as an 8-bit bottom-up Windows bitmap (a black
// 640 by 480 picture while no display is open).
std::vector<uint8_t> encodeSnapshot();
bool writeSnapshot(const std::string& path, std::string& error);
// Writes a picture made before (by encodeSnapshot or encodeBitmap8).
bool writeSnapshot(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error);

}  // namespace platform
