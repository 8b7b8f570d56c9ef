#include "support/ZivoDaemon.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

CZivoDaemon::CZivoDaemon(const std::vector<std::string>& args) {
  int out[2];
  int err[2];
  if (pipe(out) != 0 || pipe(err) != 0) {
    ADD_FAILURE() << "cannot make pipes";
    return;
  }
  const std::string program = ZivoProgram().string();
  std::vector<std::string> all = {program};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : all) {
    argv.push_back(arg.data());
  }
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  posix_spawn_file_actions_addclose(&actions, err[0]);
  if (posix_spawn(&mPid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
    ADD_FAILURE() << "cannot start " << program;
    mPid = -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  close(err[1]);
  mOutFd = out[0];
  mErrFd = err[0];
}

CZivoDaemon::~CZivoDaemon() {
  if (mPid > 0) {
    kill(mPid, SIGKILL);
    waitpid(mPid, nullptr, 0);
  }
  if (mOutFd >= 0) {
    close(mOutFd);
  }
  if (mErrFd >= 0) {
    close(mErrFd);
  }
}

void CZivoDaemon::Pump(std::chrono::milliseconds wait) {
  pollfd fds[2] = {{mOutFd, POLLIN, 0}, {mErrFd, POLLIN, 0}};
  if (poll(fds, 2, static_cast<int>(wait.count())) <= 0) {
    return;
  }
  char buffer[4096];
  for (int i = 0; i < 2; ++i) {
    if ((fds[i].revents & (POLLIN | POLLHUP)) != 0) {
      const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        (i == 0 ? mOut : mErr).append(buffer, static_cast<std::size_t>(n));
      }
    }
  }
}

bool CZivoDaemon::WaitFor(const std::string& text, bool onError, std::chrono::milliseconds timeout,
                          std::size_t from) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  const std::string& seen = onError ? mErr : mOut;
  while (seen.find(text, std::min(from, seen.size())) == std::string::npos) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      return false;
    }
    Pump(left);
  }
  return true;
}

void CZivoDaemon::Signal(int signal) {
  if (mPid > 0) {
    kill(mPid, signal);
  }
}

_tagSZivoRun CZivoDaemon::Finish(std::chrono::milliseconds timeout) {
  _tagSZivoRun run;
  const auto end = std::chrono::steady_clock::now() + timeout;
  // Both pipes close when the process ends.
  bool open = true;
  while (open && std::chrono::steady_clock::now() < end) {
    pollfd fds[2] = {{mOutFd, POLLIN, 0}, {mErrFd, POLLIN, 0}};
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    if (poll(fds, 2, static_cast<int>(std::max<long>(left.count(), 1))) <= 0) {
      continue;
    }
    char buffer[4096];
    open = false;
    for (int i = 0; i < 2; ++i) {
      if ((fds[i].revents & (POLLIN | POLLHUP)) != 0) {
        const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
        if (n > 0) {
          (i == 0 ? mOut : mErr).append(buffer, static_cast<std::size_t>(n));
          open = true;
        }
      } else {
        open = true;
      }
    }
  }
  run.timedOut = open;
  if (open) {
    kill(mPid, SIGKILL);
  }
  int status = 0;
  while (waitpid(mPid, &status, 0) < 0 && errno == EINTR) {
  }
  mPid = -1;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = mOut;
  run.err = mErr;
  EXPECT_FALSE(run.timedOut) << "zivo did not end within " << timeout.count() << " ms";
  return run;
}
