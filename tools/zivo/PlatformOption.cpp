#include "PlatformOption.h"

#include <filesystem>
#include <map>
#include <mutex>

#include "OptionReader.h"
#include "zivorivizo-sim/SimHandheld.h"
#include "zivorivizo-sim/SimPower.h"
#include "zivorivizo/LinuxSysfsView.h"
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

// The most throttle states --fan-levels gives a fan: beyond that one state
// moves its pwm (0..255) by less than three.
constexpr long kMostFanLevels = 100;

// One shared option: its name, what offers it, and its lines of --help.
struct SharedOption {
  const char* name;
  unsigned offer;
  const char* help;
};

constexpr SharedOption kSharedOptions[] = {
    {"--platform", ZivoOffers::kPlatform,
     "  --platform linux|sim|sim:FILE  the Linux thermal sysfs of this machine (default), the\n"
     "                                 embedded simulated handheld, or one described in FILE\n"},
    {"--sysfs-root", ZivoOffers::kPlatform,
     "  --sysfs-root DIR               with linux: the sysfs tree to read (default /sys)\n"},
    {"--naming", ZivoOffers::kPlatform,
     "  --naming path|stable           with linux: name participants by sysfs path (default)\n"
     "                                 or by names that survive a renumbering (zone:acpitz:0)\n"},
    {"--fan-levels", ZivoOffers::kPlatform,
     "  --fan-levels N                 with linux: throttle states of an hwmon fan, 1 to 100\n"
     "                                 (default 10)\n"},
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

// Whether the current argument is a shared option that the command does not
// offer.
bool NotOffered(const COptionReader& reader, unsigned offered) {
  for (const SharedOption& option : kSharedOptions) {
    if ((option.offer & offered) == 0 && reader.Is(option.name)) {
      return true;
    }
  }
  return false;
}

// --platform linux, sim or sim:FILE.
bool TakePlatform(COptionReader& reader, PlatformOptions& options) {
  std::string value;
  if (!reader.TakeValue("--platform", value)) {
    return false;
  }
  if (reader.Failed()) {
    return true;
  }
  if (value == "sim" || value == "linux") {
    options.platform = value;
    options.handheldFile.clear();
  } else if (value.rfind("sim:", 0) == 0 && value.size() > 4) {
    options.platform = "sim";
    options.handheldFile = value.substr(4);
  } else {
    reader.Fail("--platform takes linux, sim or sim:FILE, not \"" + value + "\"");
  }
  return true;
}

// The options that hold a value, and the one chosen of each.
bool TakeValued(COptionReader& reader, PlatformOptions& options, bool& sysfsGiven,
                bool& namingGiven) {
  if (reader.TakeValue("--sysfs-root", options.sysfsRoot)) {
    sysfsGiven = true;
  } else if (reader.TakeValue("--naming", options.naming)) {
    namingGiven = true;
    if (options.naming != "path" && options.naming != "stable") {
      reader.Fail("--naming takes path or stable, not \"" + options.naming + "\"");
    }
  } else if (long levels = 0; reader.TakeWhole(
                 "--fan-levels", 1, kMostFanLevels,
                 "a whole number from 1 to " + std::to_string(kMostFanLevels), levels)) {
    options.fanLevels = static_cast<uint32_t>(levels);
  } else if (reader.TakeValue("--log-level", options.logLevel)) {
    if (!LogMaskOf(options.logLevel)) {
      reader.Fail("--log-level takes debug, info, warning, error or fatal, not \"" +
                  options.logLevel + "\"");
    }
  } else if (!reader.TakeValue("--config", options.configFile) &&
             !reader.TakeValue("--log", options.logFile) && !TakePlatform(reader, options)) {
    return false;
  }
  return true;
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

bool ParsePlatformOptions(const ZivoArgs& args, PlatformOptions& options, std::string& error,
                          unsigned offered) {
  bool sysfsGiven = false;
  bool namingGiven = false;
  COptionReader reader(args);
  while (reader.More()) {
    const std::string& arg = reader.Current();
    if (NotOffered(reader, offered)) {
      reader.Fail("unknown option \"" + arg + "\"");
      break;
    }
    if (TakeValued(reader, options, sysfsGiven, namingGiven)) {
      continue;
    }
    if (reader.TakeFlag("--help") || reader.TakeFlag("-h")) {
      options.help = true;
    } else if (reader.TakeFlag("--json")) {
      options.json = true;
    } else if (reader.TakeFlag("--wide")) {
      options.wide = true;
    } else if (arg == "--") {
      const ZivoArgs rest = reader.Rest();
      options.operands.insert(options.operands.end(), rest.begin(), rest.end());
    } else if (arg.size() > 1 && arg[0] == '-') {
      reader.Fail("unknown option \"" + arg + "\"");
    } else {
      options.operands.push_back(reader.Skip());
    }
  }
  if (!reader.Finish(error)) {
    return false;
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
  if (options.fanLevels != 0 && options.platform != "linux") {
    error = "--fan-levels goes with --platform linux";
    return false;
  }
  return true;
}

bool CheckLongRunning(const PlatformOptions& options, bool speedGiven, std::string& error) {
  if (!options.operands.empty()) {
    error = "unexpected argument \"" + options.operands[0] + "\"";
    return false;
  }
  if (speedGiven && options.platform != "sim") {
    error = "--speed goes with a simulated handheld (--platform sim or sim:FILE)";
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
    for (const SharedOption& option : kSharedOptions) {
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

bool InstallChosenPlatform(const PlatformOptions& options, ChosenPlatform& chosen,
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
    // Before any fan channel is opened; 0 keeps the library's default.
    SetLinuxFanLevels(options.fanLevels);
    const LinuxParticipantNaming naming =
        options.naming == "stable" ? LinuxParticipantNaming::Stable : LinuxParticipantNaming::Path;
    std::shared_ptr<CPlatform> real = CreateLinuxPlatform(root, naming);
    chosen.thermal = CLinuxSysfsView::Of(*real);
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
    chosen.handheld = std::move(handheld);
    chosen.power = std::make_shared<CSimPower>();
    chosen.platform = chosen.handheld->CreatePlatform(chosen.power);
    chosen.description =
        "simulated handheld \"" + chosen.handheld->Name() + "\" (" +
        (options.handheldFile.empty() ? std::string("embedded") : options.handheldFile) + ")";
  }
  CPlatform::Install(chosen.platform);
  return true;
}
