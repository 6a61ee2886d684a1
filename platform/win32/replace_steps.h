// How a complete new file takes its target's place on Windows. The file calls
// come in from the caller, so that their order is checked without Windows.
#pragma once

#include <cstdint>

namespace platform::win32 {

struct FileMoves {
  // Replaces to with from in one step (MoveFileExA).
  bool (*replace)(const char* from, const char* to);
  // Renames from to to, which must not exist (MoveFileA).
  bool (*rename)(const char* from, const char* to);
  bool (*remove)(const char* path);
  // Writes into aside (kMaxPath bytes) a name in the target's folder that no
  // file has. False when none could be had.
  bool (*name_aside)(const char* target, char* aside);
};

enum class Replacement {
  kDone,        // the new file has the target's name; the old one is gone
  kTargetKept,  // the target is as it was; the new file is still there
  kBothKept,    // two renames failed: the target is missing, the old file
                // lies aside and the new one under its own name, both whole
};

// The Windows 95 family (95, 98 and ME), which GetVersion marks with its high
// bit, has MoveFileExA only as a stub that fails.
bool HasOneStepReplace(std::uint32_t windows_version);

// Without a one-step replace, the old file is renamed aside, the new one
// renamed to the target's name, and only then the old one deleted; a failed
// rename of the new file puts the old one back. So whichever single call
// fails, the target holds its old or its new bytes.
Replacement Replace(const FileMoves& moves, bool one_step, const char* new_name,
                    const char* target);

}  // namespace platform::win32
