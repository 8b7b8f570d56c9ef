// Runs zivo as a long-lived process the test talks to: its standard output
// and error come through pipes, the test waits (bounded) for a text to
// appear on either, sends signals, and collects the exit status. A process
// still running when the object goes is killed.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

#include "support/ZivoProcess.h"

class CZivoDaemon {
 public:
  explicit CZivoDaemon(const std::vector<std::string>& args);
  ~CZivoDaemon();
  CZivoDaemon(const CZivoDaemon&) = delete;
  CZivoDaemon& operator=(const CZivoDaemon&) = delete;

  // Reads until `text` has appeared on standard output (or error, with
  // `onError`) after `from` characters, or `timeout` passed. True when it
  // appeared.
  bool WaitFor(const std::string& text, bool onError = false,
               std::chrono::milliseconds timeout = std::chrono::seconds(30), std::size_t from = 0);
  void Signal(int signal);
  // Waits (bounded) for the process to end and reads what is left.
  _tagSZivoRun Finish(std::chrono::milliseconds timeout = std::chrono::seconds(30));
  const std::string& Out() const { return mOut; }

 private:
  // Reads what is ready on both pipes, waiting at most `wait`.
  void Pump(std::chrono::milliseconds wait);
  pid_t mPid = -1;
  int mOutFd = -1;
  int mErrFd = -1;
  std::string mOut;
  std::string mErr;
};
