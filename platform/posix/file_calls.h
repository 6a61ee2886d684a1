// The file system calls of the POSIX layer. Each one passes the file
// checkpoint first and repeats a call that a signal interrupted; a failure
// leaves errno set.
#pragma once

#include <dirent.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <string>

namespace platform::posix {

// A descriptor, or -1.
int OpenFile(const char* path, int flags);
// Creates a new file from a name ending in "XXXXXX", which is replaced by the
// name made. A descriptor, or -1.
int MakeUniqueFile(std::string& name_template);
// Bytes read, 0 at the end of the file, or -1.
ssize_t ReadSome(int fd, char* buffer, std::size_t size);
bool WriteAll(int fd, const char* data, std::size_t size);
// Writes size bytes at offset, leaving the file position as it was.
bool WriteAllAt(int fd, const char* data, std::size_t size, off_t offset);
// Reads size bytes at offset; false at the end of the file before them.
bool ReadAllAt(int fd, char* data, std::size_t size, off_t offset);
bool SyncFile(int fd);
// Takes a write lock on the whole file for as long as the descriptor stays
// open; false when another process holds a lock on any part of it.
bool LockWholeFile(int fd);
// The size of a regular file or a block device.
bool SizeOfFile(int fd, off_t& size);
bool StatFile(int fd, struct stat& info);
bool ChangeMode(int fd, mode_t mode);
bool ChangeOwner(int fd, uid_t owner, gid_t group);
// The descriptor is released whatever the result.
bool CloseFile(int fd);
bool RenameFile(const char* from, const char* to);
bool RemoveFile(const char* path);
// A folder listing, or null. Reading the listing counts as part of opening it.
DIR* OpenFolder(const char* path);

}  // namespace platform::posix
