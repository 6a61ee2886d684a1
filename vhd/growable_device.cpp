#include "vhd/growable_device.h"

#include <limits>

bool GrowingMemoryDevice::Read(std::uint64_t offset, std::size_t size, std::string& out) {
  if (offset > bytes_.size() || size > bytes_.size() - offset) return false;
  out.assign(bytes_, offset, size);
  return true;
}

bool GrowingMemoryDevice::Write(std::uint64_t offset, std::string_view bytes) {
  if (offset > std::numeric_limits<std::size_t>::max() - bytes.size()) return false;
  const std::size_t end = offset + bytes.size();
  if (end > bytes_.size()) bytes_.resize(end, '\0');
  bytes_.replace(offset, bytes.size(), bytes);
  steps_.push_back(DeviceStep::WriteAt(offset, std::string(bytes)));
  return true;
}

bool GrowingMemoryDevice::Sync() {
  steps_.push_back(DeviceStep::SyncPoint());
  return true;
}
