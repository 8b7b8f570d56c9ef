#include "support/ZivoProcess.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "support/TempFolder.h"

extern char** environ;

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Waits for the child to end, at most `timeout`; false when it did not.
bool WaitBounded(pid_t pid, std::chrono::milliseconds timeout) {
  const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  if (pidfd < 0) {
    return true;  // no pidfd on this kernel: the blocking wait below decides
  }
  pollfd ready{pidfd, POLLIN, 0};
  int polled = 0;
  do {
    polled = poll(&ready, 1, static_cast<int>(timeout.count()));
  } while (polled < 0 && errno == EINTR);
  close(pidfd);
  return polled > 0;
}

}  // namespace

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

_tagSZivoRun RunZivo(const std::vector<std::string>& args, const std::string& workDir,
                     std::chrono::milliseconds timeout) {
  _tagSZivoRun run;
  const std::string program = ZivoProgram().string();
  if (!std::filesystem::exists(program)) {
    ADD_FAILURE() << program << " is missing: build the zivo target";
    return run;
  }
  CTempFolder capture;
  const std::string out = capture.Path() + "/stdout";
  const std::string err = capture.Path() + "/stderr";
  std::vector<std::string> all = {program};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : all) {
    argv.push_back(arg.data());
  }
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (!workDir.empty()) {
    posix_spawn_file_actions_addchdir_np(&actions, workDir.c_str());
  }
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    ADD_FAILURE() << "cannot start " << program << ": " << spawned;
    return run;
  }
  if (!WaitBounded(pid, timeout)) {
    run.timedOut = true;
    kill(pid, SIGKILL);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = ReadAll(out);
  run.err = ReadAll(err);
  EXPECT_FALSE(run.timedOut) << "zivo did not end within " << timeout.count() << " ms";
  return run;
}
