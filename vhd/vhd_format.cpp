#include "vhd/vhd_format.h"

#include "vhd/big_endian.h"

namespace {

constexpr std::size_t kFooterChecksum = 64;
constexpr std::size_t kHeaderChecksum = 36;

std::uint64_t PadToSector(std::uint64_t size) {
  return (size + kVhdSector - 1) / kVhdSector * kVhdSector;
}

bool IsPowerOfTwo(std::uint32_t value) {
  return value != 0 && (value & (value - 1)) == 0;
}

std::optional<VhdType> TypeOf(std::uint32_t code) {
  switch (code) {
    case 2:
      return VhdType::kFixed;
    case 3:
      return VhdType::kDynamic;
    case 4:
      return VhdType::kDifferencing;
    default:
      return std::nullopt;
  }
}

}  // namespace

std::uint32_t VhdChecksum(std::string_view bytes, std::size_t checksum_offset) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const bool in_field = i >= checksum_offset && i < checksum_offset + 4;
    if (!in_field) sum += static_cast<unsigned char>(bytes[i]);
  }
  return ~sum;
}

VhdRead<VhdFooter> ReadVhdFooter(std::string_view bytes) {
  if (bytes.size() != kVhdFooterSize && bytes.size() != kVhdShortFooterSize) {
    return {std::nullopt, "a VHD footer takes 512 bytes"};
  }
  if (bytes.substr(0, 8) != "conectix") return {std::nullopt, "no VHD footer"};
  if (VhdChecksum(bytes, kFooterChecksum) != ReadBe32(bytes, kFooterChecksum)) {
    return {std::nullopt, "the VHD footer's checksum is wrong"};
  }
  const std::optional<VhdType> type = TypeOf(ReadBe32(bytes, 60));
  if (!type) return {std::nullopt, "a VHD of an unknown disk type"};
  if (type == VhdType::kDifferencing) {
    return {std::nullopt, "a differencing VHD: convert it first, e.g. qemu-img convert -O vpc"};
  }
  VhdFooter footer{ReadBe64(bytes, 16), ReadBe64(bytes, 48), *type};
  if (footer.current_size % kVhdSector != 0) {
    return {std::nullopt, "the VHD's disk size is no whole number of sectors"};
  }
  return {footer, ""};
}

VhdRead<VhdHeader> ReadVhdHeader(std::string_view bytes) {
  if (bytes.size() != kVhdHeaderSize) return {std::nullopt, "a VHD header takes 1024 bytes"};
  if (bytes.substr(0, 8) != "cxsparse") return {std::nullopt, "no dynamic VHD header"};
  if (VhdChecksum(bytes, kHeaderChecksum) != ReadBe32(bytes, kHeaderChecksum)) {
    return {std::nullopt, "the dynamic VHD header's checksum is wrong"};
  }
  VhdHeader header{ReadBe64(bytes, 16), ReadBe32(bytes, 28), ReadBe32(bytes, 32)};
  if (!IsPowerOfTwo(header.block_size) || header.block_size < kVhdSector) {
    return {std::nullopt, "the VHD's block size is no power of two of whole sectors"};
  }
  return {header, ""};
}

std::vector<std::uint32_t> ReadBlockTable(std::string_view bytes, std::uint32_t entries) {
  std::vector<std::uint32_t> table(entries);
  for (std::uint32_t i = 0; i < entries; ++i) table[i] = ReadBe32(bytes, std::size_t{i} * 4);
  return table;
}

std::uint64_t VhdBitmapSize(std::uint32_t block_size) {
  return PadToSector((std::uint64_t{block_size} / kVhdSector + 7) / 8);
}

std::uint64_t VhdTableSize(std::uint32_t entries) {
  return PadToSector(std::uint64_t{entries} * 4);
}
