#pragma once
#include <array>
#include <cstdint>
#include <string_view>

namespace tallyhive {

using Md5Digest = std::array<std::uint8_t, 16>;

// MD5 of exactly these bytes through the platform's crypto services; false when they fail.
bool ComputeMd5(std::string_view bytes, Md5Digest& digest);

}  // namespace tallyhive
