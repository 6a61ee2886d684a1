#include "platform/win32/replace_steps.h"

#include "platform/platform.h"

namespace platform::win32 {

bool HasOneStepReplace(std::uint32_t windows_version) {
  return (windows_version & 0x80000000U) == 0;
}

Replacement Replace(const FileMoves& moves, bool one_step, const char* new_name,
                    const char* target) {
  if (one_step)
    return moves.replace(new_name, target) ? Replacement::kDone : Replacement::kTargetKept;
  char aside[kMaxPath];
  if (!moves.name_aside(target, aside) || !moves.rename(target, aside)) {
    return Replacement::kTargetKept;
  }
  if (!moves.rename(new_name, target)) {
    return moves.rename(aside, target) ? Replacement::kTargetKept : Replacement::kBothKept;
  }
  moves.remove(aside);
  return Replacement::kDone;
}

}  // namespace platform::win32
