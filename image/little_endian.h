// Little-endian fields inside byte strings; the caller keeps the offsets in range.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

inline std::uint32_t ReadLe(std::string_view bytes, std::size_t offset, std::size_t width) {
  std::uint32_t value = 0;
  for (std::size_t i = width; i > 0; --i) {
    value = (value << 8) | static_cast<unsigned char>(bytes[offset + i - 1]);
  }
  return value;
}
inline std::uint16_t ReadLe16(std::string_view bytes, std::size_t offset) {
  return static_cast<std::uint16_t>(ReadLe(bytes, offset, 2));
}
inline std::uint32_t ReadLe32(std::string_view bytes, std::size_t offset) {
  return ReadLe(bytes, offset, 4);
}

inline void WriteLe(std::string& bytes, std::size_t offset, std::size_t width,
                    std::uint32_t value) {
  for (std::size_t i = 0; i < width; ++i) {
    bytes[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  }
}
inline void WriteLe16(std::string& bytes, std::size_t offset, std::uint16_t value) {
  WriteLe(bytes, offset, 2, value);
}
inline void WriteLe32(std::string& bytes, std::size_t offset, std::uint32_t value) {
  WriteLe(bytes, offset, 4, value);
}
