// What the Windows start-up code, its C++ runtime and the file replacement
// share. The program is built without exceptions for Windows: running out of
// memory cannot end a slot there, so it ends the whole run instead.
#pragma once

// Removes the replacement file not yet in place, if any, and ends the process
// with exit code 0, as every run ends. The files keep their old bytes.
[[noreturn]] void EndRunOutOfMemory();

namespace platform {

// Closes and deletes the new file of a replacement that has not taken its
// target's place; nothing when there is none.
void RemoveUnfinishedReplacement();

}  // namespace platform
