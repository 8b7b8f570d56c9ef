#include "support/ZivoProcess.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

nlohmann::json _tagSZivoRun::Json() const {
  try {
    return nlohmann::json::parse(out);
  } catch (const nlohmann::json::exception& e) {
    ADD_FAILURE() << "not JSON (" << e.what() << "):\n" << out;
    return nullptr;
  }
}

std::filesystem::path ZivoProgram() {
  return std::filesystem::canonical("/proc/self/exe").parent_path().parent_path() / "zivo";
}

CZivoProcess::CZivoProcess(const std::vector<std::string>& args, const std::string& workDir) {
  std::vector<std::string> all = {ZivoProgram().string()};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : all) argv.push_back(arg.data());
  argv.push_back(nullptr);
  int out[2], err[2];
  if (!std::filesystem::exists(all[0]) || pipe(out) != 0 || pipe(err) != 0) {
    ADD_FAILURE() << "cannot start " << all[0] << " (build the zivo target)";
    return;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  posix_spawn_file_actions_addclose(&actions, err[0]);
  if (!workDir.empty()) posix_spawn_file_actions_addchdir_np(&actions, workDir.c_str());
  if (posix_spawn(&mPid, all[0].c_str(), &actions, nullptr, argv.data(), environ) != 0) {
    ADD_FAILURE() << "cannot start " << all[0];
    mPid = -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  close(err[1]);
  mFds[0] = out[0];
  mFds[1] = err[0];
}

CZivoProcess::~CZivoProcess() {
  if (mPid > 0) {
    kill(mPid, SIGKILL);
    waitpid(mPid, nullptr, 0);
  }
  for (int fd : mFds) {
    if (fd >= 0) close(fd);
  }
}

bool CZivoProcess::Pump(std::chrono::milliseconds wait) {
  pollfd fds[2] = {{mFds[0], POLLIN, 0}, {mFds[1], POLLIN, 0}};
  if (poll(fds, 2, static_cast<int>(std::max<long>(wait.count(), 0))) <= 0) {
    return mFds[0] >= 0 || mFds[1] >= 0;
  }
  char buffer[4096];
  for (int i = 0; i < 2; ++i) {
    if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
      const ssize_t n = read(mFds[i], buffer, sizeof buffer);
      if (n > 0) {
        mText[i].append(buffer, static_cast<std::size_t>(n));
      } else {
        close(mFds[i]);
        mFds[i] = -1;  // poll ignores a negative descriptor
      }
    }
  }
  return mFds[0] >= 0 || mFds[1] >= 0;
}

bool CZivoProcess::WaitFor(const std::string& text, bool onError,
                           std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (mText[onError ? 1 : 0].find(text) == std::string::npos) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    if (left.count() <= 0 || !Pump(left)) {
      return mText[onError ? 1 : 0].find(text) != std::string::npos;
    }
  }
  return true;
}

bool CZivoProcess::WaitUntil(const std::function<bool()>& condition,
                             std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= end) {
      return false;
    }
    Pump(std::chrono::milliseconds(10));
  }
  return true;
}

void CZivoProcess::Signal(int signal) {
  if (mPid > 0) kill(mPid, signal);
}

_tagSZivoRun CZivoProcess::Finish(std::chrono::milliseconds timeout) {
  _tagSZivoRun run;
  const auto end = std::chrono::steady_clock::now() + timeout;
  bool open = mPid > 0;
  while (open && std::chrono::steady_clock::now() < end) {
    open = Pump(std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now()));
  }
  run.timedOut = open;
  if (mPid > 0) {
    if (open) kill(mPid, SIGKILL);
    int status = 0;
    while (waitpid(mPid, &status, 0) < 0 && errno == EINTR) {
    }
    mPid = -1;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  run.out = mText[0];
  run.err = mText[1];
  EXPECT_FALSE(run.timedOut) << "zivo did not end within " << timeout.count() << " ms";
  return run;
}

_tagSZivoRun RunZivo(const std::vector<std::string>& args, const std::string& workDir,
                     std::chrono::milliseconds timeout) {
  return CZivoProcess(args, workDir).Finish(timeout);
}
