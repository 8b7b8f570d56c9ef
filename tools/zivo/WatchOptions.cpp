#include "WatchOptions.h"

#include "OptionReader.h"
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
  COptionReader reader(args);
  while (reader.More()) {
    std::string kinds;
    long count = 0;
    uint64_t ms = 0;
    if (reader.TakeValue("--kinds", kinds, true)) {
      if (!reader.Failed() && !ParseKinds(kinds, options.kinds, error)) {
        return false;
      }
    } else if (reader.TakeWhole("--count", 1, 1000000000000000L, "a whole number of events from 1",
                                count)) {
      options.count = static_cast<uint64_t>(count);
    } else if (reader.TakeSeconds("--timeout", 1e9, ms)) {
      options.timeoutMs = ms;
    } else if (reader.TakeFactor("--speed", options.speed)) {
      speedGiven = true;
    } else {
      rest.push_back(reader.Skip());
    }
  }
  if (!reader.Finish(error)) {
    return false;
  }
  options.platform.noPolicyLookup = true;
  if (!ParsePlatformOptions(rest, options.platform, error, kWatchOffers)) {
    return false;
  }
  return CheckLongRunning(options.platform, speedGiven, error);
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
