#include "zivorivizo/OSConfigMgr.h"

#include <algorithm>
#include <cwctype>
#include <mutex>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "ConfigMgr/ConfigValues.h"
#include "Log/LogStatement.h"
#include "Platform/Text.h"
#include "Platform/Xml.h"
#include "zivorivizo/Diagnostics.h"
#include "zivorivizo/Platform.h"
#include "zivorivizo/StatusCodes.h"

COSConfigManager* COSConfigManager::mpConfigManager = nullptr;

using namespace std::string_view_literals;

namespace {

const wchar_t kDefaultFile[] = L"velmarconfig.xml";
// ThirdParty_DeviceCount of a skin sensor that does not give one.
constexpr int kCountNotGiven = -1;
// Devices beyond this many are not compared for paths that shadow each other
// (the comparison grows with the square of the count).
constexpr std::size_t kMaxShadowCheckedDevices = 4096;

// A parser call that failed, or a node the parse needs that is not there.
// It ends the construction of the manager (GetInstance turns it into 15).
class CDocumentFailure {};

// Never destroyed: a host may delete the manager during static destruction.
std::mutex& InstanceLock() {
  static auto* lock = new std::mutex;
  return *lock;
}

// An element as findings name it: <Device Path="PNP0C14\1_0">.
std::string Describe(const char* tag, const char* key, int read, const std::wstring& value) {
  std::string text = std::string("<") + tag;
  if (read == 0) {
    text += std::string(" ") + key + "=\"" + ToUtf8(value) + "\"";
  }
  return text + ">";
}

std::string Quoted(std::wstring_view name, const std::wstring& text) {
  return ToUtf8(name) + "=\"" + ToUtf8(text) + "\"";
}

std::string CelsiusRead(bool read, int celsius) {
  return read ? std::to_string(celsius) + " degrees Celsius" : "(no number, 0 kelvin)";
}

bool EqualsIgnoringCase(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (std::size_t k = 0; k < a.size(); ++k) {
    if (std::towlower(a[k]) != std::towlower(b[k])) {
      return false;
    }
  }
  return true;
}

}  // namespace

COSConfigManager* COSConfigManager::GetInstance(std::wstring path) {
  LOG_DEBUG("GetConfigMgr called");
  std::lock_guard<std::mutex> hold(InstanceLock());
  if (mpConfigManager == nullptr) {
    try {
      mpConfigManager = new COSConfigManager(std::move(path));
    } catch (...) {
      LOG_ERROR("CM Exception caught");
      throw ZIVO_THROW_CONFIG_FAILED;
    }
  }
  return mpConfigManager;
}

void COSConfigManager::DeleteInstance() {
  LOG_DEBUG("Deleting Config manager");
  std::lock_guard<std::mutex> hold(InstanceLock());
  delete mpConfigManager;
  mpConfigManager = nullptr;
}

COSConfigManager::COSConfigManager(std::wstring path) : mPlatform(CPlatform::Current()) {
  LOG_DEBUG("Config Manager construction called for %ls", path.c_str());
  if (LoadAndParse(std::move(path)) != 0) {
    LOG_ERROR("CM Init failed");
  }
}

COSConfigManager::COSConfigManager(ConfigLoadReport& report)
    : mPlatform(CPlatform::Current()), mReport(&report) {}

namespace {

// A configuration manager of its own for one check, apart from the
// process's singleton.
class CConfigFileCheck : public COSConfigManager {
 public:
  explicit CConfigFileCheck(ConfigLoadReport& report) : COSConfigManager(report) {}

  int Run(const std::wstring& path) {
    try {
      return LoadAndParse(path);
    } catch (...) {
      std::lock_guard<std::mutex> hold(mLock);
      mLoaded = 0;
      ClearRecordsLocked();
      return ZIVO_THROW_CONFIG_FAILED;
    }
  }
};

}  // namespace

ConfigLoadReport CheckConfigFile(const std::wstring& path) {
  ConfigLoadReport report;
  CConfigFileCheck manager(report);
  report.result = manager.Run(path);
  report.loaded = report.result == ZIVO_SUCCESS;
  manager.GetPlatformConfig(report.platform);
  manager.GetAllDeviceConfigs(report.devices);
  manager.GetAllSensorConfigs(report.sensors);
  return report;
}

COSConfigManager::~COSConfigManager() {
  LOG_DEBUG("OSConfig Manager destruction called");
  std::lock_guard<std::mutex> hold(mLock);
  ClearRecordsLocked();
  mDocument.reset();
}

int COSConfigManager::Init(std::wstring path) {
  try {
    return LoadAndParse(std::move(path));
  } catch (...) {
    // Called on a live manager, a failure that would end a construction
    // leaves it not loaded instead of escaping to the host.
    LOG_ERROR("CM Exception caught");
    std::lock_guard<std::mutex> hold(mLock);
    mLoaded = 0;
    ClearRecordsLocked();
    return ZIVO_CONFIG_LOAD_FAILED;
  }
}

int COSConfigManager::LoadAndParse(std::wstring path) {
  if (path.empty()) {
    LOG_ERROR("Passed empty ConfigFile path");
    LOG_ERROR("Taking default path");
    path = kDefaultFile;
  }
  std::lock_guard<std::mutex> hold(mLock);
  mLoaded = 0;
  ClearRecordsLocked();

  int result = LoadXMLFile(path);
  if (result != 0) {
    LOG_ERROR("Load failed for %ls", path.c_str());
    if (mReport != nullptr) {
      return result;  // the named file's own outcome
    }
    LOG_ERROR("Trying Default file");
    result = LoadXMLFile(kDefaultFile);
    if (result != 0) {
      LOG_ERROR("Load failed for %ls", kDefaultFile);
      return result;
    }
  }
  result = ParsePlatformConfig();
  if (result != 0) {
    LOG_ERROR("ReadPlatformConfig failed for %ls", path.c_str());
    return result;
  }
  result = ParseDeviceConfig();
  if (result != 0) {
    LOG_ERROR("ReadDevices failed for %ls", path.c_str());
    mDeviceList.clear();
    return result;
  }
  result = ParseSensorConfig();
  if (result != 0) {
    LOG_ERROR("ReadSensors failed for %ls", path.c_str());
    ClearRecordsLocked();
    return result;
  }
  LOG_DEBUG("Parsing of config file done successfully");
  LOG_DEBUG("Defaults will be IGNORED");
  mLoaded = 1;
  return ZIVO_SUCCESS;
}

int COSConfigManager::LoadXMLFile(std::wstring path) {
  mDocument.reset();
  std::unique_ptr<CXmlDocument> document;
  XmlStatus created = XmlStatus::Failed;
  try {
    created = mPlatform->Xml().CreateDocument(document);
  } catch (...) {
    created = XmlStatus::Failed;
  }
  if (created != XmlStatus::Ok || !document) {
    LOG_DEBUG("Load XML CreateInstance of DOMDoc Failed");
    return ZIVO_CONFIG_LOAD_FAILED;
  }
  mDocument = std::move(document);

  _tagSXmlParseError error;
  if (mDocument->Load(path, error) != XmlStatus::Ok) {
    throw CDocumentFailure();
  }
  if (error.code != 0) {
    if (mReport != nullptr) {
      mReport->parseError = error;
    }
    LOG_ERROR("XML Validation failed on %ls", path.c_str());
    LOG_ERROR("=====================");
    LOG_ERROR("Reason: ");
    LOG_ERROR("%s", ToUtf8(error.reason).c_str());
    LOG_ERROR("Source: ");
    LOG_ERROR("%s", ToUtf8(error.srcText).c_str());
    LOG_ERROR("Line: ");
    LOG_ERROR("%d", static_cast<int>(error.line));
    return ZIVO_CONFIG_LOAD_FAILED;
  }
  LOG_DEBUG("XML Validation succeeded for %ls ", path.c_str());
  return ZIVO_SUCCESS;
}

int COSConfigManager::getAttributeValue(_tagSXmlNode node, std::wstring_view name,
                                        std::wstring& value) {
  const int nameLength = static_cast<int>(name.size());
  if (!node || !mDocument) {
    LOG_ERROR("Node pointer is NULL!");
    return ZIVO_CONFIG_ATTRIBUTE_FAILED;
  }
  try {
    _tagSXmlNode attributes;
    if (mDocument->Attributes(node, attributes) != XmlStatus::Ok) {
      LOG_ERROR("Error reading the %.*ls attribute", nameLength, name.data());
      return ZIVO_CONFIG_ATTRIBUTES_UNREADABLE;
    }
    bool found = false;
    // The stand-in writes `value` only when it finds the attribute.
    if (mDocument->AttributeText(attributes, name, found, value) != XmlStatus::Ok) {
      LOG_ERROR("Error reading the %.*ls attribute", nameLength, name.data());
      return ZIVO_CONFIG_ATTRIBUTE_FAILED;
    }
    if (!found) {
      LOG_ERROR("Node %.*ls does not exist in the XML", nameLength, name.data());
      return ZIVO_CONFIG_ATTRIBUTE_FAILED;
    }
    if (CutConfigAttribute(value) && mReport != nullptr) {
      Note(false, node,
           ToUtf8(name) + " is longer than " + std::to_string(kMaxConfigAttributeLength) +
               " characters; only its first " + std::to_string(kMaxConfigAttributeLength) +
               " are used");
    }
    return ZIVO_SUCCESS;
  } catch (...) {
    LOG_ERROR("Error reading the %.*ls attribute", nameLength, name.data());
    return ZIVO_CONFIG_ATTRIBUTE_FAILED;
  }
}

bool COSConfigManager::ReadDecimalAttribute(_tagSXmlNode node, std::wstring_view name, int& value) {
  // A fresh buffer per attribute: a missing one must not take the text of the
  // attribute read before it.
  std::wstring text;
  value = 0;
  const int read = getAttributeValue(node, name, text);
  if (read != 0) {
    if (mReport != nullptr) {
      Note(false, node,
           (read == ZIVO_CONFIG_ATTRIBUTE_FAILED ? "has no " : "cannot read its ") + ToUtf8(name) +
               " attribute; 0 is used");
    }
    return false;
  }
  const DecimalReading reading = ReadConfigDecimal(text, value);
  if (mReport != nullptr) {
    switch (reading) {
      case DecimalReading::Number:
        break;
      case DecimalReading::Trailing:
        Note(false, node,
             Quoted(name, text) + " is read as " + std::to_string(value) + "; the rest is ignored");
        break;
      case DecimalReading::OutOfRange:
        Note(false, node,
             Quoted(name, text) + " is out of range; " + std::to_string(value) + " is used");
        break;
      case DecimalReading::NotANumber:
        Note(false, node, Quoted(name, text) + " is not a number; 0 is used");
        break;
    }
  }
  return reading != DecimalReading::NotANumber;
}

void COSConfigManager::Note(bool error, _tagSXmlNode node, const std::string& message) {
  if (mReport == nullptr) {
    return;
  }
  const long line = node && mDocument ? mDocument->NodeLine(node) : 0;
  mReport->findings.push_back(ConfigFinding{error, line, mWhere, message});
}

int COSConfigManager::ParsePlatformConfig() {
  std::vector<_tagSXmlNode> platforms;
  if (mDocument->ElementsByTagName(L"Platform", platforms) != XmlStatus::Ok) {
    throw CDocumentFailure();
  }
  if (platforms.empty()) {
    mWhere = "<Platform>";
    Note(true, {},
         "the file has no <Platform> element; the loader needs one (at any depth) and gives up "
         "without it");
    throw CDocumentFailure();
  }
  for (std::size_t k = 1; mReport != nullptr && k < platforms.size(); ++k) {
    mWhere = "<Platform>";
    Note(false, platforms[k],
         "only the first <Platform> (line " + std::to_string(mDocument->NodeLine(platforms[0])) +
             ") is read; this one is ignored");
  }
  std::vector<_tagSXmlNode> children;
  if (mDocument->ChildNodes(platforms.front(), children) != XmlStatus::Ok) {
    throw CDocumentFailure();
  }
  std::wstring name;
  for (const _tagSXmlNode child : children) {
    if (mDocument->NodeName(child, name) != XmlStatus::Ok) {
      LOG_ERROR("Invalid child node queried!!");
      break;
    }
    if (name == L"Shutdown"sv) {
      mWhere = "<Shutdown>";
      std::wstring option;
      if (getAttributeValue(child, L"option"sv, option) != 0) {
        Note(false, child, "has no option attribute; the machine will shut down (not hibernate)");
      } else if (option != L"hibernate" && EqualsIgnoringCase(option, L"hibernate")) {
        Note(false, child,
             Quoted(L"option", option) +
                 " is not \"hibernate\" (the comparison is exact); the machine will shut down");
      }
      mPlatformConfig.iShutdownOption = option == L"hibernate" ? 1 : 0;
      int timer = 0;
      ReadDecimalAttribute(child, L"timer"sv, timer);
      mPlatformConfig.iShutdownTimer = timer;
    } else if (name == L"Throttling"sv) {
      mWhere = "<Throttling>";
      std::wstring preference;
      const int read = getAttributeValue(child, L"preference"sv, preference);
      if (preference == L"Active") {
        mPlatformConfig.iThrottlePreference = 1;
      } else if (preference == L"Passive") {
        mPlatformConfig.iThrottlePreference = 0;
      } else {
        Note(false, child,
             (read == 0 ? Quoted(L"preference", preference) : std::string("no preference")) +
                 " is neither \"Active\" nor \"Passive\"; the preference stays passive (0)");
      }
    }
  }
  return ZIVO_SUCCESS;
}

int COSConfigManager::ParseDeviceConfig() {
  std::vector<_tagSXmlNode> devices;
  if (mDocument->ElementsByTagName(L"Device", devices) != XmlStatus::Ok) {
    throw CDocumentFailure();
  }
  std::vector<_tagSXmlNode> children;
  std::wstring name;
  for (const _tagSXmlNode device : devices) {
    _tagSDeviceConfig record;
    mWhere = "<Device>";
    const int pathRead = getAttributeValue(device, L"Path"sv, record.strPath);
    if (mReport != nullptr) {
      mWhere = Describe("Device", "Path", pathRead, record.strPath);
      if (pathRead != 0) {
        Note(false, device, "has no Path attribute; it applies to every device");
      }
    }
    const std::string deviceWhere = mWhere;
    ReadDecimalAttribute(device, L"class"sv, record.iClass);
    if (mDocument->ChildNodes(device, children) != XmlStatus::Ok) {
      throw CDocumentFailure();
    }
    bool usage = false;
    for (const _tagSXmlNode child : children) {
      if (mDocument->NodeName(child, name) != XmlStatus::Ok) {
        LOG_ERROR("Invalid child node queried!!");
        break;
      }
      if (name == L"Throttle"sv) {
        if (mReport != nullptr) {
          mWhere = deviceWhere + " <Throttle>";
        }
        ReadDecimalAttribute(child, L"limit"sv, record.iThrottleLimit);
        ReadDecimalAttribute(child, L"step"sv, record.iThrottleStep);
        if (record.iThrottleStep > record.iThrottleLimit) {
          Note(true, child,
               "step " + std::to_string(record.iThrottleStep) + " is greater than limit " +
                   std::to_string(record.iThrottleLimit) + "; the step must not exceed the limit");
          LOG_ERROR("Incorrect Throttel step/ limit for %ls", record.strPath.c_str());
          return ZIVO_CONFIG_RULE_BROKEN;
        }
        ReadDecimalAttribute(child, L"priority"sv, record.iPriority);
      } else if (name == L"DUsage"sv) {
        usage = true;
        if (mReport != nullptr) {
          mWhere = deviceWhere + " <DUsage>";
        }
        ReadDecimalAttribute(child, L"enable"sv, record.iUsageEnable);
        ReadDecimalAttribute(child, L"shutdown"sv, record.iUsageShutdown);
      }
    }
    if (!usage && mReport != nullptr) {
      mWhere = deviceWhere;
      Note(false, device,
           "has no <DUsage>; iUsageEnable and iUsageShutdown are 0: the policy does not use the "
           "device and it takes no part in the shutdown action");
    }
    LOG_DEBUG("Added Device Config for %ls", record.strPath.c_str());
    mDeviceList.push_back(std::move(record));
    if (mReport != nullptr) {
      mReport->deviceLines.push_back(mDocument->NodeLine(device));
    }
  }
  LOG_DEBUG("Added %d Devices", static_cast<int>(mDeviceList.size()));
  if (mReport != nullptr) {
    NoteDeviceShadows(devices);
  }
  return ZIVO_SUCCESS;
}

// A device record is found by the first record whose path fragment occurs in
// the device's path: a later record whose fragment contains an earlier one is
// never found for the paths it names.
void COSConfigManager::NoteDeviceShadows(const std::vector<_tagSXmlNode>& devices) {
  std::size_t index = 0;
  for (auto later = mDeviceList.begin();
       later != mDeviceList.end() && index < kMaxShadowCheckedDevices; ++later, ++index) {
    for (auto earlier = mDeviceList.begin(); earlier != later; ++earlier) {
      if (!DeviceFragmentMatches(later->strPath, earlier->strPath)) {
        continue;
      }
      const std::size_t earlierIndex =
          static_cast<std::size_t>(std::distance(mDeviceList.begin(), earlier));
      mWhere = Describe("Device", "Path", 0, later->strPath);
      Note(false, devices[index],
           "is never used for the paths it names: the earlier <Device Path=\"" +
               ToUtf8(earlier->strPath) + "\"> (line " +
               std::to_string(mDocument->NodeLine(devices[earlierIndex])) +
               ") occurs in them and matches first");
      break;
    }
  }
}

int COSConfigManager::ParseSensorConfig() {
  std::vector<_tagSXmlNode> sensors;
  if (mDocument->ElementsByTagName(L"Sensor", sensors) != XmlStatus::Ok) {
    throw CDocumentFailure();
  }
  std::unordered_set<std::wstring> names;
  std::vector<_tagSXmlNode> children;
  std::wstring name;
  for (const _tagSXmlNode sensor : sensors) {
    _tagSSensorConfig record;
    mWhere = "<Sensor>";
    const int nameRead = getAttributeValue(sensor, L"Path"sv, record.strName);
    if (mReport != nullptr) {
      mWhere = Describe("Sensor", "Path", nameRead, record.strName);
      if (nameRead != 0) {
        Note(false, sensor, "has no Path attribute; it is stored under an empty name");
      }
      if (!names.insert(record.strName).second) {
        Note(false, sensor,
             "has the name of an earlier sensor; only the earlier one is ever found");
      }
    }
    const int result = ParseSensor(sensor, record, children, name);
    if (result != ZIVO_SUCCESS) {
      return result;
    }
  }
  LOG_DEBUG("Added %d Sensors", static_cast<int>(mSensorList.size()));
  return ZIVO_SUCCESS;
}

int COSConfigManager::ParseSensor(_tagSXmlNode sensor, _tagSSensorConfig& record,
                                  std::vector<_tagSXmlNode>& children, std::wstring& name) {
  const std::string sensorWhere = mWhere;
  ReadDecimalAttribute(sensor, L"class"sv, record.iClass);
  bool countGiven = false;
  std::wstring count;
  const int announced = ReadSkinDeviceCount(sensor, record.iClass, countGiven, count);

  int added = 0;
  int pathElements = 0;
  bool temperature = false;
  if (mDocument->ChildNodes(sensor, children) != XmlStatus::Ok) {
    children.clear();  // decided by class and counts alone
  }
  for (const _tagSXmlNode child : children) {
    if (mDocument->NodeName(child, name) != XmlStatus::Ok) {
      LOG_ERROR("Invalid child node queried!!");
      break;
    }
    if (name == L"Temperature"sv) {
      temperature = true;
      if (mReport != nullptr) {
        mWhere = sensorWhere + " <Temperature>";
      }
      if (!ReadSensorTemperature(child, record)) {
        return ZIVO_CONFIG_RULE_BROKEN;
      }
    } else if (name == L"SUsage"sv) {
      if (mReport != nullptr) {
        mWhere = sensorWhere + " <SUsage>";
      }
      ReadDecimalAttribute(child, L"enable"sv, record.iUsageEnable);
      int interval = 0;
      ReadDecimalAttribute(child, L"aux_interval"sv, interval);
      record.iAuxInterval = TenTimes(interval);
    } else if (name == L"DevicePath"sv) {
      if (record.iClass != kSkinSensorClass) {
        LOG_DEBUG(
            "Third Party devices are not to be considered for this type of sensor. Hence "
            "ignoring");
        continue;
      }
      ++pathElements;
      if (mReport != nullptr) {
        mWhere = sensorWhere + " <DevicePath>";
      }
      ReadSkinDevicePaths(child, announced, record, added);
    }
  }
  mWhere = sensorWhere;
  if (!temperature) {
    Note(false, sensor,
         "has no <Temperature>; its shutdown and throttle-start temperatures are 0 kelvin");
  }
  if (record.iClass == kSkinSensorClass && added != announced) {
    NoteSkinCountMismatch(sensor, countGiven, count, announced, added, pathElements);
    LOG_ERROR(
        "Third party devices configured does not match the no of the third party devices "
        "added");
    return ZIVO_CONFIG_RULE_BROKEN;
  }
  LOG_DEBUG("Added Sensor Config for %ls", record.strName.c_str());
  mSensorList.push_back(std::move(record));
  if (mReport != nullptr) {
    mReport->sensorLines.push_back(mDocument->NodeLine(sensor));
  }
  return ZIVO_SUCCESS;
}

int COSConfigManager::ReadSkinDeviceCount(_tagSXmlNode sensor, int sensorClass, bool& countGiven,
                                          std::wstring& count) {
  if (sensorClass != kSkinSensorClass) {
    LOG_DEBUG("Third Party Device Count does not matter for this sensor. Hence ignoring...");
    return 0;
  }
  if (getAttributeValue(sensor, L"ThirdParty_DeviceCount"sv, count) ==
      ZIVO_CONFIG_ATTRIBUTE_FAILED) {
    LOG_DEBUG("Third Party Device Count not found");
    return kCountNotGiven;
  }
  countGiven = true;
  int announced = 0;
  if (ReadConfigDecimal(count, announced) == DecimalReading::NotANumber) {
    Note(false, sensor,
         Quoted(L"ThirdParty_DeviceCount", count) +
             " is not a number; 0 is used (the sensor governs no further devices)");
  }
  LOG_DEBUG("Third Party Device Count is %d", announced);
  return announced;
}

bool COSConfigManager::ReadSensorTemperature(_tagSXmlNode element, _tagSSensorConfig& record) {
  int shutdown = 0;
  const bool shutdownRead = ReadDecimalAttribute(element, L"shutdown"sv, shutdown);
  record.iShutdownTemp = shutdownRead ? CelsiusToKelvinTenths(shutdown) : 0;
  int start = 0;
  const bool startRead = ReadDecimalAttribute(element, L"ThrottleStart"sv, start);
  record.iThrottleStartTemp = startRead ? CelsiusToKelvinTenths(start) : 0;
  if (record.iThrottleStartTemp < record.iShutdownTemp) {
    return true;
  }
  Note(true, element,
       "ThrottleStart " + CelsiusRead(startRead, start) + " is not below shutdown " +
           CelsiusRead(shutdownRead, shutdown) +
           "; throttling must start below the shutdown temperature");
  LOG_ERROR("Incorrect Throttle Start/Shutdown Temp %ls", record.strName.c_str());
  return false;
}

void COSConfigManager::ReadSkinDevicePaths(_tagSXmlNode element, int announced,
                                           _tagSSensorConfig& record, int& added) {
  const int limit = announced > 0 ? announced : 1;
  try {
    record.vecDevicePaths.reserve(record.vecDevicePaths.size() +
                                  static_cast<std::size_t>(std::min(limit, 64)));
    for (int k = 0; k < limit; ++k) {
      std::wstring path;
      const int read =
          getAttributeValue(element, NumberedName(L"Device", static_cast<uint32_t>(k)), path);
      if (read == ZIVO_CONFIG_ATTRIBUTE_FAILED) {
        LOG_DEBUG("No third party device coinfigured");
        if (added == 0 && (announced == 0 || announced == kCountNotGiven)) {
          added = announced;
        }
        return;
      }
      if (read != 0) {
        // No attribute of this element can be read: what was read so far
        // stays, and the counts decide.
        return;
      }
      record.vecDevicePaths.push_back(std::move(path));
      ++added;
      LOG_DEBUG("Third Party devices added = %d", added);
    }
  } catch (...) {
    LOG_ERROR("Exception caught while reading the Device Path from Config file for this sensor");
  }
}

void COSConfigManager::NoteSkinCountMismatch(_tagSXmlNode sensor, bool countGiven,
                                             const std::wstring& count, int announced, int added,
                                             int pathElements) {
  if (mReport == nullptr) {
    return;
  }
  if (!countGiven) {
    Note(true, sensor,
         pathElements == 0
             ? "a skin sensor (class 1) needs ThirdParty_DeviceCount; give 0 when it governs no "
               "further devices"
             : "has a <DevicePath> with Device0 but no ThirdParty_DeviceCount; give the number of "
               "device paths");
  } else if (announced < 0) {
    Note(true, sensor, Quoted(L"ThirdParty_DeviceCount", count) + " is negative");
  } else if (pathElements == 0) {
    Note(true, sensor,
         "ThirdParty_DeviceCount is " + std::to_string(announced) +
             " but the sensor has no <DevicePath> element");
  } else {
    Note(true, sensor,
         "ThirdParty_DeviceCount is " + std::to_string(announced) + " but " +
             std::to_string(added) + " device path" + (added == 1 ? " was" : "s were") +
             " found; one <DevicePath> must hold Device0" +
             (announced > 1 ? " to Device" + std::to_string(announced - 1) : "") +
             (announced == 0 ? " only when the count is above 0" : ", without gaps"));
  }
}
