#include "DemoReport.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "ReportHtml.h"
#include "RunRecord.h"

extern char** environ;

namespace {

// zivo run with `args`, its output discarded; its exit status, or -1.
int RunSelf(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  std::string self = "/proc/self/exe";
  argv.push_back(self.data());
  std::vector<std::string> copies = args;
  for (std::string& arg : copies) {
    argv.push_back(arg.data());
  }
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    return -1;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      return -1;
    }
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

bool WriteDemoReport(const PlatformOptions& options, const std::string& file, std::string& error) {
  // zivo run decides by a policy file or not at all; the demo's built-in
  // defaults are not one.
  if (options.configFile.empty()) {
    error = "no policy file to run: the example policy was not found; give one with --config FILE";
    return false;
  }
  std::string folder = (std::filesystem::temp_directory_path() / "zivo-demo-XXXXXX").string();
  if (mkdtemp(folder.data()) == nullptr) {
    error = "no temporary folder for the record";
    return false;
  }
  const std::string record = folder + "/run.jsonl";
  const int status = RunSelf({"run", "--platform",
                              options.handheldFile.empty() ? "sim" : "sim:" + options.handheldFile,
                              "--config", options.configFile, "--speed", "100000", "--duration",
                              std::to_string(kDemoReportSeconds), "--record", record});
  RunRecord read;
  const bool ok = status == 0 && ReadRunRecord(record, read, error);
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  if (!ok) {
    if (error.empty()) {
      error = "zivo run ended with status " + std::to_string(status);
    }
    return false;
  }
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << ReportHtml(read, "zivo run on " + read.header.platform);
  out.close();
  if (!out) {
    error = file + " cannot be written";
    return false;
  }
  return true;
}
