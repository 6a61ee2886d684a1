#include "fat/directory.h"

#include "image/little_endian.h"
#include "inf/text.h"

namespace {

constexpr unsigned char kEndMarker = 0x00;
constexpr unsigned char kDeleted = 0xE5;
constexpr unsigned char kLastLongEntry = 0x40;
constexpr std::size_t kCharsPerLongEntry = 13;
// Where a long-name entry keeps its 13 UCS-2 characters.
constexpr std::size_t kLongCharOffsets[kCharsPerLongEntry] = {1,  3,  5,  7,  9,  14, 16,
                                                              18, 20, 22, 24, 28, 30};

void AppendUtf8(std::string& out, std::uint32_t unit) {
  if (unit < 0x80) {
    out += static_cast<char>(unit);
  } else if (unit < 0x800) {
    out += static_cast<char>(0xC0 | (unit >> 6));
    out += static_cast<char>(0x80 | (unit & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (unit >> 12));
    out += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (unit & 0x3F));
  }
}

std::string ShortName(std::string_view raw) {
  auto trimmed = [](std::string_view part) {
    const std::size_t end = part.find_last_not_of(' ');
    return std::string(part.substr(0, end == std::string_view::npos ? 0 : end + 1));
  };
  std::string name = trimmed(raw.substr(0, 8));
  if (!name.empty() && static_cast<unsigned char>(name[0]) == 0x05)
    name[0] = static_cast<char>(kDeleted);
  const std::string extension = trimmed(raw.substr(8, 3));
  return extension.empty() ? name : name + "." + extension;
}

// The long name gathered from the slots before a short entry, last part first.
class LongNameCollector {
 public:
  void Reset() {
    expected_ = 0;
    complete_ = false;
  }
  void Add(std::string_view slot) {
    const auto order = static_cast<unsigned char>(slot[0]);
    const auto checksum = static_cast<unsigned char>(slot[13]);
    complete_ = false;
    if ((order & kLastLongEntry) != 0) {
      expected_ = order & 0x3FU;
      checksum_ = checksum;
      units_.assign(std::size_t{expected_} * kCharsPerLongEntry, 0);
    } else if (order != expected_ || checksum != checksum_) {
      expected_ = 0;
    }
    if (expected_ == 0) return;
    for (std::size_t i = 0; i < kCharsPerLongEntry; ++i) {
      units_[(expected_ - 1) * kCharsPerLongEntry + i] = ReadLe16(slot, kLongCharOffsets[i]);
    }
    --expected_;
    complete_ = expected_ == 0;
  }
  // The name when the slots ran from the last part down to the first and
  // carry the short name's checksum; then forgets them.
  std::string Take(std::string_view short_raw) {
    std::string name;
    if (complete_ && checksum_ == ShortNameChecksum(short_raw.substr(0, 11))) {
      for (const std::uint16_t unit : units_) {
        if (unit == 0) break;
        AppendUtf8(name, unit);
      }
    }
    Reset();
    return name;
  }

 private:
  unsigned expected_ = 0;
  unsigned char checksum_ = 0;
  bool complete_ = false;
  std::vector<std::uint16_t> units_;
};

}  // namespace

bool DirEntry::Matches(std::string_view name) const {
  return EqualsIgnoringCase(name, short_name) ||
         (!long_name.empty() && EqualsIgnoringCase(name, long_name));
}

std::uint8_t ShortNameChecksum(std::string_view name11) {
  unsigned sum = 0;
  for (const char c : name11) {
    sum = (((sum & 1U) << 7) + (sum >> 1) + static_cast<unsigned char>(c)) & 0xFFU;
  }
  return static_cast<std::uint8_t>(sum);
}

std::vector<DirEntry> ParseDirectory(std::string_view bytes, bool fat32) {
  std::vector<DirEntry> entries;
  LongNameCollector long_name;
  for (std::size_t index = 0; (index + 1) * kDirEntryBytes <= bytes.size(); ++index) {
    const std::string_view slot = bytes.substr(index * kDirEntryBytes, kDirEntryBytes);
    const auto first = static_cast<unsigned char>(slot[0]);
    if (first == kEndMarker) break;
    const auto attributes = static_cast<std::uint8_t>(slot[11]);
    if (first == kDeleted) {
      long_name.Reset();
    } else if ((attributes & 0x3F) == fat_attribute::kLongName) {
      long_name.Add(slot);
    } else {
      DirEntry entry;
      entry.short_name = ShortName(slot);
      entry.long_name = long_name.Take(slot);
      entry.attributes = attributes;
      const std::uint32_t high = fat32 ? ReadLe16(slot, 20) : 0;
      entry.first_cluster = (high << 16) | ReadLe16(slot, 26);
      entry.size = ReadLe32(slot, 28);
      entry.index = index;
      entry.raw = std::string(slot);
      entries.push_back(std::move(entry));
    }
  }
  return entries;
}
