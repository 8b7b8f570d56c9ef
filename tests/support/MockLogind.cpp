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

namespace {

constexpr const char* kDaemon = "/usr/bin/dbus-daemon";
constexpr const char* kPython = "/usr/bin/python3";
constexpr const char* kTemplate = "/usr/lib/python3/dist-packages/dbusmock/templates/logind.py";
constexpr const char* kBusName = "org.freedesktop.DBus";
constexpr const char* kBusPath = "/org/freedesktop/DBus";
constexpr const char* kLogind = "org.freedesktop.login1";
constexpr const char* kLogindPath = "/org/freedesktop/login1";
constexpr const char* kMock = "org.freedesktop.DBus.Mock";
constexpr auto kStartBound = std::chrono::seconds(30);

// Starts `argv` with exactly `env`, its standard output going to `out` and
// its standard error to `err`. The child is killed when the test process dies.
pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env, int out,
            int err) {
  // Everything the child needs is prepared before fork: between fork and exec
  // it may only make async-signal-safe calls.
  std::vector<char*> args, vars;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  for (const std::string& e : env) vars.push_back(const_cast<char*>(e.c_str()));
  args.push_back(nullptr);
  vars.push_back(nullptr);
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(126);
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

// Frees an sd-bus error and a reply however a call ends.
struct _tagSCall {
  sd_bus_error error = SD_BUS_ERROR_NULL;
  sd_bus_message* reply = nullptr;
  ~_tagSCall() {
    sd_bus_error_free(&error);
    sd_bus_message_unref(reply);
  }
};

bool Call(sd_bus* bus, const char* to, const char* path, const char* iface, const char* method,
          _tagSCall& call) {
  return bus != nullptr &&
         sd_bus_call_method(bus, to, path, iface, method, &call.error, &call.reply, "") >= 0;
}

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

// The first line `fd` gives within `deadline`, or "".
std::string ReadLine(int fd, std::chrono::steady_clock::time_point deadline) {
  std::string text;
  while (text.find('\n') == std::string::npos) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd ready{fd, POLLIN, 0};
    char chunk[256];
    ssize_t got = 0;
    if (left.count() <= 0 || poll(&ready, 1, static_cast<int>(left.count())) <= 0 ||
        (got = read(fd, chunk, sizeof(chunk))) <= 0) {
      return "";
    }
    text.append(chunk, static_cast<std::size_t>(got));
  }
  return text.substr(0, text.find('\n'));
}

}  // namespace

std::string CMockLogind::MissingTool() {
  if (access(kDaemon, X_OK) != 0) return "dbus-daemon is not installed";
  if (access(kPython, X_OK) != 0 || access(kTemplate, R_OK) != 0) {
    return "python3-dbusmock is not installed";
  }
  return "";
}

CMockLogind& CMockLogind::Shared() {
  static CMockLogind mock;
  return mock;
}

CMockLogind::CMockLogind() {
  mError = Start();
}

CMockLogind::~CMockLogind() {
  sd_bus_flush_close_unref(mBus);
  Stop(mMock);
  Stop(mDaemon);
  std::error_code ec;
  if (!mFolder.empty()) std::filesystem::remove_all(mFolder, ec);
}

std::string CMockLogind::Start() {
  if (std::string missing = MissingTool(); !missing.empty()) return missing;
  char folder[] = "/tmp/zv-bus-XXXXXX";
  if (mkdtemp(folder) == nullptr) return "mkdtemp failed";
  mFolder = folder;
  const auto deadline = std::chrono::steady_clock::now() + kStartBound;
  std::ofstream(mFolder + "/bus.conf")
      << "<busconfig><type>session</type><listen>unix:path=" << mFolder
      << "/bus</listen><auth>EXTERNAL</auth><policy context=\"default\"><allow user=\"*\"/>"
         "<allow own=\"*\"/><allow send_destination=\"*\"/><allow receive_sender=\"*\"/>"
         "</policy></busconfig>\n";
  int address[2];
  if (pipe2(address, O_CLOEXEC) != 0) return "pipe failed";
  const int log = open((mFolder + "/bus.log").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  mDaemon =
      Spawn({kDaemon, "--config-file=" + mFolder + "/bus.conf", "--nofork", "--print-address"},
            {"PATH=/usr/bin:/bin", "LANG=C.UTF-8"}, address[1], log);
  close(address[1]);
  // The daemon prints its address once it listens.
  mAddress = ReadLine(address[0], deadline);
  close(address[0]);
  if (mAddress.empty()) return "dbus-daemon printed no address";

  // Watch for the name before asking for it, so its arrival cannot be missed.
  if (sd_bus_new(&mBus) < 0 || sd_bus_set_address(mBus, mAddress.c_str()) < 0 ||
      sd_bus_set_bus_client(mBus, 1) < 0 || sd_bus_start(mBus) < 0 ||
      sd_bus_match_signal(mBus, nullptr, kBusName, kBusPath, kBusName, "NameOwnerChanged", nullptr,
                          nullptr) < 0) {
    return "cannot connect to the private bus";
  }
  mMock =
      Spawn({kPython, "-m", "dbusmock", "--template", "logind"},
            {"DBUS_SYSTEM_BUS_ADDRESS=" + mAddress, "DBUS_SESSION_BUS_ADDRESS=" + mAddress,
             "PATH=/usr/bin:/bin", "HOME=" + mFolder, "LANG=C.UTF-8", "PYTHONDONTWRITEBYTECODE=1"},
            log, log);
  if (log >= 0) close(log);
  for (;;) {
    _tagSCall call;
    int owned = 0;
    if (sd_bus_call_method(mBus, kBusName, kBusPath, kBusName, "NameHasOwner", &call.error,
                           &call.reply, "s", kLogind) >= 0 &&
        sd_bus_message_read(call.reply, "b", &owned) >= 0 && owned) {
      return "";
    }
    const bool exited = waitpid(mMock, nullptr, WNOHANG) == mMock;
    if (exited || std::chrono::steady_clock::now() >= deadline) {
      if (exited) mMock = -1;
      std::stringstream text;
      text << std::ifstream(mFolder + "/bus.log").rdbuf();
      return (exited ? "the mock exited: " : "the mock never took its name: ") + text.str();
    }
    // Woken by the NameOwnerChanged signal; the slice only bounds how late a
    // dead mock is noticed.
    sd_bus_wait(mBus, 200000);
    while (sd_bus_process(mBus, nullptr) > 0) {
    }
  }
}

bool CMockLogind::AddMethod(const std::string& name, const std::string& inSignature,
                            const std::string& outSignature, const std::string& code) {
  _tagSCall call;
  return mBus != nullptr &&
         sd_bus_call_method(mBus, kLogind, kLogindPath, kMock, "AddMethod", &call.error,
                            &call.reply, "sssss", "org.freedesktop.login1.Manager", name.c_str(),
                            inSignature.c_str(), outSignature.c_str(), code.c_str()) >= 0;
}

bool CMockLogind::Reset() {
  _tagSCall call;
  return AddMethod("CanPowerOff", "", "s", "ret = 'yes'") &&
         AddMethod("CanHibernate", "", "s", "ret = 'yes'") &&
         AddMethod("SetWallMessage", "sb", "", "") && AddMethod("ScheduleShutdown", "st", "", "") &&
         AddMethod("Hibernate", "b", "", "") && AddMethod("Suspend", "b", "", "") &&
         AddMethod("CancelScheduledShutdown", "", "b", "ret = True") &&
         Call(mBus, kLogind, kLogindPath, kMock, "ClearCalls", call);
}

std::vector<_tagSMockCall> CMockLogind::Calls() {
  std::vector<_tagSMockCall> calls;
  _tagSCall call;
  sd_bus_message* m = call.reply;
  if (!Call(mBus, kLogind, kLogindPath, kMock, "GetCalls", call) ||
      sd_bus_message_enter_container(m = call.reply, 'a', "(tsav)") < 0) {
    return calls;
  }
  while (sd_bus_message_enter_container(m, 'r', "tsav") > 0) {
    _tagSMockCall& entry = calls.emplace_back();
    const char* method = nullptr;
    if (sd_bus_message_read(m, "ts", &entry.timestamp, &method) < 0 ||
        sd_bus_message_enter_container(m, 'a', "v") < 0) {
      calls.pop_back();
      break;
    }
    entry.method = method;
    while (sd_bus_message_at_end(m, 0) == 0) entry.args.push_back(ReadVariant(m));
    sd_bus_message_exit_container(m);
    sd_bus_message_exit_container(m);
  }
  return calls;
}

std::set<std::string> CMockLogind::Connections() {
  std::set<std::string> names;
  _tagSCall call;
  char** list = nullptr;
  if (!Call(mBus, kBusName, kBusPath, kBusName, "ListNames", call) ||
      sd_bus_message_read_strv(call.reply, &list) < 0) {
    return names;
  }
  for (char** name = list; name != nullptr && *name != nullptr; ++name) {
    if ((*name)[0] == ':') names.insert(*name);
    free(*name);
  }
  free(list);
  return names;
}
