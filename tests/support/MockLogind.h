// A mock logind on a private D-Bus bus, for tests of the Linux power: a
// dbus-daemon of its own (its config, socket and logs in a temporary folder)
// and the logind template of python-dbusmock on it. Nothing reaches the
// machine's system bus.
//
// Starting waits for the daemon to print its address and for the mock to own
// org.freedesktop.login1, each with a bounded timeout. The destructor kills
// both processes (by their ids) and removes the folder; the children also die
// with the test process if it crashes first.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

struct sd_bus;

struct _tagSMockCall {
  uint64_t timestamp = 0;  // seconds since the epoch, when the mock got the call
  std::string method;
  // The arguments as text: strings as they are, booleans "true" or "false",
  // 64-bit unsigned numbers in decimal, anything else "?".
  std::vector<std::string> args;
};

class CMockLogind {
 public:
  // Why the mock cannot run on this machine ("" when it can): dbus-daemon or
  // python3-dbusmock is not installed.
  static std::string MissingTool();
  // One mock per test program, started on first use and stopped at exit, so
  // the power tests pay for starting python-dbusmock once. Each test resets
  // it before use.
  static CMockLogind& Shared();

  CMockLogind();
  ~CMockLogind();
  CMockLogind(const CMockLogind&) = delete;
  CMockLogind& operator=(const CMockLogind&) = delete;

  // "" when running, otherwise what went wrong while starting.
  const std::string& Error() const { return mError; }
  // The bus address, for the code under test.
  const std::string& Address() const { return mAddress; }

  // Defines (or redefines) a method of org.freedesktop.login1.Manager; `code`
  // is the mock's Python body ("ret = 'yes'", "raise ...").
  bool AddMethod(const std::string& name, const std::string& inSignature,
                 const std::string& outSignature, const std::string& code);
  // The methods the power code calls, back to answers that allow everything.
  bool Reset();
  std::vector<_tagSMockCall> Calls();
  // The unique names of the connections on the bus, the test's own included.
  std::set<std::string> Connections();

 private:
  std::string Start();

  std::string mFolder;
  std::string mAddress;
  std::string mError;
  pid_t mDaemon = -1;
  pid_t mMock = -1;
  sd_bus* mBus = nullptr;
};
