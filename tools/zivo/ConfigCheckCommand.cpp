// zivo config check FILE [--json]: loads a thermal policy file the way the
// library does and shows what the library would work from, and, when the file
// would not be used, why and where. Run it before deploying a policy file.
#include <cstdio>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "Commands.h"
#include "ConfigCheckRules.h"
#include "Platform/Text.h"
#include "zivorivizo/Log.h"
#include "zivorivizo/OSConfigMgr.h"
#include "zivorivizo/Platform.h"
#include "zivorivizo/StatusCodes.h"

namespace {

const char kUsage[] =
    "usage: zivo config check FILE [--json]\n"
    "\n"
    "Loads the thermal policy file FILE as the library does and prints the\n"
    "outcome: the load result, whether the configuration is loaded, and the\n"
    "platform, device and sensor records the library would use. When FILE\n"
    "would not be used, says why and where on standard error.\n"
    "\n"
    "  --json   print the outcome as one JSON object:\n"
    "           {\"result\": N, \"loaded\": true|false, \"platform\": {...},\n"
    "            \"devices\": [...], \"sensors\": [...], \"problems\": [...]}\n"
    "  --help   show this text\n"
    "\n"
    "Exit status: 0 when FILE loads, 1 when it does not, 2 for a usage error.\n";

// Keeps what the library logs while the file is loaded; registered once with
// the process-wide log, which owns it.
class CCheckLogger : public CLogger {
 public:
  void Write(char* text) override {
    std::lock_guard<std::mutex> hold(mLock);
    mText += text;
  }
  std::string Take() {
    std::lock_guard<std::mutex> hold(mLock);
    std::string text;
    text.swap(mText);
    return text;
  }

 private:
  std::mutex mLock;
  std::string mText;
};

CCheckLogger* StartCapture() {
  auto* logger = new CCheckLogger;
  if (myPrint.AddLogger(logger) != 0) {
    delete logger;
    return nullptr;
  }
  CPrint::pPrint = &myPrint;
  myPrint.SetLogLevel(LEVEL_ALL);
  return logger;
}

// The messages of the library's Error lines ("... ERROR : [file:line] text").
std::vector<std::string> ErrorMessages(const std::string& log) {
  std::vector<std::string> messages;
  std::size_t start = 0;
  while (start < log.size()) {
    std::size_t end = log.find('\n', start);
    if (end == std::string::npos) {
      end = log.size();
    }
    const std::string line = log.substr(start, end - start);
    const std::size_t level = line.find(" ERROR : [");
    const std::size_t text = line.find("] ", level == std::string::npos ? 0 : level);
    if (level != std::string::npos && text != std::string::npos) {
      messages.push_back(line.substr(text + 2));
    }
    start = end + 1;
  }
  return messages;
}

bool Contains(const std::string& text, const char* part) {
  return text.find(part) != std::string::npos;
}

const char* Meaning(int result) {
  switch (result) {
    case ZIVO_SUCCESS:
      return "loaded";
    case ZIVO_CONFIG_LOAD_FAILED:
      return "the file did not load";
    case ZIVO_CONFIG_RULE_BROKEN:
      return "a device or sensor breaks a rule; the whole file is rejected";
    case ZIVO_THROW_CONFIG_FAILED:
      return "the library gave up reading the file";
    default:
      return "not loaded";
  }
}

std::string Where(const std::string& file, long line) {
  return line > 0 ? file + ":" + std::to_string(line) : file;
}

nlohmann::ordered_json PlatformJson(const _tagSPlatformConfig& platform) {
  return {{"iShutdownOption", platform.iShutdownOption},
          {"iShutdownTimer", platform.iShutdownTimer},
          {"iThrottlePreference", platform.iThrottlePreference}};
}

nlohmann::ordered_json DeviceJson(const _tagSDeviceConfig& device) {
  return {{"strPath", ToUtf8(device.strPath)},
          {"iClass", device.iClass},
          {"iThrottleLimit", device.iThrottleLimit},
          {"iThrottleStep", device.iThrottleStep},
          {"iPriority", device.iPriority},
          {"iUsageEnable", device.iUsageEnable},
          {"iUsageShutdown", device.iUsageShutdown},
          {"strReserved1", ToUtf8(device.strReserved1)},
          {"strReserved2", ToUtf8(device.strReserved2)}};
}

nlohmann::ordered_json SensorJson(const _tagSSensorConfig& sensor) {
  nlohmann::ordered_json paths = nlohmann::ordered_json::array();
  for (const std::wstring& path : sensor.vecDevicePaths) {
    paths.push_back(ToUtf8(path));
  }
  return {{"strName", ToUtf8(sensor.strName)},
          {"iClass", sensor.iClass},
          {"iShutdownTemp", sensor.iShutdownTemp},
          {"iThrottleStartTemp", sensor.iThrottleStartTemp},
          {"iUsageEnable", sensor.iUsageEnable},
          {"iAuxInterval", sensor.iAuxInterval},
          {"vecDevicePaths", paths},
          {"strReserved1", ToUtf8(sensor.strReserved1)},
          {"strReserved2", ToUtf8(sensor.strReserved2)}};
}

std::string CelsiusOf(int tenthsOfKelvin) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f C", (tenthsOfKelvin - 2732) / 10.0);
  return text;
}

void PrintText(const std::string& file, int result, bool loaded,
               const _tagSPlatformConfig& platform, const std::vector<_tagSDeviceConfig>& devices,
               const std::vector<_tagSSensorConfig>& sensors) {
  std::printf("Configuration file: %s\n", file.c_str());
  std::printf("Result: %d (%s)\n", result, Meaning(result));
  std::printf("Loaded: %s\n", loaded ? "yes" : "no");
  if (!loaded) {
    std::printf("The library would answer with its built-in defaults:\n");
  }
  std::printf("Platform: iShutdownOption=%d (%s) iShutdownTimer=%d iThrottlePreference=%d (%s)\n",
              platform.iShutdownOption, platform.iShutdownOption == 1 ? "hibernate" : "shut down",
              platform.iShutdownTimer, platform.iThrottlePreference,
              platform.iThrottlePreference == 1   ? "active"
              : platform.iThrottlePreference == 0 ? "passive"
                                                  : "other");
  std::printf("Devices: %zu\n", devices.size());
  for (const _tagSDeviceConfig& device : devices) {
    std::printf(
        "  strPath=\"%s\" iClass=%d iThrottleLimit=%d iThrottleStep=%d iPriority=%d "
        "iUsageEnable=%d iUsageShutdown=%d\n",
        ToUtf8(device.strPath).c_str(), device.iClass, device.iThrottleLimit, device.iThrottleStep,
        device.iPriority, device.iUsageEnable, device.iUsageShutdown);
  }
  std::printf("Sensors: %zu\n", sensors.size());
  for (const _tagSSensorConfig& sensor : sensors) {
    std::string paths;
    for (const std::wstring& path : sensor.vecDevicePaths) {
      paths += (paths.empty() ? "\"" : ", \"") + ToUtf8(path) + "\"";
    }
    std::printf(
        "  strName=\"%s\" iClass=%d iShutdownTemp=%d (%s) iThrottleStartTemp=%d (%s) "
        "iUsageEnable=%d iAuxInterval=%d vecDevicePaths=[%s]\n",
        ToUtf8(sensor.strName).c_str(), sensor.iClass, sensor.iShutdownTemp,
        CelsiusOf(sensor.iShutdownTemp).c_str(), sensor.iThrottleStartTemp,
        CelsiusOf(sensor.iThrottleStartTemp).c_str(), sensor.iUsageEnable, sensor.iAuxInterval,
        paths.c_str());
  }
}

}  // namespace

int RunConfigCheck(const ZivoArgs& args) {
  std::string file;
  bool json = false;
  for (const std::string& arg : args) {
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--json") {
      json = true;
    } else if (!arg.empty() && arg[0] == '-') {
      std::fprintf(stderr, "zivo config check: unknown option \"%s\"\n\n%s", arg.c_str(), kUsage);
      return 2;
    } else if (file.empty()) {
      file = arg;
    } else {
      std::fprintf(stderr, "zivo config check: one FILE only (\"%s\" is extra)\n\n%s", arg.c_str(),
                   kUsage);
      return 2;
    }
  }
  if (file.empty()) {
    std::fprintf(stderr, "zivo config check: FILE is missing\n\n%s", kUsage);
    return 2;
  }
  const std::wstring path = FromUtf8(file);

  // The library's verdict.
  CCheckLogger* capture = StartCapture();
  int result = ZIVO_SUCCESS;
  COSConfigManager* manager = nullptr;
  COSConfigManager::DeleteInstance();
  try {
    manager = COSConfigManager::GetInstance(path);
  } catch (int thrown) {
    result = thrown;
  }
  const std::string log = capture != nullptr ? capture->Take() : "";
  // The library falls back to velmarconfig.xml in the working folder when
  // FILE does not load; that file is not the one being checked.
  const bool fellBack = Contains(log, "] Trying Default file\n");
  _tagSPlatformConfig platform;
  std::vector<_tagSDeviceConfig> devices;
  std::vector<_tagSSensorConfig> sensors;
  bool loaded = false;
  if (manager != nullptr) {
    loaded = manager->GetAllDeviceConfigs(devices) == 0 && !fellBack;
    manager->GetAllSensorConfigs(sensors);
    if (fellBack) {
      result = ZIVO_CONFIG_LOAD_FAILED;
    } else if (!loaded) {
      // The status Init returned: the library logs it only as the cause.
      result =
          Contains(log, "] ReadDevices failed for ") || Contains(log, "] ReadSensors failed for ")
              ? ZIVO_CONFIG_RULE_BROKEN
              : ZIVO_CONFIG_LOAD_FAILED;
    }
    if (!loaded) {
      devices.clear();
      sensors.clear();
      platform = _tagSPlatformConfig{1, 1, 10};
    } else {
      manager->GetPlatformConfig(platform);
    }
  } else {
    platform = _tagSPlatformConfig{1, 1, 10};
  }
  COSConfigManager::DeleteInstance();

  // Why, and where.
  const _tagSConfigInspection inspection = InspectConfigFile(CPlatform::Current()->Xml(), path);
  nlohmann::ordered_json problems = nlohmann::ordered_json::array();
  if (!inspection.parsed) {
    const _tagSXmlParseError& error = inspection.parseError;
    std::fprintf(stderr, "error: %s: the file does not load: %s\n", Where(file, error.line).c_str(),
                 ToUtf8(error.reason).c_str());
    if (!error.srcText.empty()) {
      std::fprintf(stderr, "  %ld | %s\n", error.line, ToUtf8(error.srcText).c_str());
    }
    problems.push_back({{"severity", "error"},
                        {"line", error.line},
                        {"element", ""},
                        {"message", ToUtf8(error.reason)},
                        {"source", ToUtf8(error.srcText)}});
  }
  bool explained = !inspection.parsed;
  for (const _tagSConfigFinding& finding : inspection.findings) {
    explained = explained || finding.error;
    std::fprintf(stderr, "%s: %s: %s %s\n", finding.error ? "error" : "warning",
                 Where(file, finding.line).c_str(), finding.element.c_str(),
                 finding.message.c_str());
    problems.push_back({{"severity", finding.error ? "error" : "warning"},
                        {"line", finding.line},
                        {"element", finding.element},
                        {"message", finding.message}});
  }
  if (!loaded && !explained) {
    // Not foreseen by the checks above: the library's own words.
    for (const std::string& message : ErrorMessages(log)) {
      std::fprintf(stderr, "error: %s: %s\n", file.c_str(), message.c_str());
      problems.push_back(
          {{"severity", "error"}, {"line", 0}, {"element", ""}, {"message", message}});
    }
  }
  if (fellBack && manager != nullptr) {
    std::fprintf(stderr,
                 "note: the library would then try velmarconfig.xml in its working folder "
                 "instead\n");
  }

  if (json) {
    nlohmann::ordered_json out;
    out["result"] = result;
    out["loaded"] = loaded;
    out["platform"] = PlatformJson(platform);
    out["devices"] = nlohmann::ordered_json::array();
    for (const _tagSDeviceConfig& device : devices) {
      out["devices"].push_back(DeviceJson(device));
    }
    out["sensors"] = nlohmann::ordered_json::array();
    for (const _tagSSensorConfig& sensor : sensors) {
      out["sensors"].push_back(SensorJson(sensor));
    }
    out["problems"] = problems;
    std::printf("%s\n", out.dump(2).c_str());
  } else {
    PrintText(file, result, loaded, platform, devices, sensors);
  }
  return loaded ? 0 : 1;
}
