// Advice to the kernel that makes the big reads and writes cheaper. Each one
// only helps: where the system lacks it or refuses it, nothing changes.
#pragma once

#include <cstddef>

namespace platform::posix {

// Asks for huge pages behind the whole pages of a buffer not yet touched, so
// that filling it takes fewer page faults.
void AdviseHugePages(char* buffer, std::size_t size);
// Starts writing the file's written bytes to disk without waiting for them, so
// that a later sync has less left to do.
void StartWriteback(int fd);

}  // namespace platform::posix
