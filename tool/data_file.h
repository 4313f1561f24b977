// The data file, with the platform's file calls kept out of the transfer code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Whether a read may put a file at `target`, asked before the unit is read so that a name that
// could never be written ends the run at once: false for an empty or too long name, a folder
// that does not exist or cannot be written, and a target that exists and is not a regular file.
bool CanWriteDataFile(const char* target);

// Writes `size` bytes to a temporary file beside `target`, flushes it to the disk and renames it
// over the target, so that the target holds either all its old bytes or all the new ones. On
// failure the temporary file is removed and the target is untouched.
bool WriteDataFile(const char* target, const std::uint8_t* bytes, std::size_t size);

// Opens an existing regular file for binary reading; nullptr for anything else.
std::FILE* OpenRegularFile(const char* path);
