#include "zivorivizo/OSConfigMgr.h"

#include <climits>
#include <cstdint>
#include <mutex>
#include <string_view>
#include <vector>

#include "Log/LogStatement.h"
#include "Platform/Text.h"
#include "Platform/Xml.h"
#include "zivorivizo/Platform.h"
#include "zivorivizo/StatusCodes.h"

COSConfigManager* COSConfigManager::mpConfigManager = nullptr;

namespace {

const wchar_t kDefaultFile[] = L"velmarconfig.xml";
constexpr std::size_t kMaxAttributeLength = 254;
constexpr int kSkinSensorClass = 1;
constexpr int kKelvinTenthsAtZeroCelsius = 2732;
// ThirdParty_DeviceCount of a skin sensor that does not give one.
constexpr int kCountNotGiven = -1;

// A parser call that failed, or a node the parse needs that is not there.
// It ends the construction of the manager (GetInstance turns it into 15).
class CDocumentFailure {};

// Never destroyed: a host may delete the manager during static destruction.
std::mutex& InstanceLock() {
  static auto* lock = new std::mutex;
  return *lock;
}

bool IsStreamBlank(wchar_t c) {
  return c == L' ' || c == L'\t' || c == L'\n' || c == L'\v' || c == L'\f' || c == L'\r';
}

// Reads a decimal integer the way a wide input stream extracts an int:
// leading blanks skipped, an optional sign, digits up to the first other
// character. No digits: false and 0. Out of range: the nearest int.
bool ParseDecimal(std::wstring_view text, int& value) {
  value = 0;
  std::size_t at = 0;
  while (at < text.size() && IsStreamBlank(text[at])) {
    ++at;
  }
  bool negative = false;
  if (at < text.size() && (text[at] == L'+' || text[at] == L'-')) {
    negative = text[at] == L'-';
    ++at;
  }
  const std::size_t firstDigit = at;
  int64_t magnitude = 0;
  constexpr int64_t kCeiling = int64_t{INT_MAX} + 2;  // past any int, either sign
  while (at < text.size() && text[at] >= L'0' && text[at] <= L'9') {
    if (magnitude < kCeiling) {
      magnitude = magnitude * 10 + (text[at] - L'0');
    }
    ++at;
  }
  if (at == firstDigit) {
    return false;
  }
  const int64_t signedValue = negative ? -magnitude : magnitude;
  if (signedValue > INT_MAX) {
    value = INT_MAX;
  } else if (signedValue < INT_MIN) {
    value = INT_MIN;
  } else {
    value = static_cast<int>(signedValue);
  }
  return true;
}

int CelsiusToKelvinTenths(int celsius) {
  // Computed wide and clamped: a file may hold any number.
  const int64_t tenths = int64_t{celsius} * 10 + kKelvinTenthsAtZeroCelsius;
  if (tenths > INT_MAX) {
    return INT_MAX;
  }
  if (tenths < INT_MIN) {
    return INT_MIN;
  }
  return static_cast<int>(tenths);
}

int TenTimes(int value) {
  const int64_t result = int64_t{value} * 10;
  if (result > INT_MAX) {
    return INT_MAX;
  }
  if (result < INT_MIN) {
    return INT_MIN;
  }
  return static_cast<int>(result);
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
    if (value.size() > kMaxAttributeLength) {
      value.resize(kMaxAttributeLength);
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
  if (getAttributeValue(node, name, text) != 0) {
    return false;
  }
  return ParseDecimal(text, value);
}

int COSConfigManager::ParsePlatformConfig() {
  std::vector<_tagSXmlNode> platforms;
  if (mDocument->ElementsByTagName(L"Platform", platforms) != XmlStatus::Ok || platforms.empty()) {
    throw CDocumentFailure();
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
    if (name == L"Shutdown") {
      std::wstring option;
      getAttributeValue(child, L"option", option);
      mPlatformConfig.iShutdownOption = option == L"hibernate" ? 1 : 0;
      int timer = 0;
      ReadDecimalAttribute(child, L"timer", timer);
      mPlatformConfig.iShutdownTimer = timer;
    } else if (name == L"Throttling") {
      std::wstring preference;
      getAttributeValue(child, L"preference", preference);
      if (preference == L"Active") {
        mPlatformConfig.iThrottlePreference = 1;
      } else if (preference == L"Passive") {
        mPlatformConfig.iThrottlePreference = 0;
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
    getAttributeValue(device, L"Path", record.strPath);
    ReadDecimalAttribute(device, L"class", record.iClass);
    if (mDocument->ChildNodes(device, children) != XmlStatus::Ok) {
      throw CDocumentFailure();
    }
    for (const _tagSXmlNode child : children) {
      if (mDocument->NodeName(child, name) != XmlStatus::Ok) {
        LOG_ERROR("Invalid child node queried!!");
        break;
      }
      if (name == L"Throttle") {
        ReadDecimalAttribute(child, L"limit", record.iThrottleLimit);
        ReadDecimalAttribute(child, L"step", record.iThrottleStep);
        if (record.iThrottleStep > record.iThrottleLimit) {
          LOG_ERROR("Incorrect Throttel step/ limit for %ls", record.strPath.c_str());
          return ZIVO_CONFIG_RULE_BROKEN;
        }
        ReadDecimalAttribute(child, L"priority", record.iPriority);
      } else if (name == L"DUsage") {
        ReadDecimalAttribute(child, L"enable", record.iUsageEnable);
        ReadDecimalAttribute(child, L"shutdown", record.iUsageShutdown);
      }
    }
    LOG_DEBUG("Added Device Config for %ls", record.strPath.c_str());
    mDeviceList.push_back(std::move(record));
  }
  LOG_DEBUG("Added %d Devices", static_cast<int>(mDeviceList.size()));
  return ZIVO_SUCCESS;
}

int COSConfigManager::ParseSensorConfig() {
  std::vector<_tagSXmlNode> sensors;
  if (mDocument->ElementsByTagName(L"Sensor", sensors) != XmlStatus::Ok) {
    throw CDocumentFailure();
  }
  std::vector<_tagSXmlNode> children;
  std::wstring name;
  for (const _tagSXmlNode sensor : sensors) {
    _tagSSensorConfig record;
    getAttributeValue(sensor, L"Path", record.strName);
    ReadDecimalAttribute(sensor, L"class", record.iClass);

    int announced = 0;
    if (record.iClass == kSkinSensorClass) {
      std::wstring count;
      if (getAttributeValue(sensor, L"ThirdParty_DeviceCount", count) ==
          ZIVO_CONFIG_ATTRIBUTE_FAILED) {
        LOG_DEBUG("Third Party Device Count not found");
        announced = kCountNotGiven;
      } else {
        ParseDecimal(count, announced);
        LOG_DEBUG("Third Party Device Count is %d", announced);
      }
    } else {
      LOG_DEBUG("Third Party Device Count does not matter for this sensor. Hence ignoring...");
    }

    int added = 0;
    if (mDocument->ChildNodes(sensor, children) != XmlStatus::Ok) {
      children.clear();  // decided by class and counts alone
    }
    for (const _tagSXmlNode child : children) {
      if (mDocument->NodeName(child, name) != XmlStatus::Ok) {
        LOG_ERROR("Invalid child node queried!!");
        break;
      }
      if (name == L"Temperature") {
        int celsius = 0;
        record.iShutdownTemp =
            ReadDecimalAttribute(child, L"shutdown", celsius) ? CelsiusToKelvinTenths(celsius) : 0;
        record.iThrottleStartTemp = ReadDecimalAttribute(child, L"ThrottleStart", celsius)
                                        ? CelsiusToKelvinTenths(celsius)
                                        : 0;
        if (record.iThrottleStartTemp >= record.iShutdownTemp) {
          LOG_ERROR("Incorrect Throttle Start/Shutdown Temp %ls", record.strName.c_str());
          return ZIVO_CONFIG_RULE_BROKEN;
        }
      } else if (name == L"SUsage") {
        ReadDecimalAttribute(child, L"enable", record.iUsageEnable);
        int interval = 0;
        ReadDecimalAttribute(child, L"aux_interval", interval);
        record.iAuxInterval = TenTimes(interval);
      } else if (name == L"DevicePath") {
        if (record.iClass != kSkinSensorClass) {
          LOG_DEBUG(
              "Third Party devices are not to be considered for this type of sensor. Hence "
              "ignoring");
          continue;
        }
        const int limit = announced > 0 ? announced : 1;
        try {
          for (int k = 0; k < limit; ++k) {
            std::wstring path;
            const int read = getAttributeValue(child, L"Device" + std::to_wstring(k), path);
            if (read == ZIVO_CONFIG_ATTRIBUTE_FAILED) {
              LOG_DEBUG("No third party device coinfigured");
              if (added == 0 && (announced == 0 || announced == kCountNotGiven)) {
                added = announced;
              }
              break;
            }
            if (read != 0) {
              // No attribute of this element can be read: what was read so
              // far stays, and the counts decide.
              break;
            }
            record.vecDevicePaths.push_back(std::move(path));
            ++added;
            LOG_DEBUG("Third Party devices added = %d", added);
          }
        } catch (...) {
          LOG_ERROR(
              "Exception caught while reading the Device Path from Config file for this sensor");
        }
      }
    }
    if (record.iClass == kSkinSensorClass && added != announced) {
      LOG_ERROR(
          "Third party devices configured does not match the no of the third party devices "
          "added");
      return ZIVO_CONFIG_RULE_BROKEN;
    }
    LOG_DEBUG("Added Sensor Config for %ls", record.strName.c_str());
    mSensorList.push_back(std::move(record));
  }
  LOG_DEBUG("Added %d Sensors", static_cast<int>(mSensorList.size()));
  return ZIVO_SUCCESS;
}
