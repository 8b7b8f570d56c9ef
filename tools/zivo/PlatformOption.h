// The options the zivo commands share, and the platform they choose:
//
//   --platform sim | sim:FILE | linux   the embedded simulated handheld, a
//                                       handheld described in FILE, or the
//                                       Linux platform (the default: zivo
//                                       looks at the machine it runs on)
//   --sysfs-root DIR                    with linux: the sysfs tree to read
//                                       (/sys when not given)
//   --naming path | stable              with linux: participants named by
//                                       their folder path (the default) or by
//                                       names that survive a renumbering
//                                       ("zone:acpitz:0")
//   --fan-levels N                      with linux: the throttle states of
//                                       an hwmon fan above the chip's own
//                                       mode, 1 to 100 (10 when not given)
//   --config FILE                       the thermal policy file to load
//   --log FILE | journal                keep the library's log in FILE, or
//                                       send it to the systemd journal
//   --log-level LEVEL                   debug (the default), info, warning,
//                                       error or fatal: that level and the
//                                       more severe ones
//   --json                              machine-readable output
//   --wide                              tables with full names and paths
//   --help
//
// A command offers only the options that mean something for it (a mask of
// ZivoOffers): its --help lists those and the parser refuses the others.
//
// Whatever the platform, zivo records the library's shutdown and hibernate
// requests instead of passing them on: a command run to look at the
// participants never turns the machine off. The one exception is zivo run
// --apply on linux (realPower), which is asked to act.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Commands.h"

class CPlatform;
class CPower;
class CSimPower;
class CSimHandheld;
class CLinuxSysfsView;

// Which shared options a command offers; --help is always offered.
namespace ZivoOffers {
constexpr unsigned kPlatform = 1u << 0;  // --platform, --sysfs-root, --naming, --fan-levels
constexpr unsigned kConfig = 1u << 1;    // --config
constexpr unsigned kLog = 1u << 2;       // --log, --log-level
constexpr unsigned kJson = 1u << 3;      // --json
constexpr unsigned kWide = 1u << 4;      // --wide
constexpr unsigned kAll = kPlatform | kConfig | kLog | kJson | kWide;
}  // namespace ZivoOffers

struct PlatformOptions {
  // "sim" or "linux". A command that runs on the simulation by default (demo)
  // sets "sim" before parsing.
  std::string platform = "linux";
  std::string handheldFile;     // from sim:FILE; empty: the embedded handheld
  std::string sysfsRoot;        // linux only; empty: /sys
  std::string naming = "path";  // linux only: "path" or "stable"
  uint32_t fanLevels = 0;       // linux only: --fan-levels; 0: the library's default
  std::string configFile;
  std::string logFile;   // a file, or "journal" for the systemd journal
  std::string logLevel;  // debug, info, warning, error or fatal; empty: debug
  // Without --config, load an empty policy instead of letting the library
  // look for velmarconfig.xml in the working folder (watch: it applies no
  // policy, and a policy lying around there is none of its business).
  bool noPolicyLookup = false;
  bool json = false;
  bool wide = false;  // tables show full names; else a path shows its last folder
  bool help = false;
  // linux only: pass shutdown and hibernate requests on to the machine
  // instead of recording them (zivo run --apply); no other command sets it.
  bool realPower = false;
  std::vector<std::string> operands;  // the arguments that are no option
};

// Parses `args`, accepting the shared options in `offered`; on a mistake
// (an option not offered included) returns false with a one-line `error`.
bool ParsePlatformOptions(const ZivoArgs& args, PlatformOptions& options, std::string& error,
                          unsigned offered = ZivoOffers::kAll);
// What run and watch refuse once their options are read: an operand, and
// --speed (`speedGiven`) anywhere but on a simulated handheld.
bool CheckLongRunning(const PlatformOptions& options, bool speedGiven, std::string& error);
// The library's log mask for a --log-level LEVEL; none for an unknown one.
std::optional<uint32_t> LogMaskOf(const std::string& level);
// The lines of --help that describe the shared options in `offered`. The
// text lives as long as the process.
const char* PlatformOptionsHelp(unsigned offered = ZivoOffers::kAll);

struct ChosenPlatform {
  std::shared_ptr<CPlatform> platform;
  std::shared_ptr<CSimHandheld> handheld;    // the simulated handheld, else null
  std::shared_ptr<CSimPower> power;          // where shutdown requests end up
  std::shared_ptr<CLinuxSysfsView> thermal;  // the Linux platform's view, else null
  std::string description;                   // for people
};

// Makes the chosen platform and installs it. False with `error` (naming the
// file, the place and the problem for a broken handheld description).
bool InstallChosenPlatform(const PlatformOptions& options, ChosenPlatform& chosen,
                           std::string& error);

// `platform` with `power` in place of its own; the rest is shared with it.
std::shared_ptr<CPlatform> PlatformWithPower(const std::shared_ptr<CPlatform>& platform,
                                             std::shared_ptr<CPower> power);
