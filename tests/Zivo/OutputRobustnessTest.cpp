// zivo's output with what the kernel may hand it and where it may be sent:
// kernel texts that are not UTF-8 or hold control characters, a reader that
// has gone (SIGPIPE), and a hang-up.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/FakeSysfs.h"
#include "support/TempFolder.h"
#include "support/ZivoProcess.h"

namespace {

// Runs zivo with its standard output into a pipe nobody reads any more; the
// exit status, or -1 when a signal ended it (141 in a shell) or it did not
// end within a minute.
int RunIntoClosedPipe(const std::vector<std::string>& args) {
  int fds[2];
  if (pipe(fds) != 0) {
    return -2;
  }
  close(fds[0]);
  std::vector<std::string> all = {ZivoProgram().string()};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : all) {
    argv.push_back(arg.data());
  }
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    signal(SIGPIPE, SIG_DFL);  // as a shell starts it
    dup2(fds[1], 1);
    freopen("/dev/null", "w", stderr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(fds[1]);
  // Waits on the process's end itself, at most a minute.
  const int ended = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  pollfd wait = {ended, POLLIN, 0};
  const bool done = ended >= 0 && poll(&wait, 1, 60000) == 1;
  if (ended >= 0) {
    close(ended);
  }
  if (!done) {
    kill(pid, SIGKILL);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return done && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(OutputRobustnessTest, KernelTextsThatAreNoUtf8OrHoldControlsAreShownEscaped) {
  CFakeSysfs sysfs;
  sysfs.AddZone(0, "bad\xff\x1b[31m\ttype", 40000);
  sysfs.AddCooling(0, "Fan\x7f", 3, 0);
  const std::vector<std::string> list = {"list", "--sysfs-root", sysfs.Root()};
  std::vector<std::string> json = list;
  json.push_back("--json");
  _tagSZivoRun run = RunZivo(json);
  ASSERT_EQ(run.status, 0) << run.err;
  const nlohmann::json listing = run.Json();
  ASSERT_FALSE(listing.is_null());
  EXPECT_EQ(listing.at("sensors")[0].at("Sysfs").at("type"), "bad\xEF\xBF\xBD\x1b[31m\ttype")
      << "the byte that is no UTF-8 becomes U+FFFD; JSON escapes the controls itself";

  run = RunZivo(list);
  ASSERT_EQ(run.status, 0) << run.err;
  for (const char* shown : {"bad\\xff\\x1b[31m\\ttype", "Fan\\x7f"}) {
    EXPECT_NE(run.out.find(shown), std::string::npos) << shown << " in\n" << run.out;
  }
  EXPECT_EQ(run.out.find('\x1b'), std::string::npos) << "no raw escape reaches the terminal";
  EXPECT_EQ(run.out.find('\xff'), std::string::npos);
}

// "zivo list | head -1": the command's own status, not death by SIGPIPE; a
// watch or a run ends at its first line instead of running on.
TEST(OutputRobustnessTest, AReaderThatHasGoneEndsTheCommandQuietly) {
  setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/zivo-test-bus", 1);
  CFakeSysfs sysfs;
  sysfs.AddZone(0, "acpitz", 40000);
  CTempFolder work;
  const std::string policy = work.Write(
      "policy.xml",
      "<VelmarConfig><Platform><Shutdown option=\"shutdown\" timer=\"15\"/>"
      "<Throttling preference=\"Active\"/></Platform><Devices/><Sensors><Sensor Path=\"" +
          sysfs.ZonePath(0) +
          "\" class=\"2\"><Temperature shutdown=\"150\" ThrottleStart=\"90\"/>"
          "<SUsage enable=\"1\" aux_interval=\"2\"/></Sensor></Sensors>"
          "</VelmarConfig>\n");
  const struct {
    std::vector<std::string> args;
    int status;
  } cases[] = {
      {{"list", "--platform", "sim", "--wide"}, 0},
      {{"list", "--platform", "sim", "--json"}, 0},
      {{"status-codes"}, 0},
      {{"watch", "--platform", "sim", "--speed", "1000", "--timeout", "600"}, 0},
      {{"run", "--json", "--platform", "linux", "--sysfs-root", sysfs.Root(), "--config", policy,
        "--interval", "3600"},
       0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[0]);
    EXPECT_EQ(RunIntoClosedPipe(c.args), c.status);
  }
}

// A hang-up ends a watch as Ctrl-C does, with status 0: the signal thread
// takes it from the start-up on.
TEST(OutputRobustnessTest, AHangUpEndsAWatchCleanly) {
  CZivoProcess watch({"watch", "--platform", "sim", "--kinds", "thermal", "--timeout", "600"});
  ASSERT_TRUE(watch.WaitFor("zivo watch: watching", true));
  watch.Signal(SIGHUP);
  EXPECT_EQ(watch.Finish().status, 0);
}

}  // namespace
