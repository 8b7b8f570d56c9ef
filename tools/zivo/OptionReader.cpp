#include "OptionReader.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace {

// The whole of `text` as a finite number.
bool Number(const std::string& text, double& value) {
  if (text.empty()) {
    return false;
  }
  errno = 0;
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return errno == 0 && end != nullptr && *end == '\0' && std::isfinite(value);
}

}  // namespace

bool COptionReader::Is(const std::string& name) const {
  const std::string& arg = Current();
  return arg == name || arg.compare(0, name.size() + 1, name + "=") == 0;
}

bool COptionReader::TakeFlag(const std::string& name) {
  if (Current() != name) {
    return false;
  }
  ++mNext;
  return true;
}

bool COptionReader::TakeValue(const std::string& name, std::string& value, bool emptyAllowed) {
  if (!Is(name)) {
    return false;
  }
  const std::string& arg = mArgs[mNext++];
  std::string text;
  if (arg != name) {
    text = arg.substr(name.size() + 1);
  } else if (mNext < mArgs.size()) {
    text = mArgs[mNext++];
  } else {
    Fail(name + " needs a value");
    return true;
  }
  if (text.empty() && !emptyAllowed) {
    Fail(name + " needs a value");
  } else {
    value = text;
  }
  return true;
}

bool COptionReader::TakeSeconds(const std::string& name, double most, uint64_t& ms) {
  double value = 0;
  if (!TakeNumber(name, most, "a number of seconds above 0", value)) {
    return false;
  }
  if (value > 0) {
    ms = static_cast<uint64_t>(std::llround(std::ceil(value * 1000.0)));
  }
  return true;
}

bool COptionReader::TakeWhole(const std::string& name, long least, long most,
                              const std::string& what, long& value) {
  std::string text;
  if (!TakeValue(name, text, true)) {
    return false;
  }
  if (Failed()) {
    return true;
  }
  errno = 0;
  char* end = nullptr;
  const long number = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno != 0 || number < least || number > most) {
    Fail(name + " takes " + what + ", not \"" + text + "\"");
  } else {
    value = number;
  }
  return true;
}

bool COptionReader::TakeFactor(const std::string& name, double& value) {
  return TakeNumber(name, 1e6, "a factor above 0 (at most 1000000)", value);
}

bool COptionReader::TakeNumber(const std::string& name, double most, const std::string& what,
                               double& value) {
  std::string text;
  if (!TakeValue(name, text, true)) {
    return false;
  }
  if (Failed()) {
    return true;
  }
  double number = 0;
  if (!Number(text, number) || number <= 0 || number > most) {
    Fail(name + " takes " + what + ", not \"" + text + "\"");
  } else {
    value = number;
  }
  return true;
}

bool COptionReader::Finish(std::string& error) const {
  if (Failed()) {
    error = mError;
  }
  return !Failed();
}

ZivoArgs COptionReader::Rest() {
  ZivoArgs rest(mArgs.begin() + static_cast<long>(mNext) + 1, mArgs.end());
  mNext = mArgs.size();
  return rest;
}

bool COptionReader::Fail(const std::string& error) {
  if (mError.empty()) {
    mError = error;
  }
  return false;
}
