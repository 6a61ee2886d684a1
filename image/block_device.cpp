#include "image/block_device.h"

#include <algorithm>
#include <limits>

bool ApplySteps(BlockDevice& device, const std::vector<DeviceStep>& steps) {
  for (const DeviceStep& step : steps) {
    const bool done = step.kind == DeviceStep::Kind::kSync ? device.Sync()
                                                           : device.Write(step.offset, step.bytes);
    if (!done) return false;
  }
  return true;
}

bool MemoryDevice::InRange(std::uint64_t offset, std::size_t size) const {
  return offset <= bytes_.size() && size <= bytes_.size() - offset;
}

bool MemoryDevice::Read(std::uint64_t offset, std::size_t size, std::string& out) {
  if (!InRange(offset, size)) return false;
  out.assign(bytes_, offset, size);
  return true;
}

bool MemoryDevice::Write(std::uint64_t offset, std::string_view bytes) {
  if (!InRange(offset, bytes.size())) {
    if (growth_ == kFixed || offset > std::numeric_limits<std::size_t>::max() - bytes.size()) {
      return false;
    }
    bytes_.resize(std::max<std::size_t>(bytes_.size(), offset + bytes.size()), '\0');
  }
  bytes_.replace(offset, bytes.size(), bytes);
  steps_.push_back(DeviceStep::WriteAt(offset, std::string(bytes)));
  return true;
}

bool MemoryDevice::Sync() {
  steps_.push_back(DeviceStep::SyncPoint());
  return true;
}
