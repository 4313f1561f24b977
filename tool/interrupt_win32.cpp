#include <windows.h>

#include <cstring>

#include "tool/interrupt.h"

namespace {

// What Windows itself ends a process with on Ctrl-C.
constexpr UINT kControlCExit = 0xC000013A;

CRITICAL_SECTION guard;
char pendingPath[MAX_PATH];

// Runs on a thread of its own: it waits while the main thread holds interruptions.
BOOL WINAPI OnControl(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      EnterCriticalSection(&guard);
      if (pendingPath[0] != '\0') {
        DeleteFileA(pendingPath);
      }
      ExitProcess(kControlCExit);
  }
  return FALSE;
}

}  // namespace

void PrepareInterrupts() {
  InitializeCriticalSection(&guard);
  SetConsoleCtrlHandler(OnControl, TRUE);
}

void HoldInterrupts() {
  EnterCriticalSection(&guard);
}

void ReleaseInterrupts() {
  LeaveCriticalSection(&guard);
}

void SetPendingFile(const char* path) {
  if (path == nullptr || std::strlen(path) >= sizeof pendingPath) {
    pendingPath[0] = '\0';
    return;
  }
  std::strcpy(pendingPath, path);
}
