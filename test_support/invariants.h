// The properties that every input must keep, checked by the fuzz targets and
// the unit tests alike. Each check returns an empty text when the property
// holds, else what broke it.
#pragma once

#include <string>
#include <string_view>

#include "patches/section_merge.h"

struct PatchProcedure {
  int (*patch)(const char* path);
  Table<SectionStep> steps;
};

// Loading bytes and saving the document gives back the bytes, cut at the
// first Ctrl-Z and with every lone LF written as CR LF: in memory, or through
// a file in folder that is saved to a new path.
std::string RoundTripViolation(const std::string& bytes);
std::string RoundTripViolation(const std::string& bytes, const std::string& folder);

// A patch of a file holding bytes only inserts lines of its own tables, leaves
// a file that lacks one of its sections byte for byte as it was, and a second
// patch inserts nothing, apart from a miniport group that the first one put
// beyond its section: the steps run on a document loaded from the bytes, or
// the procedure on a file in folder.
std::string PatchViolation(Table<SectionStep> steps, const std::string& bytes);
std::string PatchViolation(const PatchProcedure& procedure, const std::string& bytes,
                           const std::string& folder);

// The procedures, run one after another on a file in folder that holds bytes,
// give the results and leave the bytes that their steps give in memory.
std::string FileAndMemoryDifference(Table<PatchProcedure> procedures, const std::string& bytes,
                                    const std::string& folder);

// Deleting key_path from a registry text removes the sections at and below it
// and keeps every other byte.
std::string RegistryDeletionViolation(const std::string& text, std::string_view key_path);
