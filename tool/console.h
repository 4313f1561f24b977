// The console: every message goes to standard output exactly as formatted, and at once.
#pragma once

// Puts standard output in binary mode where the C runtime would translate line endings.
void PrepareConsole();

// Prints and flushes, so that a line ended by "\r" alone shows before the next wait.
void Say(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Prints the closing prompt and waits for one character (end of input returns at once).
void PromptAndWait();
