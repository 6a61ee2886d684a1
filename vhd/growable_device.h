// A file under a dynamic VHD, which grows as blocks are allocated, and an
// in-memory one for tests that records every write and sync in order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "image/block_device.h"

// A device whose Write, unlike BlockDevice's, may reach past the end: the
// device grows to hold the bytes, and those between the old end and the write
// read as zeros, as in a file.
class GrowableDevice : public BlockDevice {};

class GrowingMemoryDevice : public GrowableDevice {
 public:
  explicit GrowingMemoryDevice(std::string bytes) : bytes_(std::move(bytes)) {}

  bool Read(std::uint64_t offset, std::size_t size, std::string& out) override;
  bool Write(std::uint64_t offset, std::string_view bytes) override;
  bool Sync() override;
  std::uint64_t Size() const override { return bytes_.size(); }

  const std::string& bytes() const { return bytes_; }
  // Every successful write and every sync since the device was made.
  const std::vector<DeviceStep>& steps() const { return steps_; }

 private:
  std::string bytes_;
  std::vector<DeviceStep> steps_;
};
