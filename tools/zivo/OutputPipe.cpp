#include "OutputPipe.h"

#include <cerrno>
#include <csignal>
#include <cstdio>

void IgnoreBrokenPipe() {
  std::signal(SIGPIPE, SIG_IGN);
}

bool OutputClosed() {
  errno = 0;
  return std::fflush(stdout) != 0 && errno == EPIPE;
}
