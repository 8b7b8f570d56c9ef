#include "PlatformOption.h"

#include <filesystem>
#include <map>
#include <mutex>

#include "Platform/Linux/LinuxPlatform.h"
#include "Platform/Linux/SysfsThermalView.h"
#include "Sim/SimPlatform.h"
#include "zivorivizo-sim/SimHandheld.h"
#include "zivorivizo-sim/SimPower.h"
#include "zivorivizo/Log.h"
#include "zivorivizo/Platform.h"

namespace {

// A platform with another power: every other stand-in is the one of `real`
// (which it keeps alive).
class CPowerSwapPlatform : public CPlatform {
 public:
  CPowerSwapPlatform(const std::shared_ptr<CPlatform>& real, std::shared_ptr<CPower> power) {
    mClock = std::shared_ptr<CClock>(real, &real->Clock());
    mRegistry = std::shared_ptr<CRegistry>(real, &real->Registry());
    mDevices = std::shared_ptr<CDeviceIo>(real, &real->Devices());
    mCom = std::shared_ptr<CCom>(real, &real->Com());
    mXml = std::shared_ptr<CXml>(real, &real->Xml());
    mEvents = std::shared_ptr<CPlatformEvents>(real, &real->Events());
    mPower = std::move(power);
  }
};

// "--name value" or "--name=value".
bool TakeValue(const ZivoArgs& args, std::size_t& i, const std::string& name, std::string& value,
               std::string& error) {
  const std::string& arg = args[i];
  if (arg.size() > name.size() && arg.compare(0, name.size() + 1, name + "=") == 0) {
    value = arg.substr(name.size() + 1);
  } else if (i + 1 < args.size()) {
    value = args[++i];
  } else {
    error = name + " needs a value";
    return false;
  }
  if (value.empty()) {
    error = name + " needs a value";
    return false;
  }
  return true;
}

bool Named(const std::string& arg, const std::string& name) {
  return arg == name || arg.compare(0, name.size() + 1, name + "=") == 0;
}

}  // namespace

namespace {

// One shared option: its name, what offers it, and its lines of --help.
struct _tagSSharedOption {
  const char* name;
  unsigned offer;
  const char* help;
};

constexpr _tagSSharedOption kSharedOptions[] = {
    {"--platform", ZivoOffers::kPlatform,
     "  --platform linux|sim|sim:FILE  the Linux thermal sysfs of this machine (default), the\n"
     "                                 embedded simulated handheld, or one described in FILE\n"},
    {"--sysfs-root", ZivoOffers::kPlatform,
     "  --sysfs-root DIR               with linux: the sysfs tree to read (default /sys)\n"},
    {"--naming", ZivoOffers::kPlatform,
     "  --naming path|stable           with linux: name participants by sysfs path (default)\n"
     "                                 or by names that survive a renumbering (zone:acpitz:0)\n"},
    {"--config", ZivoOffers::kConfig,
     "  --config FILE                  load the thermal policy from FILE\n"},
    {"--log", ZivoOffers::kLog,
     "  --log FILE|journal             keep the library's log in FILE, or send it to the\n"
     "                                 systemd journal\n"},
    {"--log-level", ZivoOffers::kLog,
     "  --log-level LEVEL              debug (default), info, warning, error or fatal: log\n"
     "                                 that level and the more severe ones\n"},
    {"--json", ZivoOffers::kJson,
     "  --json                         print JSON instead of tables\n"},
    {"--wide", ZivoOffers::kWide,
     "  --wide                         tables show names and sysfs paths in full\n"},
};

// Whether `arg` is a shared option that the command does not offer.
bool NotOffered(const std::string& arg, unsigned offered) {
  for (const _tagSSharedOption& option : kSharedOptions) {
    if ((option.offer & offered) == 0 && Named(arg, option.name)) {
      return true;
    }
  }
  return false;
}

}  // namespace

std::optional<uint32_t> LogMaskOf(const std::string& level) {
  // The library's levels are bits, not an order: each level lets through
  // itself and the more severe ones.
  if (level.empty() || level == "debug") {
    return LEVEL_ALL;
  }
  if (level == "info") {
    return LEVEL_INFO | LEVEL_WARN | LEVEL_ERROR | LEVEL_FATAL;
  }
  if (level == "warning") {
    return LEVEL_WARN | LEVEL_ERROR | LEVEL_FATAL;
  }
  if (level == "error") {
    return LEVEL_ERROR | LEVEL_FATAL;
  }
  if (level == "fatal") {
    return LEVEL_FATAL;
  }
  return std::nullopt;
}

bool ParsePlatformOptions(const ZivoArgs& args, _tagSPlatformOptions& options, std::string& error,
                          unsigned offered) {
  bool sysfsGiven = false;
  bool namingGiven = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    std::string value;
    if (NotOffered(arg, offered)) {
      error = "unknown option \"" + arg + "\"";
      return false;
    }
    if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--json") {
      options.json = true;
    } else if (arg == "--wide") {
      options.wide = true;
    } else if (Named(arg, "--platform")) {
      if (!TakeValue(args, i, "--platform", value, error)) {
        return false;
      }
      if (value == "sim" || value == "linux") {
        options.platform = value;
        options.handheldFile.clear();
      } else if (value.rfind("sim:", 0) == 0 && value.size() > 4) {
        options.platform = "sim";
        options.handheldFile = value.substr(4);
      } else {
        error = "--platform takes linux, sim or sim:FILE, not \"" + value + "\"";
        return false;
      }
    } else if (Named(arg, "--sysfs-root")) {
      if (!TakeValue(args, i, "--sysfs-root", options.sysfsRoot, error)) {
        return false;
      }
      sysfsGiven = true;
    } else if (Named(arg, "--naming")) {
      if (!TakeValue(args, i, "--naming", options.naming, error)) {
        return false;
      }
      if (options.naming != "path" && options.naming != "stable") {
        error = "--naming takes path or stable, not \"" + options.naming + "\"";
        return false;
      }
      namingGiven = true;
    } else if (Named(arg, "--config")) {
      if (!TakeValue(args, i, "--config", options.configFile, error)) {
        return false;
      }
    } else if (Named(arg, "--log-level")) {
      if (!TakeValue(args, i, "--log-level", options.logLevel, error)) {
        return false;
      }
      if (!LogMaskOf(options.logLevel)) {
        error = "--log-level takes debug, info, warning, error or fatal, not \"" +
                options.logLevel + "\"";
        return false;
      }
    } else if (Named(arg, "--log")) {
      if (!TakeValue(args, i, "--log", options.logFile, error)) {
        return false;
      }
    } else if (arg.size() > 1 && arg[0] == '-' && arg != "--") {
      error = "unknown option \"" + arg + "\"";
      return false;
    } else if (arg == "--") {
      options.operands.insert(options.operands.end(), args.begin() + static_cast<long>(i) + 1,
                              args.end());
      break;
    } else {
      options.operands.push_back(arg);
    }
  }
  if (!options.logLevel.empty() && options.logFile.empty()) {
    error = "--log-level goes with --log FILE or --log journal";
    return false;
  }
  if (sysfsGiven && options.platform != "linux") {
    error = "--sysfs-root goes with --platform linux";
    return false;
  }
  if (namingGiven && options.platform != "linux") {
    error = "--naming goes with --platform linux";
    return false;
  }
  return true;
}

const char* PlatformOptionsHelp(unsigned offered) {
  static std::mutex lock;
  static std::map<unsigned, std::string> texts;
  std::lock_guard<std::mutex> hold(lock);
  std::string& text = texts[offered];
  if (text.empty()) {
    for (const _tagSSharedOption& option : kSharedOptions) {
      if ((option.offer & offered) != 0) {
        text += option.help;
      }
    }
    text += "  --help                         show this text\n";
  }
  return text.c_str();
}

std::shared_ptr<CPlatform> PlatformWithPower(const std::shared_ptr<CPlatform>& platform,
                                             std::shared_ptr<CPower> power) {
  return std::make_shared<CPowerSwapPlatform>(platform, std::move(power));
}

bool InstallChosenPlatform(const _tagSPlatformOptions& options, _tagSChosenPlatform& chosen,
                           std::string& error) {
  if (options.platform == "linux") {
    const std::string root = options.sysfsRoot.empty() ? "/sys" : options.sysfsRoot;
    // Without the thermal class or hwmon there is nothing to read: say so,
    // rather than letting the library report it as firmware with thermal
    // management off.
    const std::string thermalClass = root + "/class/thermal";
    std::error_code failure;
    std::error_code ignored;
    if (!std::filesystem::is_directory(thermalClass, failure) &&
        !std::filesystem::is_directory(root + "/class/hwmon", ignored)) {
      error = thermalClass + ": " + (failure ? failure.message() : std::string("no such folder")) +
              " (no thermal sysfs to read; --platform sim runs on the simulated handheld)";
      return false;
    }
    const LinuxParticipantNaming naming =
        options.naming == "stable" ? LinuxParticipantNaming::Stable : LinuxParticipantNaming::Path;
    auto real = std::make_shared<CLinuxPlatform>(root, std::string(), naming);
    chosen.thermal = real->SharedThermalView();
    if (options.realPower) {
      chosen.platform = real;
    } else {
      chosen.power = std::make_shared<CSimPower>();
      chosen.platform = std::make_shared<CPowerSwapPlatform>(real, chosen.power);
    }
    chosen.description = "Linux thermal sysfs under " + root + ", " + options.naming + " names";
  } else {
    std::unique_ptr<CSimHandheld> handheld;
    if (options.handheldFile.empty()) {
      handheld = CSimHandheld::Default();
    } else {
      _tagSHandheldError refusal;
      handheld = CSimHandheld::Load(options.handheldFile, refusal);
      if (!handheld) {
        error = refusal.Text();
        return false;
      }
    }
    chosen.sim = std::make_shared<CSimPlatform>();
    chosen.handheld = std::move(handheld);
    chosen.handheld->Install(chosen.sim);
    chosen.platform = chosen.sim;
    chosen.power = std::shared_ptr<CSimPower>(chosen.sim, &chosen.sim->SimPower());
    chosen.description =
        "simulated handheld \"" + chosen.handheld->Name() + "\" (" +
        (options.handheldFile.empty() ? std::string("embedded") : options.handheldFile) + ")";
  }
  CPlatform::Install(chosen.platform);
  return true;
}
