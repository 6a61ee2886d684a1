#include "vhd/vhd_device.h"

#include <algorithm>
#include <utility>

#include "vhd/big_endian.h"

namespace {

// Calls piece(block, offset within the block, size, offset within the range)
// for each block's part of the range, in order, until one fails.
template <typename Piece>
bool ForEachBlockPiece(std::uint64_t offset, std::uint64_t size, std::uint64_t block_size,
                       Piece piece) {
  for (std::uint64_t done = 0; done < size;) {
    const std::uint64_t within = (offset + done) % block_size;
    const std::uint64_t part = std::min(size - done, block_size - within);
    if (!piece((offset + done) / block_size, within, part, done)) return false;
    done += part;
  }
  return true;
}

bool BitSet(const std::string& bitmap, std::uint64_t first_sector, std::uint64_t sector) {
  const auto byte = static_cast<unsigned char>(bitmap[sector / 8 - first_sector / 8]);
  return (byte & (0x80U >> (sector % 8))) != 0;
}

void SetBit(std::string& bitmap, std::uint64_t first_sector, std::uint64_t sector) {
  char& byte = bitmap[sector / 8 - first_sector / 8];
  byte = static_cast<char>(static_cast<unsigned char>(byte) | (0x80U >> (sector % 8)));
}

}  // namespace

VhdDevice::VhdDevice(GrowableDevice& file, VhdLayout layout)
    : file_(&file), layout_(std::move(layout)) {
  if (Dynamic()) bitmap_size_ = VhdBitmapSize(layout_.header.block_size);
}

bool VhdDevice::InRange(std::uint64_t offset, std::uint64_t size) const {
  return offset <= Size() && size <= Size() - offset;
}

std::uint64_t VhdDevice::BitmapOffset(std::uint64_t block) const {
  return std::uint64_t{layout_.table[block]} * kVhdSector;
}

std::uint64_t VhdDevice::DataOffset(std::uint64_t block) const {
  return BitmapOffset(block) + bitmap_size_;
}

bool VhdDevice::IsAllocated(std::uint64_t offset, std::uint64_t size) const {
  if (!InRange(offset, size)) return false;
  if (!Dynamic()) return true;
  return ForEachBlockPiece(
      offset, size, layout_.header.block_size,
      [this](std::uint64_t block, std::uint64_t, std::uint64_t, std::uint64_t) {
        return layout_.table[block] != kVhdUnallocated;
      });
}

bool VhdDevice::Read(std::uint64_t offset, std::size_t size, std::string& out) {
  if (!InRange(offset, size)) return false;
  if (!Dynamic()) return file_->Read(offset, size, out);
  out.assign(size, '\0');
  return ForEachBlockPiece(offset, size, layout_.header.block_size,
                           [this, &out](std::uint64_t block, std::uint64_t within,
                                        std::uint64_t part, std::uint64_t done) {
                             std::string piece;
                             if (!ReadInBlock(block, within, static_cast<std::size_t>(part), piece))
                               return false;
                             out.replace(static_cast<std::size_t>(done), piece.size(), piece);
                             return true;
                           });
}

bool VhdDevice::Write(std::uint64_t offset, std::string_view bytes) {
  if (!InRange(offset, bytes.size())) return false;
  if (!Dynamic()) return file_->Write(offset, bytes);
  return ForEachBlockPiece(offset, bytes.size(), layout_.header.block_size,
                           [this, bytes](std::uint64_t block, std::uint64_t within,
                                         std::uint64_t part, std::uint64_t done) {
                             return WriteInBlock(block, within, bytes.substr(done, part));
                           });
}

bool VhdDevice::ReadBitmap(std::uint64_t block, std::uint64_t first_sector,
                           std::uint64_t last_sector, std::string& bitmap) {
  return file_->Read(BitmapOffset(block) + first_sector / 8,
                     static_cast<std::size_t>(last_sector / 8 - first_sector / 8 + 1), bitmap);
}

bool VhdDevice::ReadInBlock(std::uint64_t block, std::uint64_t within, std::size_t size,
                            std::string& out) {
  if (layout_.table[block] == kVhdUnallocated) {
    out.assign(size, '\0');
    return true;
  }
  const std::uint64_t first = within / kVhdSector;
  const std::uint64_t last = (within + size - 1) / kVhdSector;
  std::string bitmap;
  if (!file_->Read(DataOffset(block) + within, size, out) ||
      !ReadBitmap(block, first, last, bitmap)) {
    return false;
  }
  for (std::uint64_t sector = first; sector <= last; ++sector) {
    if (BitSet(bitmap, first, sector)) continue;
    const std::uint64_t begin = std::max(sector * kVhdSector, within);
    const std::uint64_t end = std::min((sector + 1) * kVhdSector, within + size);
    std::fill_n(out.begin() + static_cast<std::ptrdiff_t>(begin - within), end - begin, '\0');
  }
  return true;
}

bool VhdDevice::WriteInBlock(std::uint64_t block, std::uint64_t within, std::string_view bytes) {
  return layout_.table[block] == kVhdUnallocated ? Allocate(block, within, bytes)
                                                 : WriteAllocated(block, within, bytes);
}

// Sectors marked absent read as zeros, so a write covering part of one writes
// the whole sector, zeros around the new bytes, before the bitmap marks it.
bool VhdDevice::WriteAllocated(std::uint64_t block, std::uint64_t within, std::string_view bytes) {
  const std::uint64_t first = within / kVhdSector;
  const std::uint64_t last = (within + bytes.size() - 1) / kVhdSector;
  std::string bitmap;
  if (!ReadBitmap(block, first, last, bitmap)) return false;
  bool all_present = true;
  for (std::uint64_t sector = first; sector <= last; ++sector) {
    all_present = all_present && BitSet(bitmap, first, sector);
  }
  if (all_present) return file_->Write(DataOffset(block) + within, bytes);
  const std::uint64_t span_start = first * kVhdSector;
  std::string span;
  if (!ReadInBlock(block, span_start, (last - first + 1) * kVhdSector, span)) return false;
  span.replace(within - span_start, bytes.size(), bytes);
  if (!file_->Write(DataOffset(block) + span_start, span) || !file_->Sync()) return false;
  for (std::uint64_t sector = first; sector <= last; ++sector) SetBit(bitmap, first, sector);
  return file_->Write(BitmapOffset(block) + first / 8, bitmap);
}

// The block goes where the footer was: first a copy of the footer past the
// block's end, which grows the file with zeros; then the bitmap over the old
// footer and the new bytes; only then the table entry that puts it in use.
// Each step is synced before the next, so any prefix leaves a valid VHD.
bool VhdDevice::Allocate(std::uint64_t block, std::uint64_t within, std::string_view bytes) {
  const std::uint64_t start = (layout_.footer_offset + kVhdSector - 1) / kVhdSector * kVhdSector;
  const std::uint64_t sector = start / kVhdSector;
  if (sector >= kVhdUnallocated) return false;
  const std::uint64_t new_footer_offset = start + bitmap_size_ + layout_.header.block_size;
  if (!file_->Write(new_footer_offset, layout_.footer_bytes) || !file_->Sync()) return false;
  if (!file_->Write(start, FullBitmap()) || !file_->Write(start + bitmap_size_ + within, bytes) ||
      !file_->Sync()) {
    return false;
  }
  std::string entry(4, '\0');
  WriteBe32(entry, 0, static_cast<std::uint32_t>(sector));
  if (!file_->Write(layout_.header.table_offset + block * 4, entry) || !file_->Sync()) return false;
  layout_.table[block] = static_cast<std::uint32_t>(sector);
  layout_.footer_offset = new_footer_offset;
  return true;
}

// Every sector of a new block is present: those not written hold zeros.
std::string VhdDevice::FullBitmap() const {
  const std::uint64_t sectors = layout_.header.block_size / kVhdSector;
  std::string bitmap(static_cast<std::size_t>(bitmap_size_), '\0');
  std::fill_n(bitmap.begin(), sectors / 8, '\xff');
  if (sectors % 8 != 0) bitmap[0] = static_cast<char>(0xFF00U >> sectors);
  return bitmap;
}
