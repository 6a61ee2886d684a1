// A device of bytes read and written at offsets, such as a disk image, and an
// in-memory one for tests that records every write and sync in order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class BlockDevice {
 public:
  virtual ~BlockDevice() = default;
  // False when any byte of the range lies past the end or cannot be read.
  virtual bool Read(std::uint64_t offset, std::size_t size, std::string& out) = 0;
  // False when any byte of the range lies past the end or cannot be written;
  // the device never grows.
  virtual bool Write(std::uint64_t offset, std::string_view bytes) = 0;
  // Returns once every earlier write is durable.
  virtual bool Sync() = 0;
  virtual std::uint64_t Size() const = 0;
};

// One step of a run on a device: a write of bytes at an offset, or a sync.
struct DeviceStep {
  enum class Kind { kWrite, kSync };
  Kind kind = Kind::kWrite;
  std::uint64_t offset = 0;
  std::string bytes;

  static DeviceStep WriteAt(std::uint64_t offset, std::string bytes) {
    return {Kind::kWrite, offset, std::move(bytes)};
  }
  static DeviceStep SyncPoint() { return {Kind::kSync, 0, {}}; }
  bool operator==(const DeviceStep& other) const {
    return kind == other.kind && offset == other.offset && bytes == other.bytes;
  }
};

// Runs the steps in order; stops at the first that fails.
bool ApplySteps(BlockDevice& device, const std::vector<DeviceStep>& steps);

// The device of a file, which may grow: a write past its end makes it hold the
// bytes, and those between the old end and the write read as zeros.
class GrowableDevice : public BlockDevice {};

// A device in memory, which grows like a file when it is made to.
class MemoryDevice : public GrowableDevice {
 public:
  enum Growth { kFixed, kGrows };
  explicit MemoryDevice(std::string bytes, Growth growth = kFixed)
      : bytes_(std::move(bytes)), growth_(growth) {}

  bool Read(std::uint64_t offset, std::size_t size, std::string& out) override;
  bool Write(std::uint64_t offset, std::string_view bytes) override;
  bool Sync() override;
  std::uint64_t Size() const override { return bytes_.size(); }

  const std::string& bytes() const { return bytes_; }
  // Every successful write and every sync since the device was made.
  const std::vector<DeviceStep>& steps() const { return steps_; }

 private:
  bool InRange(std::uint64_t offset, std::size_t size) const;

  std::string bytes_;
  Growth growth_;
  std::vector<DeviceStep> steps_;
};
