// The data file, with the platform's file calls kept out of the transfer code.
#pragma once

#include <cstdio>

// The read direction writes a temporary file beside the target and puts it in the target's
// place only once the whole region is in it, so a failed run leaves the old file as it was.
struct PendingFile {
  std::FILE* stream = nullptr;
  char tempPath[4200] = {};
};

// False when the target exists and is not a regular file, or no temporary file can be made
// beside it.
bool CreatePendingFile(const char* target, PendingFile& pending);

// Flushes the temporary file to the disk and renames it over the target. On failure the
// temporary file is removed and the target is untouched.
bool CommitPendingFile(PendingFile& pending, const char* target);

// Closes and removes the temporary file.
void DiscardPendingFile(PendingFile& pending);

// Opens an existing regular file for binary reading; nullptr for anything else.
std::FILE* OpenRegularFile(const char* path);
