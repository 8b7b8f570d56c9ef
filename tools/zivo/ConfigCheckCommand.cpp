// zivo config check FILE [--json] [--strict] [--dtd GRAMMAR]: loads a thermal
// policy file the way the library does and shows what the library would work
// from, and, when the file would not be used or would be read otherwise than
// its writer probably meant, why and where. Run it before deploying a policy
// file. The verdict and every finding come from the loader itself. With
// --against it also compares the records with the participants a platform
// discovers (PolicyAgainstPlatform.h).
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "Commands.h"
#include "HostSession.h"
#include "JsonText.h"
#include "LeftOutReport.h"
#include "OptionReader.h"
#include "ParticipantView.h"
#include "PlatformOption.h"
#include "PolicyAgainstPlatform.h"
#include "PolicyFindings.h"
#include "StatusText.h"
#include "TextTable.h"
#include "zivorivizo/Diagnostics.h"
#include "zivorivizo/OSParticipantMgr.h"
#include "zivorivizo/Platform.h"
#include "zivorivizo/StatusCodes.h"
#include "zivorivizo/Text.h"

namespace {

const char kUsage[] =
    "usage: zivo config check FILE [--json] [--strict] [--dtd GRAMMAR]\n"
    "                         [--against PLATFORM [--sysfs-root DIR] [--naming N]]\n"
    "\n"
    "Loads the thermal policy file FILE as the library does and prints the\n"
    "outcome: the load result, whether the configuration is loaded, and the\n"
    "platform, device and sensor records the library would use. On standard\n"
    "error it lists why FILE would not be used (errors) and the values the\n"
    "library would read otherwise than probably meant (warnings), each with\n"
    "its file and line.\n"
    "\n"
    "  --json         print the outcome as one JSON object:\n"
    "                 {\"result\": N, \"loaded\": true|false, \"platform\": {...},\n"
    "                  \"devices\": [...], \"sensors\": [...], \"problems\": [...]}\n"
    "  --strict       warnings fail the check too\n"
    "  --dtd GRAMMAR  also validate FILE against the DTD in the file GRAMMAR\n"
    "                 (for example docs/velmarconfig.dtd), whatever DTD FILE\n"
    "                 declares itself\n"
    "  --against PLATFORM\n"
    "                 also compare the records with the participants that\n"
    "                 PLATFORM discovers (linux, sim or sim:FILE, with\n"
    "                 --sysfs-root DIR and --naming path|stable as in zivo\n"
    "                 list): the devices each <Device> Path applies to and\n"
    "                 what each managed sensor controls (Controls:), with a\n"
    "                 warning when a Path applies to several devices or none,\n"
    "                 for a <Sensor> or skin device path naming no participant,\n"
    "                 a participant without a record, a managed sensor with no\n"
    "                 device, a device whose zone's kernel governor overwrites\n"
    "                 its state, a shutdown temperature at or above the zone's\n"
    "                 critical trip, and a policy that controls nothing\n"
    "  --help         show this text\n"
    "\n"
    "Exit status: 0 when FILE loads (and, with --dtd, follows GRAMMAR; with\n"
    "--strict, without warnings), 1 when it does not, 2 for a usage error.\n";

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

// Collects what the check prints on standard error and puts in the JSON.
class CProblems {
 public:
  explicit CProblems(std::string file) : mFile(std::move(file)) {}

  // Every problem of a parse, each in the file where it is.
  void AddParse(const _tagSXmlParseError& error, const std::string& lead) {
    bool first = true;
    for (const XmlProblem& problem : error.problems) {
      const std::string file = problem.file.empty() ? mFile : ToUtf8(problem.file);
      const std::string reason = ToUtf8(problem.reason);
      std::fprintf(stderr, "error: %s: %s%s\n", Where(file, problem.line).c_str(),
                   first ? lead.c_str() : "", reason.c_str());
      if (!problem.srcText.empty()) {
        std::fprintf(stderr, "  %ld | %s\n", problem.line, ToUtf8(problem.srcText).c_str());
      }
      mJson.push_back({{"severity", "error"},
                       {"file", file},
                       {"line", problem.line},
                       {"element", ""},
                       {"message", reason},
                       {"source", ToUtf8(problem.srcText)}});
      first = false;
      ++mErrors;
    }
  }

  void Add(bool error, long line, const std::string& element, const std::string& message) {
    std::fprintf(stderr, "%s: %s: %s%s%s\n", error ? "error" : "warning",
                 Where(mFile, line).c_str(), element.c_str(), element.empty() ? "" : " ",
                 message.c_str());
    mJson.push_back({{"severity", error ? "error" : "warning"},
                     {"file", mFile},
                     {"line", line},
                     {"element", element},
                     {"message", message}});
    ++(error ? mErrors : mWarnings);
  }

  int Errors() const { return mErrors; }
  int Warnings() const { return mWarnings; }
  const nlohmann::ordered_json& Json() const { return mJson; }

 private:
  std::string mFile;
  nlohmann::ordered_json mJson = nlohmann::ordered_json::array();
  int mErrors = 0;
  int mWarnings = 0;
};

// Validates FILE against GRAMMAR with the platform's parser.
void CheckGrammar(const std::wstring& path, const std::string& grammar, CProblems& problems) {
  _tagSXmlParseError error;
  if (!CheckConfigGrammar(path, FromUtf8(grammar), error)) {
    problems.Add(true, 0, "", "the XML parser could not validate the file against " + grammar);
    return;
  }
  problems.AddParse(error, "does not follow the DTD " + grammar + ": ");
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
        CelsiusText(sensor.iShutdownTemp).c_str(), sensor.iThrottleStartTemp,
        CelsiusText(sensor.iThrottleStartTemp).c_str(), sensor.iUsageEnable, sensor.iAuxInterval,
        paths.c_str());
  }
}

// Discovers the participants of the chosen platform and compares the loaded
// records with them; false, with `error`, when there is nothing to compare
// with.
bool CompareWithPlatform(const PlatformOptions& options, const ConfigLoadReport& report,
                         CProblems& problems, std::string& description, PolicyFindings& findings,
                         std::string& error) {
  ChosenPlatform chosen;
  if (!InstallChosenPlatform(options, chosen, error)) {
    return false;
  }
  description = chosen.description;
  CHostSession session;
  if (!session.Start(options, error)) {
    return false;
  }
  if (session.EnumerateResult() != 0) {
    problems.Add(true, 0, "",
                 "discovery on " + description + " stopped with " +
                     std::to_string(session.EnumerateResult()) + ": " +
                     StatusText(session.EnumerateResult()) +
                     "; compared with what it found before");
  }
  findings = FindPolicyFindings(report, session.Manager(), chosen);
  for (const ConfigFinding& finding : findings.warnings) {
    problems.Add(finding.error, finding.line, finding.element, finding.message);
  }
  if (findings.nothingToControl) {
    problems.Add(false, 0, "",
                 "the policy controls nothing on " + description + ": " + findings.nothingReason);
  }
  const std::vector<LeftOut> leftOut = LeftOutOf(session.Manager(), chosen);
  if (!leftOut.empty()) {
    std::fputs("note: participants left out of discovery are not compared: ", stderr);
    PrintLeftOut(stderr, leftOut);
  }
  return true;
}

// What the command line asks for.
struct CheckOptions {
  std::string file;
  std::string grammar;
  bool json = false;
  bool strict = false;
  bool against = false;
  bool help = false;
  PlatformOptions platform;  // --against and the options that go with it
};

// --against (read as --platform), --sysfs-root or --naming, into
// `platformArgs`.
bool TakePlatformOption(COptionReader& reader, ZivoArgs& platformArgs, bool& against) {
  for (const std::string name : {"--against", "--sysfs-root", "--naming"}) {
    std::string value;
    if (reader.TakeValue(name, value, true)) {
      against = against || name == "--against";
      platformArgs.push_back(name == "--against" ? "--platform" : name);
      platformArgs.push_back(value);
      return true;
    }
  }
  return false;
}

// The platform options of --against, with their mistakes in its terms.
bool ParseAgainst(const ZivoArgs& platformArgs, CheckOptions& options, std::string& error) {
  if (!platformArgs.empty() && !options.against) {
    error = "--sysfs-root and --naming go with --against linux";
    return false;
  }
  if (ParsePlatformOptions(platformArgs, options.platform, error)) {
    return true;
  }
  for (std::size_t at = error.find("--platform"); at != std::string::npos;
       at = error.find("--platform")) {
    error.replace(at, 10, "--against");
  }
  return false;
}

// False with `error` on a usage mistake.
bool ParseCheckOptions(const ZivoArgs& args, CheckOptions& options, std::string& error) {
  ZivoArgs platformArgs;
  COptionReader reader(args);
  while (reader.More()) {
    const std::string& arg = reader.Current();
    if (reader.TakeFlag("--help") || reader.TakeFlag("-h")) {
      options.help = true;
      return true;
    }
    if (TakePlatformOption(reader, platformArgs, options.against)) {
      continue;
    }
    if (reader.TakeFlag("--json")) {
      options.json = true;
    } else if (reader.TakeFlag("--strict")) {
      options.strict = true;
    } else if (reader.TakeValue("--dtd", options.grammar, true)) {
      if (reader.Failed() || options.grammar.empty()) {
        error = "--dtd needs a GRAMMAR file";
        return false;
      }
    } else if (!arg.empty() && arg[0] == '-') {
      reader.Fail("unknown option \"" + arg + "\"");
    } else if (options.file.empty()) {
      options.file = reader.Skip();
    } else {
      reader.Fail("one FILE only (\"" + arg + "\" is extra)");
    }
  }
  if (!reader.Finish(error)) {
    return false;
  }
  if (options.file.empty()) {
    error = "FILE is missing";
    return false;
  }
  return ParseAgainst(platformArgs, options, error);
}

// What the loader found wrong in the file, and the grammar's verdict.
void FindLoadProblems(const std::wstring& path, const CheckOptions& options,
                      const ConfigLoadReport& report, CProblems& problems) {
  problems.AddParse(report.parseError, "the file does not load: ");
  for (const ConfigFinding& finding : report.findings) {
    problems.Add(finding.error, finding.line, finding.element, finding.message);
  }
  if (!report.loaded && problems.Errors() == 0) {
    problems.Add(
        true, 0, "",
        "the library did not load the file (status " + std::to_string(report.result) + ")");
  }
  if (report.parseError.code != 0) {
    std::fprintf(stderr,
                 "note: the library would then try velmarconfig.xml in its working folder "
                 "instead\n");
  }
  if (!options.grammar.empty() && report.parseError.code == 0) {
    CheckGrammar(path, options.grammar, problems);
  }
}

void PrintJson(const ConfigLoadReport& report, const CProblems& problems, bool compared,
               const std::string& platform, const PolicyFindings& comparison) {
  nlohmann::ordered_json out;
  out["result"] = report.result;
  out["loaded"] = report.loaded;
  out["platform"] = PlatformJson(report.platform);
  out["devices"] = nlohmann::ordered_json::array();
  for (const _tagSDeviceConfig& device : report.devices) {
    out["devices"].push_back(DeviceJson(device));
  }
  out["sensors"] = nlohmann::ordered_json::array();
  for (const _tagSSensorConfig& sensor : report.sensors) {
    out["sensors"].push_back(SensorJson(sensor));
  }
  if (compared) {
    out["against"] = PolicyAgainstJson(platform, comparison.against);
    const nlohmann::ordered_json findings = PolicyFindingsJson(comparison);
    for (const auto& [key, value] : findings.items()) {
      if (key != "warnings") {  // they are among the problems
        out["against"][key] = value;
      }
    }
  }
  out["problems"] = problems.Json();
  std::printf("%s\n", JsonText(out, 2).c_str());
}

}  // namespace

int RunConfigCheck(const ZivoArgs& args) {
  CheckOptions options;
  std::string usageError;
  if (!ParseCheckOptions(args, options, usageError)) {
    std::fprintf(stderr, "zivo config check: %s\n\n%s", usageError.c_str(), kUsage);
    return 2;
  }
  if (options.help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  const std::wstring path = FromUtf8(options.file);
  const ConfigLoadReport report = CheckConfigFile(path);
  CProblems problems(options.file);
  FindLoadProblems(path, options, report, problems);
  std::string platform;
  PolicyFindings comparison;
  bool compared = false;
  if (options.against && report.loaded) {
    std::string error;
    compared = CompareWithPlatform(options.platform, report, problems, platform, comparison, error);
    if (!compared) {
      problems.Add(true, 0, "", "cannot compare with the platform: " + error);
    }
  }
  if (options.json) {
    PrintJson(report, problems, compared, platform, comparison);
  } else {
    PrintText(options.file, report.result, report.loaded, report.platform, report.devices,
              report.sensors);
    if (compared) {
      PrintPolicyAgainst(platform, comparison.against);
      PrintPolicyControls(stdout, comparison);
    }
  }
  const bool passed =
      report.loaded && problems.Errors() == 0 && (!options.strict || problems.Warnings() == 0);
  return passed ? 0 : 1;
}
