#include <signal.h>
#include <unistd.h>

#include <cstring>

#include "tool/interrupt.h"

namespace {

const int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

char pendingPath[4200];

// Only what is safe in a handler: remove a path prepared beforehand, then end by the signal.
// The handler runs once (SA_RESETHAND) with the signal blocked, so the signal raised here is
// taken with its default action as soon as the handler returns.
void OnSignal(int signal) {
  if (pendingPath[0] != '\0') {
    unlink(pendingPath);
  }
  raise(signal);
}

sigset_t Signals() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal : kSignals) {
    sigaddset(&set, signal);
  }
  return set;
}

}  // namespace

void PrepareInterrupts() {
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = OnSignal;
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  for (int signal : kSignals) {
    sigaction(signal, &action, nullptr);
  }
  signal(SIGPIPE, SIG_IGN);
}

void HoldInterrupts() {
  const sigset_t set = Signals();
  sigprocmask(SIG_BLOCK, &set, nullptr);
}

void ReleaseInterrupts() {
  const sigset_t set = Signals();
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
}

void SetPendingFile(const char* path) {
  if (path == nullptr || std::strlen(path) >= sizeof pendingPath) {
    pendingPath[0] = '\0';
    return;
  }
  std::strcpy(pendingPath, path);
}
