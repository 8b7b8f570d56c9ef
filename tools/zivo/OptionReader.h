// Reads a command's arguments in order, for every zivo command: "--flag",
// "--name value" and "--name=value" (a separate value is taken whatever it
// starts with, so "--sysfs-root -odd" reads "-odd"). Each Take... call looks
// at the current argument; the one that recognises it consumes it with its
// value and answers true, whether the value was good or a mistake. The first
// mistake is kept in Error() and ends the reading; a value that is a mistake
// leaves the caller's variable as it was. Skip passes over an argument that
// none recognised.
#pragma once

#include <cstdint>
#include <string>

#include "Commands.h"

class COptionReader {
 public:
  explicit COptionReader(const ZivoArgs& args) : mArgs(args) {}

  // True while an argument is left and no mistake was made.
  bool More() const { return mNext < mArgs.size() && mError.empty(); }
  const std::string& Current() const { return mArgs[mNext]; }
  // Whether the current argument is `name` or "name=...".
  bool Is(const std::string& name) const;

  bool TakeFlag(const std::string& name);
  // A value that is missing, or empty unless `emptyAllowed`, is the mistake
  // "NAME needs a value".
  bool TakeValue(const std::string& name, std::string& value, bool emptyAllowed = false);
  // Seconds above 0 and at most `most`, as whole milliseconds rounded up.
  bool TakeSeconds(const std::string& name, double most, uint64_t& ms);
  // A whole number from `least` to `most`; `what` describes them in the
  // mistake ("NAME takes WHAT, not "TEXT"").
  bool TakeWhole(const std::string& name, long least, long most, const std::string& what,
                 long& value);
  // A factor above 0, at most 1000000 (a simulated clock's speed).
  bool TakeFactor(const std::string& name, double& value);

  // Passes over the current argument and answers it.
  const std::string& Skip() { return mArgs[mNext++]; }
  // The arguments after the current one, which is passed over ("--").
  ZivoArgs Rest();
  // Records `error` unless a mistake was recorded before; answers false.
  bool Fail(const std::string& error);
  bool Failed() const { return !mError.empty(); }
  const std::string& Error() const { return mError; }
  // At the end of the reading: false with the mistake in `error`, if any.
  bool Finish(std::string& error) const;

 private:
  // A number above 0 and at most `most`; `what` describes it in the mistake.
  bool TakeNumber(const std::string& name, double most, const std::string& what, double& value);

  const ZivoArgs& mArgs;
  std::size_t mNext = 0;
  std::string mError;
};
