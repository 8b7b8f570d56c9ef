#include "RunOptions.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace {

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

// Seconds above 0 and at most `most`, as milliseconds.
bool Seconds(const std::string& name, const std::string& text, double most, uint64_t& ms,
             std::string& error) {
  errno = 0;
  char* end = nullptr;
  const double value = text.empty() ? 0 : std::strtod(text.c_str(), &end);
  if (text.empty() || errno != 0 || end == nullptr || *end != '\0' || !std::isfinite(value) ||
      value <= 0 || value > most) {
    error = name + " takes a number of seconds above 0, not \"" + text + "\"";
    return false;
  }
  ms = static_cast<uint64_t>(std::llround(std::ceil(value * 1000.0)));
  return true;
}

bool NotEmpty(const std::string& name, const std::string& value, std::string& error) {
  if (value.empty()) {
    error = name + " needs a value";
  }
  return !value.empty();
}

}  // namespace

const unsigned kRunOffers =
    ZivoOffers::kPlatform | ZivoOffers::kConfig | ZivoOffers::kLog | ZivoOffers::kJson;

bool ParseRunOptions(const ZivoArgs& args, RunOptions& options, std::string& error) {
  ZivoArgs rest;
  bool speedGiven = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    uint64_t ms = 0;
    if (args[i] == "--apply") {
      options.apply = true;
    } else if (auto interval = Value(args, i, "--interval", error)) {
      if (!error.empty() || !Seconds("--interval", *interval, 86400, ms, error)) {
        return false;
      }
      options.intervalMs = ms;
    } else if (auto duration = Value(args, i, "--duration", error)) {
      if (!error.empty() || !Seconds("--duration", *duration, 1e9, ms, error)) {
        return false;
      }
      options.durationMs = ms;
    } else if (auto confirm = Value(args, i, "--confirm", error)) {
      if (!error.empty()) {
        return false;
      }
      char* end = nullptr;
      errno = 0;
      const long value = std::strtol(confirm->c_str(), &end, 10);
      if (confirm->empty() || *end != '\0' || errno != 0 || value < 1 || value > 1000) {
        error = "--confirm takes a number of readings from 1 to 1000, not \"" + *confirm + "\"";
        return false;
      }
      options.confirm = static_cast<int>(value);
    } else if (auto count = Value(args, i, "--failsafe-after", error)) {
      if (!error.empty()) {
        return false;
      }
      char* end = nullptr;
      errno = 0;
      const long value = std::strtol(count->c_str(), &end, 10);
      if (count->empty() || *end != '\0' || errno != 0 || value < 1 || value > 1000000) {
        error = "--failsafe-after takes a count of failed readings from 1, not \"" + *count + "\"";
        return false;
      }
      options.failSafeAfter = static_cast<int>(value);
    } else if (auto file = Value(args, i, "--record", error)) {
      if (!error.empty() || !NotEmpty("--record", *file, error)) {
        return false;
      }
      options.recordFile = *file;
    } else if (auto path = Value(args, i, "--metrics-textfile", error)) {
      if (!error.empty() || !NotEmpty("--metrics-textfile", *path, error)) {
        return false;
      }
      options.metricsFile = *path;
    } else if (auto dir = Value(args, i, "--state-dir", error)) {
      if (!error.empty()) {
        return false;
      }
      if (!NotEmpty("--state-dir", *dir, error)) {
        return false;
      }
      options.stateDir = *dir;
    } else if (auto speed = Value(args, i, "--speed", error)) {
      if (!error.empty()) {
        return false;
      }
      char* end = nullptr;
      const double value = std::strtod(speed->c_str(), &end);
      if (speed->empty() || *end != '\0' || !(value > 0) || value > 1e6) {
        error = "--speed takes a factor above 0 (at most 1000000), not \"" + *speed + "\"";
        return false;
      }
      options.speed = value;
      speedGiven = true;
    } else {
      rest.push_back(args[i]);
    }
  }
  if (!ParsePlatformOptions(rest, options.platform, error, kRunOffers)) {
    return false;
  }
  if (options.platform.help) {
    return true;
  }
  if (!options.platform.operands.empty()) {
    error = "unexpected argument \"" + options.platform.operands[0] + "\"";
    return false;
  }
  options.configGiven = !options.platform.configFile.empty();
  if (!options.configGiven) {
    options.platform.configFile = kDefaultPolicyFile;
  }
  if (speedGiven && options.platform.platform != "sim") {
    error = "--speed goes with a simulated handheld (--platform sim or sim:FILE)";
    return false;
  }
  return true;
}

const char* RunHelp() {
  return "usage: zivo run [--config FILE] [--interval SECONDS] [--apply] [--confirm N]\n"
         "                [--speed N] [--duration SECONDS] [--failsafe-after N]\n"
         "                [--state-dir DIR] [--record FILE]\n"
         "                [--metrics-textfile PATH]\n"
         "                [--platform sim|sim:FILE|linux] [--sysfs-root DIR]\n"
         "                [--naming path|stable] [--log FILE|journal]\n"
         "                [--log-level LEVEL] [--json]\n\n"
         "Applies the thermal policy until SIGINT or SIGTERM: throttles the devices of\n"
         "every sensor at or above its start temperature step by step, releases them\n"
         "2.0 degrees below it once every sensor using them is that cool, and takes\n"
         "the platform's power action once a sensor has read its shutdown temperature\n"
         "N times in a row (a shutdown is cancelled after N readings 2.0 degrees\n"
         "below it). At start it lists each sensor it controls with its record and\n"
         "devices, and warns of records that match nothing, sensors without devices\n"
         "and devices a kernel governor also sets; with --apply and nothing to\n"
         "control it ends with status 1. Sensors the policy does not name are listed\n"
         "at start and left alone. Every decision is printed with its reason and\n"
         "outcome (with --json, one object per line). A dry run unless --apply is\n"
         "given. SIGHUP reloads the policy; a file that does not load leaves the\n"
         "old one in force. A sensor that cannot be read is not decided on; after\n"
         "--failsafe-after failures in a row its devices go to their limit. With\n"
         "--apply, one zivo controls the devices (a lock in the state folder), and\n"
         "every device it changed is put back as it was found when it stops (on\n"
         "SIGINT, SIGTERM, the end of --duration or when the reader of its output\n"
         "goes away; zivo restore does it after a crash).\n\n"
         "  --config FILE       the policy (default /etc/zivo/velmarconfig.xml); it\n"
         "                      must load, or run ends with status 1\n"
         "  --interval SECONDS  how often every sensor is read (default 5)\n"
         "  --apply             write the throttle states and take the power action\n"
         "  --confirm N         readings in a row before a power action (default 3)\n"
         "  --speed N           simulated handheld: run its clock N times faster\n"
         "  --duration SECONDS  end after that long (simulated time on a handheld)\n"
         "  --failsafe-after N  failed readings in a row before a sensor's devices go\n"
         "                      to their limit (default 3)\n"
         "  --state-dir DIR     the lock and the states to put back (default /run/zivo)\n"
         "  --record FILE       write a record of the run to FILE (JSON Lines: a header,\n"
         "                      one sample per interval and every decision); draw it\n"
         "                      with zivo report FILE\n"
         "  --metrics-textfile PATH\n"
         "                      rewrite PATH at each interval in the Prometheus text\n"
         "                      format, for node_exporter's textfile collector\n";
}
