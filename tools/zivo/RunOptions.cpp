#include "RunOptions.h"

#include "OptionReader.h"

const unsigned kRunOffers =
    ZivoOffers::kPlatform | ZivoOffers::kConfig | ZivoOffers::kLog | ZivoOffers::kJson;

bool ParseRunOptions(const ZivoArgs& args, RunOptions& options, std::string& error) {
  ZivoArgs rest;
  bool speedGiven = false;
  COptionReader reader(args);
  while (reader.More()) {
    if (reader.TakeSeconds("--interval", 86400, options.intervalMs) ||
        reader.TakeValue("--state-dir", options.stateDir) ||
        reader.TakeValue("--record", options.recordFile) ||
        reader.TakeValue("--metrics-textfile", options.metricsFile)) {
      continue;
    }
    uint64_t ms = 0;
    long count = 0;
    if (reader.TakeFlag("--apply")) {
      options.apply = true;
    } else if (reader.TakeSeconds("--duration", 1e9, ms)) {
      options.durationMs = ms;
    } else if (reader.TakeWhole("--confirm", 1, 1000, "a number of readings from 1 to 1000",
                                count)) {
      options.confirm = static_cast<int>(count);
    } else if (reader.TakeWhole("--failsafe-after", 1, 1000000, "a count of failed readings from 1",
                                count)) {
      options.failSafeAfter = static_cast<int>(count);
    } else if (reader.TakeFactor("--speed", options.speed)) {
      speedGiven = true;
    } else {
      rest.push_back(reader.Skip());
    }
  }
  if (!reader.Finish(error)) {
    return false;
  }
  if (!ParsePlatformOptions(rest, options.platform, error, kRunOffers)) {
    return false;
  }
  if (options.platform.help) {
    return true;
  }
  if (!CheckLongRunning(options.platform, speedGiven, error)) {
    return false;
  }
  options.configGiven = !options.platform.configFile.empty();
  if (!options.configGiven) {
    options.platform.configFile = kDefaultPolicyFile;
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
