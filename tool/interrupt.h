// Runs that are interrupted (Ctrl-C, a terminal closed, a kill) leave no temporary file behind
// and end the way the platform ends an interrupted program, so that a calling script sees it.
#pragma once

// Installs the handlers; on POSIX systems a reader of standard output that went away no
// longer ends the process (SIGPIPE is ignored), so a transfer completes and its status tells.
void PrepareInterrupts();

// While held, an interruption waits: it is taken at the release, after the step in between.
void HoldInterrupts();
void ReleaseInterrupts();

// The temporary file an interruption removes before the process ends; nullptr for none. Set and
// cleared while interruptions are held.
void SetPendingFile(const char* path);
