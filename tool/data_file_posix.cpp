#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tool/data_file.h"

namespace {

// Room for a folder as long as PATH_MAX allows and the temporary name behind it.
constexpr std::size_t kPathRoom = PATH_MAX + 16;

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

bool CanWriteDataFile(const char* target) {
  struct stat info;
  if (stat(target, &info) == 0 && !S_ISREG(info.st_mode)) {
    return false;
  }
  char folder[kPathRoom];
  return FolderOf(target, folder, sizeof folder) && NameFits(target, folder) &&
         stat(OrHere(folder), &info) == 0 && S_ISDIR(info.st_mode) &&
         access(OrHere(folder), W_OK | X_OK) == 0;
}

bool WriteDataFile(const char* target, const std::uint8_t* bytes, std::size_t size) {
  char folder[kPathRoom];
  char tempPath[kPathRoom + 16];
  if (!FolderOf(target, folder, sizeof folder)) {
    return false;
  }
  std::snprintf(tempPath, sizeof tempPath, "%svrXXXXXX", folder);
  const int fd = mkstemp(tempPath);
  if (fd < 0) {
    return false;
  }
  // The new file gets the mode the target had, or the one a new file would get.
  struct stat info;
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, stat(target, &info) == 0 ? (info.st_mode & 07777) : (0666 & ~mask));
  bool ok = WriteAll(fd, bytes, size) && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  if (!ok || rename(tempPath, target) != 0) {
    unlink(tempPath);
    return false;
  }
  SyncFolder(folder);
  return true;
}

std::FILE* OpenRegularFile(const char* path) {
  std::FILE* stream = std::fopen(path, "rb");
  if (stream == nullptr) {
    return nullptr;
  }
  struct stat info;
  if (fstat(fileno(stream), &info) != 0 || !S_ISREG(info.st_mode)) {
    std::fclose(stream);
    return nullptr;
  }
  return stream;
}
