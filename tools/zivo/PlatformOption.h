// The options every zivo command shares, and the platform they choose:
//
//   --platform sim | sim:FILE | linux   the embedded simulated handheld (the
//                                       default), a handheld described in
//                                       FILE, or the real Linux platform
//   --sysfs-root DIR                    with linux: the sysfs tree to read
//                                       (/sys when not given)
//   --naming path | stable              with linux: participants named by
//                                       their folder path (the default) or by
//                                       names that survive a renumbering
//                                       ("zone:acpitz:0")
//   --config FILE                       the thermal policy file to load
//   --log FILE                          keep the library's log in FILE
//   --json                              machine-readable output
//   --wide                              tables with full names and paths
//   --help
//
// Whatever the platform, zivo records the library's shutdown and hibernate
// requests instead of passing them on: a command run to look at the
// participants never turns the machine off. The one exception is zivo run
// --apply on linux (realPower), which is asked to act.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "Commands.h"

class CPlatform;
class CPower;
class CSimPlatform;
class CSimPower;
class CSimHandheld;
class CSysfsThermalView;

struct _tagSPlatformOptions {
  std::string platform = "sim";  // "sim" or "linux"
  std::string handheldFile;      // from sim:FILE; empty: the embedded handheld
  std::string sysfsRoot;         // linux only; empty: /sys
  std::string naming = "path";   // linux only: "path" or "stable"
  std::string configFile;
  std::string logFile;
  bool json = false;
  bool wide = false;  // tables show full names; else a path shows its last folder
  bool help = false;
  // linux only: pass shutdown and hibernate requests on to the machine
  // instead of recording them (zivo run --apply); no other command sets it.
  bool realPower = false;
  std::vector<std::string> operands;  // the arguments that are no option
};

// Parses `args`; on a mistake returns false with a one-line `error`.
bool ParsePlatformOptions(const ZivoArgs& args, _tagSPlatformOptions& options, std::string& error);
// The lines of --help that describe the shared options.
const char* PlatformOptionsHelp();

struct _tagSChosenPlatform {
  std::shared_ptr<CPlatform> platform;
  std::shared_ptr<CSimPlatform> sim;           // the simulated platform, else null
  std::shared_ptr<CSimHandheld> handheld;      // the simulated handheld, else null
  std::shared_ptr<CSimPower> power;            // where shutdown requests end up
  std::shared_ptr<CSysfsThermalView> thermal;  // the Linux thermal view, else null
  std::string description;                     // for people
};

// Makes the chosen platform and installs it. False with `error` (naming the
// file, the place and the problem for a broken handheld description).
bool InstallChosenPlatform(const _tagSPlatformOptions& options, _tagSChosenPlatform& chosen,
                           std::string& error);

// `platform` with `power` in place of its own; the rest is shared with it.
std::shared_ptr<CPlatform> PlatformWithPower(const std::shared_ptr<CPlatform>& platform,
                                             std::shared_ptr<CPower> power);
