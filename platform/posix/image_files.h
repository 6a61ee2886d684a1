// Windows trees in disk images. WINDIR may name an image file or a block
// device instead of a folder, optionally followed by the volume and the folder
// ("win95.img", "win95.img/2/WINDOWS"); the files below it are then read and
// replaced through the image's FAT volume, with the image locked meanwhile.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "creg/creg_file.h"

namespace platform::posix {

// A path below the Windows directory that lies in an image.
struct ImagePath {
  std::string image;   // the image file or block device
  std::string choice;  // which volume and folder: what WINDIR names after the image
  std::string inside;  // below the Windows folder, such as "INF\MSHDC.INF"
};

// The image path that path is; nothing when the Windows directory is no image
// or path does not lie below it.
std::optional<ImagePath> ImagePathOf(const char* path);

// Each of these opens and locks the image, finds its Windows tree and works on
// it; false when any of that fails, and then nothing is written.
bool ReadImageFile(const ImagePath& path, std::string& bytes);
bool ReplaceImageFile(const ImagePath& path, std::string_view contents);
// Reads the file and writes the edit that plan makes of its bytes, if any.
bool EditImageFile(const ImagePath& path,
                   const std::function<std::optional<creg::Edit>(std::string_view)>& plan);

}  // namespace platform::posix
