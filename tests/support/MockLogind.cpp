#include "support/MockLogind.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string_view>

namespace fs = std::filesystem;

namespace {

constexpr const char* kDaemon = "/usr/bin/dbus-daemon";
constexpr const char* kPython = "/usr/bin/python3";
constexpr const char* kTemplate = "/usr/lib/python3/dist-packages/dbusmock/templates/logind.py";
constexpr const char* kLogind = "org.freedesktop.login1";
constexpr const char* kLogindPath = "/org/freedesktop/login1";
constexpr const char* kManager = "org.freedesktop.login1.Manager";
constexpr const char* kMockInterface = "org.freedesktop.DBus.Mock";
constexpr auto kStartBound = std::chrono::seconds(30);

// Starts `argv` with exactly `env`, its output going to `out` (stdout) and
// `err` (stderr). The child is killed when the test process dies.
pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env, int out,
            int err) {
  // Everything the child needs is prepared before fork: between fork and exec
  // it may only make async-signal-safe calls.
  std::vector<char*> args;
  for (const std::string& a : argv) {
    args.push_back(const_cast<char*>(a.c_str()));
  }
  args.push_back(nullptr);
  std::vector<char*> vars;
  for (const std::string& e : env) {
    vars.push_back(const_cast<char*>(e.c_str()));
  }
  vars.push_back(nullptr);
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) {
      _exit(126);
    }
    dup2(out, STDOUT_FILENO);
    dup2(err, STDERR_FILENO);
    execve(args[0], args.data(), vars.data());
    _exit(127);
  }
  return pid;
}

void Stop(pid_t& pid) {
  if (pid > 0) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    pid = -1;
  }
}

bool Exited(pid_t& pid) {
  if (pid > 0 && waitpid(pid, nullptr, WNOHANG) == pid) {
    pid = -1;
    return true;
  }
  return pid <= 0;
}

// Frees an sd-bus error and a reply however a call ends.
struct _tagSCall {
  sd_bus_error error = SD_BUS_ERROR_NULL;
  sd_bus_message* reply = nullptr;
  ~_tagSCall() {
    sd_bus_error_free(&error);
    sd_bus_message_unref(reply);
  }
};

// A call argument as text: strings as they are, booleans "true" or "false",
// unsigned 64-bit numbers in decimal (what the power code sends), "?" for
// anything else.
std::string ReadVariant(sd_bus_message* m) {
  char type = 0;
  const char* contents = nullptr;
  if (sd_bus_message_peek_type(m, &type, &contents) < 0 || type != 'v' ||
      sd_bus_message_enter_container(m, 'v', contents) < 0) {
    return "?";
  }
  union {
    const char* s;
    int b;
    uint64_t t;
  } value{};
  std::string text = "?";
  const char c = contents[0];
  if (std::string_view("sbt").find(c) == std::string_view::npos || contents[1] != '\0') {
    sd_bus_message_skip(m, contents);
  } else if (sd_bus_message_read_basic(m, c, &value) >= 0) {
    text = c == 's' ? value.s : c == 't' ? std::to_string(value.t) : value.b ? "true" : "false";
  }
  sd_bus_message_exit_container(m);
  return text;
}

}  // namespace

std::string CMockLogind::MissingTool() {
  if (access(kDaemon, X_OK) != 0) {
    return "dbus-daemon is not installed";
  }
  if (access(kPython, X_OK) != 0 || access(kTemplate, R_OK) != 0) {
    return "python3-dbusmock is not installed";
  }
  return "";
}

CMockLogind::CMockLogind() {
  if (!Start() && mError.empty()) {
    mError = "the mock did not start";
  }
}

CMockLogind::~CMockLogind() {
  sd_bus_flush_close_unref(mBus);
  Stop(mMock);
  Stop(mDaemon);
  if (!mFolder.empty()) {
    std::error_code ec;
    fs::remove_all(mFolder, ec);
  }
}

bool CMockLogind::Start() {
  if (const std::string missing = MissingTool(); !missing.empty()) {
    mError = missing;
    return false;
  }
  char folder[] = "/tmp/zv-bus-XXXXXX";
  if (mkdtemp(folder) == nullptr) {
    mError = "mkdtemp failed";
    return false;
  }
  mFolder = folder;
  return StartDaemon() && WaitForMock();
}

bool CMockLogind::StartDaemon() {
  const std::string config = mFolder + "/bus.conf";
  {
    std::ofstream out(config);
    out << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
           " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
           "<busconfig>\n"
           "  <type>session</type>\n"
           "  <listen>unix:path="
        << mFolder
        << "/bus</listen>\n"
           "  <auth>EXTERNAL</auth>\n"
           "  <policy context=\"default\">\n"
           "    <allow user=\"*\"/>\n"
           "    <allow own=\"*\"/>\n"
           "    <allow send_destination=\"*\"/>\n"
           "    <allow receive_sender=\"*\"/>\n"
           "  </policy>\n"
           "</busconfig>\n";
  }
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) {
    mError = "pipe failed";
    return false;
  }
  const int log = open((mFolder + "/daemon.log").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  mDaemon = Spawn({kDaemon, "--config-file=" + config, "--nofork", "--print-address"},
                  {"PATH=/usr/bin:/bin", "LANG=C.UTF-8"}, pipeFds[1], log);
  close(pipeFds[1]);
  if (log >= 0) {
    close(log);
  }
  // The daemon prints its address once it listens.
  std::string line;
  const auto deadline = std::chrono::steady_clock::now() + kStartBound;
  while (line.find('\n') == std::string::npos) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd ready{pipeFds[0], POLLIN, 0};
    if (left.count() <= 0 || poll(&ready, 1, static_cast<int>(left.count())) <= 0) {
      break;
    }
    char chunk[256];
    const ssize_t got = read(pipeFds[0], chunk, sizeof(chunk));
    if (got <= 0) {
      break;
    }
    line.append(chunk, static_cast<std::size_t>(got));
  }
  close(pipeFds[0]);
  if (line.find('\n') == std::string::npos) {
    mError = "dbus-daemon printed no address";
    return false;
  }
  mAddress = line.substr(0, line.find('\n'));
  return true;
}

bool CMockLogind::WaitForMock() {
  if (sd_bus_new(&mBus) < 0 || sd_bus_set_address(mBus, mAddress.c_str()) < 0 ||
      sd_bus_set_bus_client(mBus, 1) < 0 || sd_bus_start(mBus) < 0) {
    mError = "cannot connect to the private bus";
    return false;
  }
  // Watch for the name before asking for it, so its arrival cannot be missed.
  if (sd_bus_match_signal(mBus, nullptr, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                          "org.freedesktop.DBus", "NameOwnerChanged", nullptr, nullptr) < 0) {
    mError = "cannot watch the bus names";
    return false;
  }
  const std::string address = "DBUS_SYSTEM_BUS_ADDRESS=" + mAddress;
  const std::string session = "DBUS_SESSION_BUS_ADDRESS=" + mAddress;
  const int log = open((mFolder + "/mock.log").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  mMock = Spawn({kPython, "-m", "dbusmock", "--template", "logind"},
                {address, session, "PATH=/usr/bin:/bin", "HOME=" + mFolder, "LANG=C.UTF-8",
                 "PYTHONDONTWRITEBYTECODE=1"},
                log, log);
  if (log >= 0) {
    close(log);
  }
  const auto deadline = std::chrono::steady_clock::now() + kStartBound;
  for (;;) {
    _tagSCall call;
    int owned = 0;
    if (sd_bus_call_method(mBus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                           "org.freedesktop.DBus", "NameHasOwner", &call.error, &call.reply, "s",
                           kLogind) >= 0 &&
        sd_bus_message_read(call.reply, "b", &owned) >= 0 && owned) {
      return true;
    }
    if (Exited(mMock)) {
      mError = "the mock exited: " + MockLog();
      return false;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      mError = "the mock never took its name: " + MockLog();
      return false;
    }
    // Woken by the NameOwnerChanged signal; the slice only bounds how late a
    // dead mock is noticed.
    sd_bus_wait(mBus, 200000);
    while (sd_bus_process(mBus, nullptr) > 0) {
    }
  }
}

std::string CMockLogind::MockLog() const {
  std::ifstream in(mFolder + "/mock.log");
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool CMockLogind::AddMethod(const std::string& name, const std::string& inSignature,
                            const std::string& outSignature, const std::string& code) {
  if (mBus == nullptr) {
    return false;
  }
  _tagSCall call;
  return sd_bus_call_method(mBus, kLogind, kLogindPath, kMockInterface, "AddMethod", &call.error,
                            &call.reply, "sssss", kManager, name.c_str(), inSignature.c_str(),
                            outSignature.c_str(), code.c_str()) >= 0;
}

bool CMockLogind::Reset() {
  _tagSCall call;
  return mBus != nullptr && AddMethod("CanPowerOff", "", "s", "ret = 'yes'") &&
         AddMethod("CanHibernate", "", "s", "ret = 'yes'") &&
         AddMethod("SetWallMessage", "sb", "", "") && AddMethod("ScheduleShutdown", "st", "", "") &&
         AddMethod("Hibernate", "b", "", "") && AddMethod("Suspend", "b", "", "") &&
         sd_bus_call_method(mBus, kLogind, kLogindPath, kMockInterface, "ClearCalls", &call.error,
                            &call.reply, "") >= 0;
}

std::vector<_tagSMockCall> CMockLogind::Calls() {
  std::vector<_tagSMockCall> calls;
  _tagSCall call;
  if (mBus == nullptr ||
      sd_bus_call_method(mBus, kLogind, kLogindPath, kMockInterface, "GetCalls", &call.error,
                         &call.reply, "") < 0 ||
      sd_bus_message_enter_container(call.reply, 'a', "(tsav)") < 0) {
    return calls;
  }
  sd_bus_message* m = call.reply;
  while (sd_bus_message_enter_container(m, 'r', "tsav") > 0) {
    _tagSMockCall entry;
    const char* method = nullptr;
    if (sd_bus_message_read(m, "ts", &entry.timestamp, &method) < 0 ||
        sd_bus_message_enter_container(m, 'a', "v") < 0) {
      break;
    }
    entry.method = method;
    while (sd_bus_message_at_end(m, 0) == 0) {
      entry.args.push_back(ReadVariant(m));
    }
    sd_bus_message_exit_container(m);
    sd_bus_message_exit_container(m);
    calls.push_back(std::move(entry));
  }
  return calls;
}

std::set<std::string> CMockLogind::Connections() {
  std::set<std::string> names;
  _tagSCall call;
  char** list = nullptr;
  if (mBus == nullptr ||
      sd_bus_call_method(mBus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                         "org.freedesktop.DBus", "ListNames", &call.error, &call.reply, "") < 0 ||
      sd_bus_message_read_strv(call.reply, &list) < 0) {
    return names;
  }
  for (char** name = list; name != nullptr && *name != nullptr; ++name) {
    if ((*name)[0] == ':') {
      names.insert(*name);
    }
    free(*name);
  }
  free(list);
  return names;
}
