#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstring>

#include "tool/data_file.h"
#include "tool/interrupt.h"

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

// The last part of a name, after its folders (and a drive letter of its own).
const char* LastPart(const char* target) {
  const char* base = target;
  for (const char* p = target; *p; ++p) {
    if (*p == '\\' || *p == '/') {
      base = p + 1;
    }
  }
  if (base == target && std::isalpha(static_cast<unsigned char>(target[0])) && target[1] == ':') {
    base = target + 2;
  }
  return base;
}

// Names Windows keeps for devices or refuses outright; never opened to find out, since COM1
// is a real port.
bool Reserved(const char* target) {
  const char* base = LastPart(target);
  if (std::strlen(base) > 255) {
    return true;
  }
  for (const char* p = base; *p; ++p) {
    if (static_cast<unsigned char>(*p) < 32 || std::strchr("<>:\"|?*", *p) != nullptr) {
      return true;
    }
  }
  // The device names stand with any extension: NUL.txt is NUL.
  char stem[8] = {};
  std::size_t length = 0;
  while (base[length] != '\0' && base[length] != '.' && base[length] != ' ') {
    if (length == sizeof stem - 1) {
      return false;
    }
    stem[length] = static_cast<char>(std::toupper(static_cast<unsigned char>(base[length])));
    ++length;
  }
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const char* device : kDevices) {
    if (std::strcmp(stem, device) == 0) {
      return true;
    }
  }
  return length == 4 && (std::strncmp(stem, "COM", 3) == 0 || std::strncmp(stem, "LPT", 3) == 0) &&
         stem[3] >= '1' && stem[3] <= '9';
}

bool IsFolder(const char* path) {
  const DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

bool CanWriteDataFile(const char* target, DataPath& path) {
  char folder[MAX_PATH];
  if (*target == '\0' || std::strlen(target) >= MAX_PATH || Reserved(target) || IsFolder(target) ||
      !FolderOf(target, folder, sizeof folder) || !IsFolder(folder)) {
    return false;
  }
  const DWORD attributes = GetFileAttributesA(target);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
    return false;
  }
  std::strcpy(path.name, target);
  return true;
}

bool WriteDataFile(const DataPath& path, const std::uint8_t* bytes, std::size_t size) {
  char folder[MAX_PATH];
  char tempPath[MAX_PATH];
  if (!FolderOf(path.name, folder, sizeof folder)) {
    return false;
  }
  HoldInterrupts();
  const bool made = GetTempFileNameA(folder, "vr", 0, tempPath) != 0;
  SetPendingFile(made ? tempPath : nullptr);
  ReleaseInterrupts();
  if (!made) {
    return false;
  }
  // Shared for deleting, so that the console handler can remove it while it is open here.
  const HANDLE handle = CreateFileA(tempPath, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                    nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  const int fd = handle == INVALID_HANDLE_VALUE
                     ? -1
                     : _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
  std::FILE* stream = fd < 0 ? nullptr : _fdopen(fd, "wb");
  bool ok = stream != nullptr;
  if (!ok) {
    if (fd >= 0) {
      _close(fd);
    } else if (handle != INVALID_HANDLE_VALUE) {
      CloseHandle(handle);
    }
  } else {
    ok = std::fwrite(bytes, 1, size, stream) == size && std::fflush(stream) == 0 &&
         _commit(_fileno(stream)) == 0;
    ok = std::fclose(stream) == 0 && ok;
  }
  HoldInterrupts();
  ok = ok && MoveFileExA(tempPath, path.name, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  if (!ok) {
    DeleteFileA(tempPath);
  }
  SetPendingFile(nullptr);
  ReleaseInterrupts();
  return ok;
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

namespace {

bool Identify(const char* path, BY_HANDLE_FILE_INFORMATION& info) {
  const HANDLE handle = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    return false;
  }
  const bool known = GetFileInformationByHandle(handle, &info) != 0;
  CloseHandle(handle);
  return known;
}

}  // namespace

bool SameFile(const char* one, const char* other) {
  BY_HANDLE_FILE_INFORMATION first;
  BY_HANDLE_FILE_INFORMATION second;
  return Identify(one, first) && Identify(other, second) &&
         first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
         first.nFileIndexHigh == second.nFileIndexHigh &&
         first.nFileIndexLow == second.nFileIndexLow;
}
