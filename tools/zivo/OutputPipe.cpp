#include "OutputPipe.h"

#include <poll.h>
#include <unistd.h>

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

bool OutputReaderGone() {
  pollfd out = {STDOUT_FILENO, 0, 0};
  return poll(&out, 1, 0) == 1 && (out.revents & POLLERR) != 0;
}
