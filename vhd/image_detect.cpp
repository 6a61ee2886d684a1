#include "vhd/image_detect.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <utility>

namespace {

struct Extent {
  std::uint64_t start = 0;
  std::uint64_t size = 0;
};

ImageDetection Refuse(std::string problem) {
  return {ImageKind::kRefused, std::move(problem), {}};
}

std::string ConvertAdvice(const std::string& format) {
  return "a " + format + " image: convert it to VHD or raw first, e.g. qemu-img convert -O vpc";
}

constexpr std::string_view kVmdkDescriptor = "# Disk DescriptorFile";

std::optional<std::string> ForeignFormat(std::string_view start) {
  if (start.substr(0, 8) == "vhdxfile") return "VHDX";
  if (start.substr(0, 4) == "QFI\xfb") return "qcow2";
  if (start.substr(0, 4) == "<<< " && start.size() >= 0x44 &&
      start.substr(0x40, 4) == "\x7f\x10\xda\xbe") {
    return "VDI";
  }
  if (start.substr(0, 4) == "KDMV" || start.substr(0, kVmdkDescriptor.size()) == kVmdkDescriptor) {
    return "VMDK";
  }
  return std::nullopt;
}

std::string ReadUpTo(BlockDevice& file, std::uint64_t offset, std::size_t size) {
  std::string bytes;
  if (offset >= file.Size()) return bytes;
  const auto available =
      static_cast<std::size_t>(std::min<std::uint64_t>(size, file.Size() - offset));
  if (!file.Read(offset, available, bytes)) bytes.clear();
  return bytes;
}

// The footer at the end, of 512 bytes or of an old tool's 511.
std::optional<std::uint64_t> FindFooter(BlockDevice& file) {
  for (const std::size_t size : {kVhdFooterSize, kVhdShortFooterSize}) {
    if (file.Size() < size) continue;
    if (ReadUpTo(file, file.Size() - size, 8) == "conectix") return file.Size() - size;
  }
  return std::nullopt;
}

bool Inside(const Extent& extent, std::uint64_t begin, std::uint64_t end) {
  return extent.start >= begin && extent.start <= end && extent.size <= end - extent.start;
}

// Header, table and blocks between the footer copy at the start and the footer.
std::string CheckExtents(std::vector<Extent> extents, std::uint64_t footer_offset) {
  for (const Extent& extent : extents) {
    if (!Inside(extent, kVhdFooterSize, footer_offset)) {
      return "the VHD's header, table or a block lies outside the file's data";
    }
  }
  std::sort(extents.begin(), extents.end(),
            [](const Extent& a, const Extent& b) { return a.start < b.start; });
  for (std::size_t i = 1; i < extents.size(); ++i) {
    if (extents[i - 1].start + extents[i - 1].size > extents[i].start) {
      return "the VHD's header, table or blocks overlap";
    }
  }
  return "";
}

ImageDetection CheckFixed(VhdLayout layout) {
  if (layout.footer.current_size != layout.footer_offset) {
    return Refuse("the fixed VHD's file size does not match its disk size");
  }
  return {ImageKind::kFixedVhd, "", std::move(layout)};
}

std::string CheckFooterCopy(BlockDevice& file, const VhdFooter& footer) {
  const VhdRead<VhdFooter> copy = ReadVhdFooter(ReadUpTo(file, 0, kVhdFooterSize));
  if (!copy.value) return "the dynamic VHD's footer copy at the start: " + copy.problem;
  const bool same = copy.value->data_offset == footer.data_offset &&
                    copy.value->current_size == footer.current_size &&
                    copy.value->type == footer.type;
  return same ? "" : "the dynamic VHD's two footers disagree";
}

ImageDetection CheckDynamic(BlockDevice& file, VhdLayout layout) {
  if (layout.footer_offset < kVhdFooterSize + kVhdHeaderSize) {
    return Refuse("the dynamic VHD is too short");
  }
  if (std::string problem = CheckFooterCopy(file, layout.footer); !problem.empty()) {
    return Refuse(problem);
  }
  const Extent header_extent{layout.footer.data_offset, kVhdHeaderSize};
  if (!Inside(header_extent, kVhdFooterSize, layout.footer_offset)) {
    return Refuse("the dynamic VHD's header lies outside the file");
  }
  const VhdRead<VhdHeader> header =
      ReadVhdHeader(ReadUpTo(file, header_extent.start, kVhdHeaderSize));
  if (!header.value) return Refuse(header.problem);
  layout.header = *header.value;
  const std::uint64_t blocks_needed =
      (layout.footer.current_size + layout.header.block_size - 1) / layout.header.block_size;
  if (layout.header.max_table_entries < blocks_needed) {
    return Refuse("the dynamic VHD's table does not cover its disk");
  }
  const Extent table_extent{layout.header.table_offset,
                            VhdTableSize(layout.header.max_table_entries)};
  if (!Inside(table_extent, kVhdFooterSize, layout.footer_offset)) {
    return Refuse("the dynamic VHD's block table lies outside the file");
  }
  const auto entries = static_cast<std::uint32_t>(blocks_needed);
  std::string table_bytes;
  if (!file.Read(table_extent.start, std::size_t{entries} * 4, table_bytes)) {
    return Refuse("the dynamic VHD's block table cannot be read");
  }
  layout.table = ReadBlockTable(table_bytes, entries);
  std::vector<Extent> extents = {header_extent, table_extent};
  const std::uint64_t block_extent =
      VhdBitmapSize(layout.header.block_size) + layout.header.block_size;
  for (const std::uint32_t sector : layout.table) {
    if (sector != kVhdUnallocated)
      extents.push_back({std::uint64_t{sector} * kVhdSector, block_extent});
  }
  if (std::string problem = CheckExtents(extents, layout.footer_offset); !problem.empty()) {
    return Refuse(problem);
  }
  return {ImageKind::kDynamicVhd, "", std::move(layout)};
}

}  // namespace

ImageDetection DetectImage(BlockDevice& file) {
  const std::string start = ReadUpTo(file, 0, kVhdFooterSize);
  if (const std::optional<std::string> format = ForeignFormat(start)) {
    return Refuse(ConvertAdvice(*format));
  }
  const std::optional<std::uint64_t> footer_offset = FindFooter(file);
  if (!footer_offset) {
    if (start.substr(0, 8) == "conectix") {
      return Refuse("a VHD without its footer at the end: the file may be cut short");
    }
    return {};
  }
  VhdLayout layout;
  layout.footer_offset = *footer_offset;
  layout.footer_bytes = ReadUpTo(file, *footer_offset, kVhdFooterSize);
  const VhdRead<VhdFooter> footer = ReadVhdFooter(layout.footer_bytes);
  if (!footer.value) return Refuse(footer.problem);
  layout.footer = *footer.value;
  return layout.footer.type == VhdType::kFixed ? CheckFixed(std::move(layout))
                                               : CheckDynamic(file, std::move(layout));
}
