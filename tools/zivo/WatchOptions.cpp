#include "WatchOptions.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "zivorivizo/EventManager.h"

namespace {

struct KindName {
  int kind;
  const char* name;
};

constexpr KindName kKinds[] = {
    {THERMAL_EVENT, "thermal"},
    {ADD_SENSOR_EVENT, "add-sensor"},
    {REMOVE_SENSOR_EVENT, "remove-sensor"},
    {ADD_DEVICE_EVENT, "add-device"},
    {REMOVE_DEVICE_EVENT, "remove-device"},
};

// The value of "--name value" or "--name=value" when `args[i]` is that
// option; advances `i` past a separate value.
std::optional<std::string> Value(const ZivoArgs& args, std::size_t& i, const std::string& name,
                                 std::string& error) {
  const std::string& arg = args[i];
  if (arg.compare(0, name.size() + 1, name + "=") == 0) {
    return arg.substr(name.size() + 1);
  }
  if (arg != name) {
    return std::nullopt;
  }
  if (i + 1 >= args.size()) {
    error = name + " needs a value";
    return std::string();
  }
  return args[++i];
}

bool Number(const std::string& text, double& value) {
  if (text.empty()) {
    return false;
  }
  errno = 0;
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return errno == 0 && end != nullptr && *end == '\0' && std::isfinite(value);
}

bool ParseKinds(const std::string& text, int& kinds, std::string& error) {
  kinds = 0;
  std::size_t from = 0;
  for (;;) {
    const std::size_t comma = text.find(',', from);
    const std::string word = text.substr(from, comma == std::string::npos ? comma : comma - from);
    bool known = false;
    for (const KindName& k : kKinds) {
      if (word == k.name) {
        kinds |= k.kind;
        known = true;
      }
    }
    if (!known) {
      error = "--kinds: unknown kind \"" + word +
              "\" (known: thermal, add-sensor, remove-sensor, add-device, remove-device)";
      return false;
    }
    if (comma == std::string::npos) {
      return true;
    }
    from = comma + 1;
  }
}

}  // namespace

const unsigned kWatchOffers = ZivoOffers::kPlatform | ZivoOffers::kLog | ZivoOffers::kJson;

bool ParseWatchOptions(const ZivoArgs& args, WatchOptions& options, std::string& error) {
  ZivoArgs rest;
  bool speedGiven = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    double number = 0;
    if (auto kinds = Value(args, i, "--kinds", error)) {
      if (!error.empty() || !ParseKinds(*kinds, options.kinds, error)) {
        return false;
      }
    } else if (auto count = Value(args, i, "--count", error)) {
      if (!error.empty()) {
        return false;
      }
      if (!Number(*count, number) || number < 1 || number != std::floor(number) || number > 1e15) {
        error = "--count takes a whole number of events from 1, not \"" + *count + "\"";
        return false;
      }
      options.count = static_cast<uint64_t>(number);
    } else if (auto timeout = Value(args, i, "--timeout", error)) {
      if (!error.empty()) {
        return false;
      }
      if (!Number(*timeout, number) || number <= 0 || number > 1e9) {
        error = "--timeout takes a number of seconds above 0, not \"" + *timeout + "\"";
        return false;
      }
      options.timeoutMs = static_cast<uint64_t>(std::llround(std::ceil(number * 1000.0)));
    } else if (auto speed = Value(args, i, "--speed", error)) {
      if (!error.empty()) {
        return false;
      }
      if (!Number(*speed, number) || number <= 0 || number > 1e6) {
        error = "--speed takes a factor above 0 (at most 1000000), not \"" + *speed + "\"";
        return false;
      }
      options.speed = number;
      speedGiven = true;
    } else {
      rest.push_back(args[i]);
    }
  }
  options.platform.noPolicyLookup = true;
  if (!ParsePlatformOptions(rest, options.platform, error, kWatchOffers)) {
    return false;
  }
  if (!options.platform.operands.empty()) {
    error = "unexpected argument \"" + options.platform.operands[0] + "\"";
    return false;
  }
  if (speedGiven && options.platform.platform != "sim") {
    error = "--speed goes with a simulated handheld (--platform sim or sim:FILE)";
    return false;
  }
  return true;
}

const char* WatchHelp() {
  return "usage: zivo watch [--kinds LIST] [--count N] [--timeout SECONDS] [--speed N]\n"
         "                  [--platform linux|sim|sim:FILE] [--sysfs-root DIR]\n"
         "                  [--naming path|stable] [--json] [--log FILE|journal]\n\n"
         "Registers one listener and prints each event as it arrives: its time, kind, id\n"
         "and name (with --json, one object per line). Ends on Ctrl-C, after --count\n"
         "events or after --timeout, with status 0; 1 when the event manager cannot\n"
         "start. On a simulated handheld it plays the description's event timeline.\n\n"
         "  --kinds LIST       comma-separated: thermal, add-sensor, remove-sensor,\n"
         "                     add-device, remove-device (default: all)\n"
         "  --count N          end after N events\n"
         "  --timeout SECONDS  end after that long\n"
         "  --speed N          play the simulated timeline N times faster\n";
}

const char* WatchKindName(int kind) {
  for (const KindName& k : kKinds) {
    if (k.kind == kind) {
      return k.name;
    }
  }
  return "unknown";
}

std::string WatchKindsText(int kinds) {
  std::string text;
  for (const KindName& k : kKinds) {
    if ((kinds & k.kind) != 0) {
      text += (text.empty() ? "" : ",") + std::string(k.name);
    }
  }
  return text;
}
