// Runs the built zivo program (build/zivo, beside the tests folder) as a user
// runs it: standard output and error through pipes, the exit status reported.
// Every wait is bounded: a program still running at the end of one is killed
// and the run marked timed out. A process left running when its object goes
// is killed.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

struct _tagSZivoRun {
  int status = -1;  // exit status; -1 when it did not exit normally
  bool timedOut = false;
  std::string out;
  std::string err;
  // Standard output parsed as JSON (a test failure, and null, when it is not).
  nlohmann::json Json() const;
};

std::filesystem::path ZivoProgram();

// A zivo started with `args` in `workDir` (the caller's when empty), for a
// test that talks to it while it runs.
class CZivoProcess {
 public:
  explicit CZivoProcess(const std::vector<std::string>& args, const std::string& workDir = "");
  ~CZivoProcess();
  CZivoProcess(const CZivoProcess&) = delete;
  CZivoProcess& operator=(const CZivoProcess&) = delete;

  // True once `text` has appeared on standard output (or error, with
  // `onError`), false when `timeout` passed first.
  bool WaitFor(const std::string& text, bool onError = false,
               std::chrono::milliseconds timeout = std::chrono::seconds(30));
  // True once `condition` holds, checked each time output arrives and at
  // least every 10 ms; false when `timeout` passed first.
  bool WaitUntil(const std::function<bool()>& condition,
                 std::chrono::milliseconds timeout = std::chrono::seconds(30));
  // What standard output has shown so far.
  const std::string& Out() const { return mText[0]; }
  pid_t Pid() const { return mPid; }
  void Signal(int signal);
  // Waits for the end and reads what is left.
  _tagSZivoRun Finish(std::chrono::milliseconds timeout = std::chrono::seconds(60));

 private:
  // Reads what is ready, waiting at most `wait`; false once both pipes closed.
  bool Pump(std::chrono::milliseconds wait);
  pid_t mPid = -1;
  int mFds[2] = {-1, -1};
  std::string mText[2];
};

_tagSZivoRun RunZivo(const std::vector<std::string>& args, const std::string& workDir = "",
                     std::chrono::milliseconds timeout = std::chrono::seconds(60));
