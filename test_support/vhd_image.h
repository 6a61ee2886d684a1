// VHD files built in memory for the VHD tests, field by field as Microsoft's
// description of the format lays them out, so that each test can break one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "vhd/vhd_format.h"

inline void PutBe(std::string& bytes, std::size_t offset, std::size_t width, std::uint64_t value) {
  for (std::size_t i = 0; i < width; ++i) {
    bytes[offset + i] = static_cast<char>((value >> (8 * (width - 1 - i))) & 0xFF);
  }
}

// Sets the checksum field at the offset to the sum of the other bytes.
inline void Reseal(std::string& bytes, std::size_t checksum_offset) {
  PutBe(bytes, checksum_offset, 4, VhdChecksum(bytes, checksum_offset));
}

inline std::string MakeFooter(std::uint32_t type, std::uint64_t disk_size,
                              std::uint64_t data_offset) {
  std::string footer(kVhdFooterSize, '\0');
  footer.replace(0, 8, "conectix");
  PutBe(footer, 8, 4, 2);  // features: the reserved bit
  PutBe(footer, 12, 4, 0x00010000);
  PutBe(footer, 16, 8, data_offset);
  PutBe(footer, 24, 4, 0x32aac7f0);  // time stamp
  footer.replace(28, 4, "kt32");
  PutBe(footer, 40, 8, disk_size);
  PutBe(footer, 48, 8, disk_size);
  PutBe(footer, 56, 4, 0x01e20411);  // geometry
  PutBe(footer, 60, 4, type);
  footer.replace(68, 16, "0123456789abcdef");
  Reseal(footer, 64);
  return footer;
}

inline std::string MakeHeader(std::uint64_t table_offset, std::uint32_t entries,
                              std::uint32_t block_size) {
  std::string header(kVhdHeaderSize, '\0');
  header.replace(0, 8, "cxsparse");
  PutBe(header, 8, 8, UINT64_MAX);
  PutBe(header, 16, 8, table_offset);
  PutBe(header, 24, 4, 0x00010000);
  PutBe(header, 28, 4, entries);
  PutBe(header, 32, 4, block_size);
  Reseal(header, 36);
  return header;
}

inline constexpr std::uint64_t kTestTableOffset = 1536;

// A dynamic VHD: footer copy, header at 512, table at 1536, then the blocks
// listed, in that order, each with every bitmap bit set and data bytes of
// 'A' + its index, then the footer.
inline std::string MakeDynamicVhd(std::uint64_t disk_size, std::uint32_t block_size,
                                  const std::vector<std::uint32_t>& allocated) {
  const auto entries = static_cast<std::uint32_t>((disk_size + block_size - 1) / block_size);
  const std::string footer = MakeFooter(3, disk_size, 512);
  std::string table(VhdTableSize(entries), '\xff');
  std::string blocks;
  const std::uint64_t first_block = kTestTableOffset + table.size();
  for (const std::uint32_t block : allocated) {
    PutBe(table, block * 4, 4, (first_block + blocks.size()) / kVhdSector);
    blocks += std::string(VhdBitmapSize(block_size), '\xff');
    blocks += std::string(block_size, static_cast<char>('A' + block));
  }
  return footer + MakeHeader(kTestTableOffset, entries, block_size) + table + blocks + footer;
}

inline std::string MakeFixedVhd(const std::string& disk) {
  return disk + MakeFooter(2, disk.size(), UINT64_MAX);
}
