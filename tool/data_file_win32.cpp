#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "tool/data_file.h"

namespace {

// The folder part of `target`, or "." when it names a file in the current folder.
bool FolderOf(const char* target, char* folder, std::size_t size) {
  const char* end = nullptr;
  for (const char* p = target; *p; ++p) {
    if (*p == '\\' || *p == '/' || *p == ':') {
      end = p + 1;
    }
  }
  if (end == nullptr) {
    std::snprintf(folder, size, ".");
    return true;
  }
  const std::size_t length = static_cast<std::size_t>(end - target);
  if (length + 1 > size) {
    return false;
  }
  std::memcpy(folder, target, length);
  folder[length] = '\0';
  return true;
}

}  // namespace

bool CreatePendingFile(const char* target, PendingFile& pending) {
  if (*target == '\0') {
    return false;
  }
  const DWORD attributes = GetFileAttributesA(target);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return false;
  }
  char folder[MAX_PATH];
  if (!FolderOf(target, folder, sizeof folder) || std::strlen(target) >= MAX_PATH ||
      GetTempFileNameA(folder, "vr", 0, pending.tempPath) == 0) {
    return false;
  }
  pending.stream = std::fopen(pending.tempPath, "wb");
  if (pending.stream == nullptr) {
    DeleteFileA(pending.tempPath);
    return false;
  }
  return true;
}

bool CommitPendingFile(PendingFile& pending, const char* target) {
  bool ok = std::fflush(pending.stream) == 0 && _commit(_fileno(pending.stream)) == 0;
  ok = std::fclose(pending.stream) == 0 && ok;
  pending.stream = nullptr;
  if (!ok ||
      !MoveFileExA(pending.tempPath, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DeleteFileA(pending.tempPath);
    return false;
  }
  return true;
}

void DiscardPendingFile(PendingFile& pending) {
  if (pending.stream != nullptr) {
    std::fclose(pending.stream);
    pending.stream = nullptr;
  }
  DeleteFileA(pending.tempPath);
}

std::FILE* OpenRegularFile(const char* path) {
  std::FILE* stream = std::fopen(path, "rb");
  if (stream == nullptr) {
    return nullptr;
  }
  const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  if (GetFileType(handle) != FILE_TYPE_DISK) {
    std::fclose(stream);
    return nullptr;
  }
  return stream;
}
