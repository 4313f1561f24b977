#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tool/data_file.h"
#include "tool/interrupt.h"

namespace {

// Room for a folder as long as PATH_MAX allows and the temporary name behind it.
constexpr std::size_t kPathRoom = PATH_MAX + 16;
constexpr int kMostLinks = 40;  // as the kernel's own limit on a chain of links

// The folder part of `target`, with its trailing slash, copied into `folder`.
bool FolderOf(const char* target, char* folder, std::size_t size) {
  const char* slash = std::strrchr(target, '/');
  const std::size_t length = slash ? static_cast<std::size_t>(slash - target) + 1 : 0;
  if (length + 1 > size) {
    return false;
  }
  std::memcpy(folder, target, length);
  folder[length] = '\0';
  return true;
}

const char* OrHere(const char* folder) {
  return folder[0] ? folder : ".";
}

// Names that could never be renamed into place.
bool NameFits(const char* target, const char* folder) {
  const char* base = target + std::strlen(folder);
  const long nameMax = pathconf(OrHere(folder), _PC_NAME_MAX);
  return *base != '\0' && std::strlen(target) < PATH_MAX &&
         (nameMax < 0 || std::strlen(base) <= static_cast<std::size_t>(nameMax));
}

// Follows `path` through the symbolic links of this user's own to the name it finally stands
// for. A link of another user is not followed: one planted in a shared folder would otherwise
// aim root's read at any file. Nor is a dangling one.
bool FollowLinks(char* path, std::size_t size) {
  for (int links = 0;; ++links) {
    struct stat info;
    if (lstat(path, &info) != 0) {
      return links == 0;  // a new file, unless a link named it
    }
    if (!S_ISLNK(info.st_mode)) {
      return true;
    }
    if (links == kMostLinks || info.st_uid != geteuid()) {
      return false;
    }
    char to[kPathRoom];
    const ssize_t length = readlink(path, to, sizeof to - 1);
    if (length <= 0) {
      return false;
    }
    to[length] = '\0';
    char folder[kPathRoom];
    if (!FolderOf(path, folder, sizeof folder) ||
        std::snprintf(path, size, "%s%s", to[0] == '/' ? "" : folder, to) >=
            static_cast<int>(size)) {
      return false;
    }
  }
}

bool WriteAll(int fd, const std::uint8_t* bytes, std::size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, bytes, size);
    if (n < 0) {
      return false;
    }
    bytes += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// Makes a rename durable; a folder that cannot be synced is no reason to fail.
void SyncFolder(const char* folder) {
  const int dirFd = open(OrHere(folder), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    fsync(dirFd);
    close(dirFd);
  }
}

}  // namespace

bool CanWriteDataFile(const char* target, DataPath& path) {
  if (std::strlen(target) >= sizeof path.name) {
    return false;
  }
  std::strcpy(path.name, target);
  if (!FollowLinks(path.name, sizeof path.name)) {
    return false;
  }
  struct stat info;
  if (stat(path.name, &info) == 0 && (!S_ISREG(info.st_mode) || access(path.name, W_OK) != 0)) {
    return false;
  }
  char folder[kPathRoom];
  return FolderOf(path.name, folder, sizeof folder) && NameFits(path.name, folder) &&
         stat(OrHere(folder), &info) == 0 && S_ISDIR(info.st_mode) &&
         access(OrHere(folder), W_OK | X_OK) == 0;
}

bool WriteDataFile(const DataPath& path, const std::uint8_t* bytes, std::size_t size) {
  char folder[kPathRoom];
  char tempPath[kPathRoom + 16];
  if (!FolderOf(path.name, folder, sizeof folder)) {
    return false;
  }
  std::snprintf(tempPath, sizeof tempPath, "%svrXXXXXX", folder);
  // An interruption removes the temporary file; one during the rename waits for it, so the
  // target is either the old file or the whole new one.
  HoldInterrupts();
  const int fd = mkstemp(tempPath);
  SetPendingFile(fd >= 0 ? tempPath : nullptr);
  ReleaseInterrupts();
  if (fd < 0) {
    return false;
  }
  struct stat info;
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, stat(path.name, &info) == 0 ? (info.st_mode & 0777) : (0666 & ~mask));
  bool ok = WriteAll(fd, bytes, size) && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  HoldInterrupts();
  ok = ok && rename(tempPath, path.name) == 0;
  if (!ok) {
    unlink(tempPath);
  }
  SetPendingFile(nullptr);
  ReleaseInterrupts();
  if (ok) {
    SyncFolder(folder);
  }
  return ok;
}

std::FILE* OpenRegularFile(const char* path) {
  // Without O_NONBLOCK, opening a FIFO would wait for a writer for ever.
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    return nullptr;
  }
  struct stat info;
  std::FILE* stream = nullptr;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
      fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) == 0) {
    stream = fdopen(fd, "rb");
  }
  if (stream == nullptr) {
    close(fd);
  }
  return stream;
}

bool SameFile(const char* one, const char* other) {
  struct stat first;
  struct stat second;
  return stat(one, &first) == 0 && stat(other, &second) == 0 && first.st_dev == second.st_dev &&
         first.st_ino == second.st_ino;
}
