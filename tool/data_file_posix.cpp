#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tool/data_file.h"

namespace {

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

// Names that could never be renamed into place are refused before the unit is read.
bool NameFits(const char* target, const char* folder) {
  const char* base = target + std::strlen(folder);
  const long nameMax = pathconf(folder[0] ? folder : ".", _PC_NAME_MAX);
  return *base != '\0' && std::strlen(target) < PATH_MAX &&
         (nameMax < 0 || std::strlen(base) <= static_cast<std::size_t>(nameMax));
}

}  // namespace

bool CreatePendingFile(const char* target, PendingFile& pending) {
  struct stat info;
  const bool exists = stat(target, &info) == 0;
  if (exists && !S_ISREG(info.st_mode)) {
    return false;
  }
  char folder[sizeof pending.tempPath - 16];
  if (!FolderOf(target, folder, sizeof folder) || !NameFits(target, folder)) {
    return false;
  }
  std::snprintf(pending.tempPath, sizeof pending.tempPath, "%svrXXXXXX", folder);
  const int fd = mkstemp(pending.tempPath);
  if (fd < 0) {
    return false;
  }
  // The finished file gets the mode the target had, or the one a new file would get.
  mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, exists ? (info.st_mode & 07777) : (0666 & ~mask));
  pending.stream = fdopen(fd, "wb");
  if (pending.stream == nullptr) {
    close(fd);
    unlink(pending.tempPath);
    return false;
  }
  return true;
}

bool CommitPendingFile(PendingFile& pending, const char* target) {
  bool ok = std::fflush(pending.stream) == 0 && fsync(fileno(pending.stream)) == 0;
  ok = std::fclose(pending.stream) == 0 && ok;
  pending.stream = nullptr;
  if (!ok || rename(pending.tempPath, target) != 0) {
    unlink(pending.tempPath);
    return false;
  }
  // Make the rename itself durable; a folder that cannot be synced is no reason to fail.
  char folder[sizeof pending.tempPath];
  if (FolderOf(target, folder, sizeof folder)) {
    const int dirFd = open(folder[0] ? folder : ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
      fsync(dirFd);
      close(dirFd);
    }
  }
  return true;
}

void DiscardPendingFile(PendingFile& pending) {
  if (pending.stream != nullptr) {
    std::fclose(pending.stream);
    pending.stream = nullptr;
  }
  unlink(pending.tempPath);
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
