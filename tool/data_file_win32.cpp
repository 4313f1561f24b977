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

bool IsFolder(const char* path) {
  const DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

bool CanWriteDataFile(const char* target) {
  char folder[MAX_PATH];
  return *target != '\0' && std::strlen(target) < MAX_PATH && !IsFolder(target) &&
         FolderOf(target, folder, sizeof folder) && IsFolder(folder);
}

bool WriteDataFile(const char* target, const std::uint8_t* bytes, std::size_t size) {
  char folder[MAX_PATH];
  char tempPath[MAX_PATH];
  if (!FolderOf(target, folder, sizeof folder) ||
      GetTempFileNameA(folder, "vr", 0, tempPath) == 0) {
    return false;
  }
  std::FILE* stream = std::fopen(tempPath, "wb");
  if (stream == nullptr) {
    DeleteFileA(tempPath);
    return false;
  }
  bool ok = std::fwrite(bytes, 1, size, stream) == size && std::fflush(stream) == 0 &&
            _commit(_fileno(stream)) == 0;
  ok = std::fclose(stream) == 0 && ok;
  if (!ok || !MoveFileExA(tempPath, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DeleteFileA(tempPath);
    return false;
  }
  return true;
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
