// Standard output into a pipe whose reader has gone ("zivo list | head -1").
// zivo ignores SIGPIPE, so such a write fails with EPIPE instead of killing
// the process with 141: a short command ends with its usual status, and a
// long-running one (watch, run) asks OutputClosed after each line and ends
// as it does on SIGTERM.
#pragma once

// Called once at the start of main: SIGPIPE ignored from then on.
void IgnoreBrokenPipe();
// Flushes standard output; true when its reader has gone.
bool OutputClosed();
// True when standard output is a pipe whose reader has gone, found without
// writing to it: a long-running command that has nothing to print for a
// while asks it at each of its wake-ups.
bool OutputReaderGone();
