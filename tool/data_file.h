// The data file, with the platform's file calls kept out of the transfer code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// The file a read writes, once its name has been checked.
struct DataPath {
  char name[4200] = {};
};

// Whether a read may put a file at `target`, asked before the unit is read so that a name that
// could never be written ends the run at once. False for an empty or too long name, a folder
// that does not exist or cannot be written, a target that exists and is not a regular file or
// that this user may not write, and a name the platform reserves. A symbolic link of this
// user's own is followed to the file it finally names, which `path` then holds; a dangling
// link, or a link of another user, is refused.
bool CanWriteDataFile(const char* target, DataPath& path);

// Writes `size` bytes to a temporary file beside `path`, flushes it to the disk and renames it
// over the target, so that the target holds either all its old bytes or all the new ones. The
// new file keeps the old one's permission bits, without setuid, setgid and sticky. On failure,
// or when the run is interrupted, the temporary file is removed and the target is untouched.
bool WriteDataFile(const DataPath& path, const std::uint8_t* bytes, std::size_t size);

// Opens an existing regular file for binary reading; nullptr for anything else.
std::FILE* OpenRegularFile(const char* path);

// True when both names lead to one existing file (links followed), so that creating one would
// destroy the other.
bool SameFile(const char* one, const char* other);
