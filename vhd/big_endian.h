// Big-endian fields inside byte strings, as VHD stores them; the caller keeps
// the offsets in range.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

inline std::uint64_t ReadBe(std::string_view bytes, std::size_t offset, std::size_t width) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < width; ++i) {
    value = (value << 8) | static_cast<unsigned char>(bytes[offset + i]);
  }
  return value;
}
inline std::uint32_t ReadBe32(std::string_view bytes, std::size_t offset) {
  return static_cast<std::uint32_t>(ReadBe(bytes, offset, 4));
}
inline std::uint64_t ReadBe64(std::string_view bytes, std::size_t offset) {
  return ReadBe(bytes, offset, 8);
}

inline void WriteBe32(std::string& bytes, std::size_t offset, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) {
    bytes[offset + i] = static_cast<char>((value >> (8 * (3 - i))) & 0xFF);
  }
}
