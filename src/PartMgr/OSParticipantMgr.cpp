#include "zivorivizo/OSParticipantMgr.h"

#include <algorithm>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "Log/LogStatement.h"
#include "PartMgr/DeviceNames.h"
#include "PartMgr/DiscoveryLeftOut.h"
#include "PartMgr/LinkTable.h"
#include "PartMgr/NonWmiDevice.h"
#include "PartMgr/NonWmiSensor.h"
#include "PartMgr/SpareStorage.h"
#include "PartMgr/WmiDevice.h"
#include "PartMgr/WmiMethodCall.h"
#include "PartMgr/WmiSensor.h"
#include "Platform/Com.h"
#include "Platform/DriverProtocol.h"
#include "Platform/Registry.h"
#include "Platform/Text.h"
#include "Platform/Wmi.h"
#include "zivorivizo/OSConfigMgr.h"
#include "zivorivizo/Platform.h"
#include "zivorivizo/StatusCodes.h"

COSParticipantManager* COSParticipantManager::mParticipantManager = nullptr;

namespace {

const wchar_t kConfigFile[] = L"velmarconfig.xml";
const wchar_t kNamespace[] = L"root\\WMI";
const wchar_t kSystemParams[] = L"DTMSystemParams";
const wchar_t kDeviceInfo[] = L"DtmDeviceParticipantInformation";
const wchar_t kSensorInfo[] = L"DtmSensorParticipantInformation";
// A registry path value: 63 characters and the terminator.
constexpr std::size_t kPathBytes = CDeviceNames::kNameBytes;
constexpr int32_t kEnumFlags =
    WBEM_FLAG_RETURN_IMMEDIATELY | WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_SHALLOW;

std::shared_ptr<CWbemServices>& ConnectionSlot() {
  static std::shared_ptr<CWbemServices> connection;
  return connection;
}

const wchar_t* ClassOf(COSParticipantManager::WMI_ENUM_ACCESS access) {
  switch (access) {
    case COSParticipantManager::WMI_ENUM_DEVICE:
      return kDeviceInfo;
    case COSParticipantManager::WMI_ENUM_SENSOR:
      return kSensorInfo;
  }
  return L"";
}

// Cuts `value` at its first null character, as a C string buffer holds it.
void CutAtNull(std::wstring& value) {
  const std::size_t end = value.find(L'\0');
  if (end != std::wstring::npos) {
    value.resize(end);
  }
}

// The forward-only enumeration of the class that `access` selects; null when
// there is no connection or the enumeration cannot be created.
std::shared_ptr<CEnumWbemClassObject> OpenInstances(
    const std::shared_ptr<CWbemServices>& connection,
    COSParticipantManager::WMI_ENUM_ACCESS access) {
  std::shared_ptr<CEnumWbemClassObject> instances;
  if (!connection ||
      HrFailed(connection->CreateInstanceEnum(ClassOf(access), kEnumFlags, instances))) {
    return nullptr;
  }
  return instances;
}

// Hands the instances to `visit` one at a time until it returns false. The
// end of the instances, or a failing Next, ends the walk; a failing Next is
// logged whether or not it handed over an object, and counted in `leftOut`
// when given.
void WalkInstances(CEnumWbemClassObject& instances,
                   const std::function<bool(const std::shared_ptr<CWbemClassObject>&)>& visit,
                   DiscoveryLeftOut* leftOut = nullptr) {
  for (;;) {
    std::shared_ptr<CWbemClassObject> instance;
    uint32_t returned = 0;
    const HRESULT hr = instances.Next(WBEM_INFINITE, {&instance, 1}, returned);
    if (HrFailed(hr) && (returned == 0 || !instance)) {
      // Not the end of the instances: the rest of them is lost.
      LOG_ERROR("EnumWbemClassObject::Next Failed");
      if (leftOut != nullptr) {
        leftOut->Add(LeftOutReason::FirmwareCut);
      }
      return;
    }
    if (returned == 0 || !instance) {
      LOG_DEBUG("EnumerateWmiNameSpace. Reached end of instance");
      return;
    }
    if (hr != WBEM_S_NO_ERROR) {
      LOG_ERROR("EnumWbemClassObject::Next Failed");
      if (leftOut != nullptr) {
        leftOut->Add(LeftOutReason::FirmwareCut);
      }
      return;
    }
    if (!visit(instance)) {
      return;
    }
  }
}

// One kind of driver-backed participant in the parameters key: its count
// value, the texts logged about that count, and the prefix of its path values
// ("Sensor0", "Sensor1", ...).
struct ParameterEntries {
  const wchar_t* count;
  const char* countName;
  const char* countFailed;
  const char* countLine;
  const wchar_t* prefix;
};

constexpr ParameterEntries kSensorEntries{L"SensorCount", "SensorCount",
                                          "Query Registry failed for SensorCount",
                                          "SensorCount: %d", L"Sensor"};
constexpr ParameterEntries kDeviceEntries{L"DeviceCount", "DeviceCount",
                                          "Query Registry failed for DeviceCount",
                                          "DeviceCount: %d", L"Device"};

// The parameters key as the machine has it now: participants that came or
// went since the last look. Null, with its Error line, when it cannot be
// opened.
std::unique_ptr<CRegistryKey> OpenParameters(CPlatform& platform) {
  long status = REG_STATUS_SUCCESS;
  platform.Registry().Refresh();
  std::unique_ptr<CRegistryKey> key =
      platform.Registry().Open(DRIVER_PARAMETERS_KEY, REG_ACCESS_READ, status);
  if (!key) {
    LOG_ERROR("Failed to read the VOVUZER Key");
  }
  return key;
}

// A count of the parameters key cut to what discovery reads; a corrupt value
// would otherwise have it query the key billions of times.
int32_t CappedCount(uint32_t count, const char* name, DiscoveryLeftOut* leftOut) {
  const auto value = static_cast<int32_t>(count);
  if (value > COSParticipantManager::MAX_DRIVER_PARTICIPANTS) {
    LOG_ERROR("%s %d is more than %d: only the first %d entries are read", name, value,
              COSParticipantManager::MAX_DRIVER_PARTICIPANTS,
              COSParticipantManager::MAX_DRIVER_PARTICIPANTS);
    if (leftOut != nullptr) {
      leftOut->Add(LeftOutReason::CountPastLimit,
                   value - COSParticipantManager::MAX_DRIVER_PARTICIPANTS);
    }
    return COSParticipantManager::MAX_DRIVER_PARTICIPANTS;
  }
  return value;
}

// Reads the count of `entries` (logging it when `logCount`) and hands the path
// of each entry below it and its number, in index order, to `visit` until that
// returns true. The path is the visitor's to keep (it may move it away).
// An entry that cannot be read is logged and passed over: the text of an
// earlier entry would stand for it, and an empty text would match an empty
// name. Entries left out are counted in `leftOut` when given. The device
// entries are read through `names` when given, which holds those the sensors
// already read. 0, or 113 with its Error line when the count cannot be read.
template <typename Visit>
int WalkEntries(CRegistryKey& key, const ParameterEntries& entries, bool logCount, Visit visit,
                DiscoveryLeftOut* leftOut = nullptr, CDeviceNames* names = nullptr) {
  uint32_t count = 0;
  if (key.QueryDword(entries.count, count) != REG_STATUS_SUCCESS) {
    LOG_ERROR("%s", entries.countFailed);
    return ZIVO_COUNT_READ_FAILED;
  }
  if (logCount) {
    LOG_DEBUG(entries.countLine, static_cast<int32_t>(count));
  }
  const int32_t entryCount = CappedCount(count, entries.countName, leftOut);
  std::wstring valueName;
  for (int32_t i = 0; i < entryCount; ++i) {
    WriteNumberedName(entries.prefix, static_cast<uint32_t>(i), valueName);
    std::wstring read;
    const long status = names != nullptr
                            ? names->ReadEntry(static_cast<uint32_t>(i), valueName, read)
                            : key.QueryString(valueName, kPathBytes, read);
    if (status != REG_STATUS_SUCCESS) {
      LOG_ERROR("Query Registry failed for %ls", valueName.c_str());
      if (leftOut != nullptr) {
        leftOut->Add(status == REG_STATUS_MORE_DATA ? LeftOutReason::PathTooLong
                                                    : LeftOutReason::EntryUnreadable);
      }
      continue;
    }
    CutAtNull(read);
    if (visit(read, static_cast<uint32_t>(i))) {
      break;
    }
  }
  return ZIVO_SUCCESS;
}

// Creates, through `add`, the participant of the first entry whose path is
// `name`. 0 when there is one, otherwise `notFound`; 112 or 113 when the key
// or its count cannot be read.
template <typename Add>
int AddFromParameters(CPlatform& platform, const ParameterEntries& entries, bool logCount,
                      const std::wstring& name, int notFound, Add add) {
  std::unique_ptr<CRegistryKey> key = OpenParameters(platform);
  if (!key) {
    return ZIVO_KEY_OPEN_FAILED;
  }
  bool added = false;
  const int result = WalkEntries(*key, entries, logCount, [&](std::wstring& path, uint32_t) {
    if (path != name) {
      return false;
    }
    add(path);
    added = true;
    return true;
  });
  if (result != ZIVO_SUCCESS) {
    return result;
  }
  return added ? ZIVO_SUCCESS : notFound;
}

// A firmware sensor built from its instance; null, with an Error line, when
// the instance's description cannot be read (the constructor throws its
// narrow-string exception for an array of other than one dimension).
std::unique_ptr<CWmiSensor> MakeWmiSensor(int historyLength,
                                          const std::shared_ptr<CWbemClassObject>& instance) {
  try {
    return std::make_unique<CWmiSensor>(historyLength, instance);
  } catch (const char* reason) {
    CVariant name;
    std::wstring text;
    if (HrSucceeded(instance->Get(L"InstanceName", name))) {
      VariantToWString(name, text);
    }
    LOG_ERROR("Firmware sensor %ls left out: %s", text.c_str(), reason);
    return nullptr;
  }
}

}  // namespace

std::shared_ptr<CWbemServices> COSParticipantManager::Connection() {
  return ConnectionSlot();
}

COSParticipantManager* COSParticipantManager::GetInstance() {
  return GetInstance(3);
}

COSParticipantManager* COSParticipantManager::GetInstance(int historyLength) {
  if (mParticipantManager == nullptr) {
    mParticipantManager = new COSParticipantManager(historyLength);
  }
  return mParticipantManager;
}

void COSParticipantManager::DeleteInstance() {
  LOG_DEBUG("Deleting Participant manager");
  delete mParticipantManager;
  mParticipantManager = nullptr;
}

COSParticipantManager::COSParticipantManager(int historyLength) : mPlatform(CPlatform::Current()) {
  LOG_DEBUG("Participant Manger Construction called");
  int status = 0;
  if (COSParticipantManager::Init(historyLength, status) != ZIVO_SUCCESS) {
    LOG_ERROR("PM Init failed, throwing...");
    throw ZIVO_THROW_PM_INIT_FAILED;
  }
  if (status == 0) {
    LOG_DEBUG("Velmar is Disabled in BIOS");
    throw ZIVO_THROW_PLATFORM_DISABLED;
  }
  LOG_DEBUG("Velmar is enabled, Status: %d", status);
}

COSParticipantManager::~COSParticipantManager() {
  LOG_DEBUG("COSParticipantMgr Destructor called");
  for (CDevice* device : mDeviceList) {
    device->Stop();
    delete device;
  }
  for (CSensor* sensor : mSensorList) {
    sensor->Stop();
    delete sensor;
  }
  mDeviceList.clear();
  mSensorList.clear();
  ForgetLeftOut(*this);
  ConnectionSlot().reset();
  mPlatform->Com().CoUninitialize();
}

int COSParticipantManager::Init(int historyLength, int& status) {
  mHistoryLength = historyLength;
  status = 0;
  LOG_DEBUG("CWmiParticipantManager init Called");
  CCom& com = mPlatform->Com();

  if (HrFailed(com.CoInitializeEx(COINIT_MULTITHREADED))) {
    LOG_ERROR("WmiParticipantManager Init: CoInitialize failed");
    return ZIVO_PM_INIT_FAILED;
  }
  // Security is set once per process: a manager created again (after
  // DeleteInstance, or after a construction that threw) finds it set.
  const HRESULT security = com.CoInitializeSecurity(_tagSComSecurity());
  if (HrFailed(security) && security != RPC_E_TOO_LATE) {
    LOG_ERROR("WmiParticipantManager Init: CoInitializeSecurity failed");
    return ZIVO_PM_INIT_FAILED;
  }
  std::shared_ptr<CWbemLocator> locator;
  if (HrFailed(com.CreateWbemLocator(locator)) || !locator) {
    LOG_ERROR("WmiParticipantManager Init: CoCreateInstance failed");
    return ZIVO_PM_INIT_FAILED;
  }
  std::shared_ptr<CWbemServices> connection;
  if (HrFailed(locator->ConnectServer(kNamespace, connection)) || !connection) {
    LOG_ERROR("WmiParticipantManager Init: IWbemLocator::ConnectServer failed");
    return ZIVO_PM_INIT_FAILED;
  }
  ConnectionSlot() = connection;

  std::shared_ptr<CClientSecurity> clientSecurity;
  if (HrSucceeded(com.QueryClientSecurity(connection, clientSecurity)) && clientSecurity) {
    if (HrFailed(clientSecurity->SetBlanket(_tagSSecurityBlanket()))) {
      LOG_ERROR("WmiParticipantManager Init: IClientSecurity::SetBlanket failed");
      return ZIVO_PM_INIT_FAILED;
    }
  }

  std::shared_ptr<CEnumWbemClassObject> instances;
  std::shared_ptr<CWbemClassObject> params;
  uint32_t returned = 0;
  HRESULT hr = connection->CreateInstanceEnum(kSystemParams, kEnumFlags, instances);
  if (HrSucceeded(hr)) {
    hr = instances->Next(WBEM_INFINITE, {&params, 1}, returned);
  }
  if (hr != WBEM_S_NO_ERROR || returned == 0 || !params) {
    LOG_ERROR("Failed to get Velmar status instance");
    return ZIVO_WMI_CREATE_FAILED;
  }
  CVariant value;
  int32_t enabled = 0;
  if (HrFailed(params->Get(L"velmarstatus", value)) || HrFailed(VariantToInt32(value, enabled))) {
    LOG_ERROR("Failed to get status value");
    return ZIVO_WMI_GET_FAILED;
  }
  status = static_cast<int16_t>(enabled);
  return ZIVO_SUCCESS;
}

void COSParticipantManager::DestroyParticipants(SpareStorage* spare) {
  if (spare != nullptr) {
    spare->deviceLinks.reserve(mDeviceList.size());
    spare->sensorLinks.reserve(mSensorList.size());
    spare->names.reserve(mSensorList.size());
  }
  for (CDevice* device : mDeviceList) {
    device->mLinkedSensors.clear();
    if (spare != nullptr) {
      Spare(device->mLinkedSensors, spare->deviceLinks);
    }
  }
  for (CSensor* sensor : mSensorList) {
    sensor->mLinkedDevices.clear();
    if (spare != nullptr) {
      Spare(sensor->mLinkedDevices, spare->sensorLinks);
      Spare(sensor->mSensor.Devices, spare->names);
    }
  }
  for (CDevice* device : mDeviceList) {
    delete device;
  }
  for (CSensor* sensor : mSensorList) {
    delete sensor;
  }
  mDeviceList.clear();
  mSensorList.clear();
}

int COSParticipantManager::Enumerate() {
  LOG_DEBUG("CWmiParticipantManager Enumerate called");
  if (!mDeviceList.empty()) {
    LOG_DEBUG("CWmiParticipantManager Enumerate: Device list Not empty, Re-enumerate!");
  }
  if (!mSensorList.empty()) {
    LOG_DEBUG("CWmiParticipantManager Enumerate: Sensor list Not empty, Re-enumerate!");
  }
  // Sensors name their devices by number: each number is read once, and
  // looked up once when the links are made. The table's room is taken while
  // the previous participants still hold theirs.
  CDeviceNames names(nullptr);
  names.Reserve(mSensorList.size(), mDeviceList.size());
  // Nothing else refers to the participants of the previous enumeration, so
  // they are destroyed rather than dropped (they are not stopped). Their
  // lists of device names and of links make room for the new ones.
  SpareStorage spare;
  DestroyParticipants(&spare);
  LeftOutRecordOf(*this) = DiscoveryLeftOut();
  names.Spare(std::move(spare.names));

  int result = EnumerateNonWmiDrivers(names);
  if (result != ZIVO_SUCCESS) {
    LOG_ERROR("EnumerateNonWmiDrivers failed. Error: %d", result);
    return result;
  }
  result = EnumerateWmiNameSpace(WMI_ENUM_DEVICE);
  if (result != ZIVO_SUCCESS) {
    LOG_ERROR("EnumerateWmiNameSpace failed for Device Info. Error: %d", result);
    return result;
  }
  result = EnumerateWmiNameSpace(WMI_ENUM_SENSOR);
  if (result != ZIVO_SUCCESS) {
    LOG_ERROR("EnumerateWmiNameSpace failed for Sensor Info. Error: %d", result);
    return result;
  }
  result = MakeLinks(spare, &names);
  if (result != ZIVO_SUCCESS) {
    LOG_ERROR("UpdateSensorDeviceLinks failed. Error: %d", result);
    return result;
  }
  LOG_DEBUG("CWmiParticipantManager Enumerate Succedded");
  return ZIVO_SUCCESS;
}

int COSParticipantManager::EnumerateWmiNameSpace(WMI_ENUM_ACCESS access) {
  LOG_DEBUG("EnumerateWmiNameSpace called");
  std::shared_ptr<CEnumWbemClassObject> instances = OpenInstances(Connection(), access);
  if (!instances) {
    LOG_ERROR("CreateInstanceEnum failed");
    return ZIVO_WMI_CREATE_FAILED;
  }
  WalkInstances(
      *instances,
      [&](const std::shared_ptr<CWbemClassObject>& instance) {
        if (access == WMI_ENUM_DEVICE) {
          auto device = std::make_unique<CWmiDevice>(instance);
          mDeviceList.push_back(device.get());
          device.release();
        } else if (access == WMI_ENUM_SENSOR) {
          std::unique_ptr<CWmiSensor> sensor = MakeWmiSensor(mHistoryLength, instance);
          if (sensor) {
            mSensorList.push_back(sensor.get());
            sensor.release();
          } else {
            LeftOutRecordOf(*this).Add(LeftOutReason::FirmwareInvalid);
          }
        }
        return true;
      },
      &LeftOutRecordOf(*this));
  return ZIVO_SUCCESS;
}

int COSParticipantManager::AddParticipant(std::wstring name, WMI_ENUM_ACCESS access,
                                          std::shared_ptr<CWbemClassObject>& instance) {
  LOG_DEBUG("AddParticipant called %ls", name.c_str());
  std::shared_ptr<CEnumWbemClassObject> instances = OpenInstances(Connection(), access);
  if (!instances) {
    LOG_ERROR("AddPart. CreateInstanceEnum failed");
    return ZIVO_WMI_CREATE_FAILED;
  }
  bool found = false;
  WalkInstances(*instances, [&](const std::shared_ptr<CWbemClassObject>& candidate) {
    CVariant value;
    if (HrFailed(candidate->Get(L"InstanceName", value))) {
      LOG_ERROR("Get InstanceName Failed %x", LogAddress(candidate.get()));
      return true;
    }
    std::wstring instanceName;
    VariantToWString(value, instanceName);
    if (instanceName != name) {
      return true;
    }
    instance = candidate;
    found = true;
    return false;
  });
  if (found) {
    return ZIVO_SUCCESS;
  }
  LOG_ERROR("AddParticipant failed");
  return ZIVO_PARTICIPANT_NOT_FOUND;
}

int COSParticipantManager::EnumerateNonWmiDrivers(CDeviceNames& names) {
  LOG_DEBUG("EnumerateNonWmiDrivers Called");
  std::unique_ptr<CRegistryKey> key = OpenParameters(*mPlatform);
  if (!key) {
    return ZIVO_KEY_OPEN_FAILED;
  }
  // The key is read only here: the table keeps no pointer to it after.
  struct ReadThroughKey {
    CDeviceNames& names;
    ~ReadThroughKey() { names.ReadThrough(nullptr); }
  } reading{names};
  names.ReadThrough(key.get());
  const int result = WalkEntries(
      *key, kSensorEntries, true,
      [this, &names](std::wstring& path, uint32_t) {
        auto sensor = std::make_unique<CNonWmiSensor>(mHistoryLength, std::move(path), &names);
        mSensorList.push_back(sensor.get());
        sensor.release();
        return false;
      },
      &LeftOutRecordOf(*this));
  if (result != ZIVO_SUCCESS) {
    return result;
  }
  return WalkEntries(
      *key, kDeviceEntries, true,
      [this, &names](std::wstring& path, uint32_t entry) {
        auto device = std::make_unique<CNonWmiDevice>(std::move(path));
        names.DeviceMade(entry, device->mDevice.Name);
        mDeviceList.push_back(device.get());
        device.release();
        return false;
      },
      &LeftOutRecordOf(*this), &names);
}

void COSParticipantManager::LinkSensor(CSensor* sensor) {
  for (const std::wstring& name : sensor->mSensor.Devices) {
    CDevice* device = nullptr;
    GetDevicePtr(name, device);
    if (device == nullptr) {
      continue;
    }
    sensor->mLinkedDevices.push_back(device);
    device->mLinkedSensors.push_back(sensor);
    LOG_DEBUG("Added pointers Device %ls, Sensor %ls", device->mDevice.Name.c_str(),
              sensor->mSensor.Name.c_str());
  }
}

void COSParticipantManager::LinkDevice(CDevice* device) {
  for (CSensor* sensor : mSensorList) {
    for (const std::wstring& name : sensor->mSensor.Devices) {
      if (name == device->mDevice.Name) {
        sensor->mLinkedDevices.push_back(device);
        device->mLinkedSensors.push_back(sensor);
        LOG_DEBUG("Added pointers Device %ls, Sensor %ls", device->mDevice.Name.c_str(),
                  sensor->mSensor.Name.c_str());
      }
    }
  }
}

int COSParticipantManager::UpdateSensorDeviceLinks() {
  SpareStorage none;
  return MakeLinks(none);
}

static_assert(CLinkTable::kNumbers == CDeviceNames::kKeptNumbers,
              "every number the table of names keeps is found by number");

int COSParticipantManager::MakeLinks(SpareStorage& spare, const CDeviceNames* numbered) {
  LOG_DEBUG("UpdateSensorDeviceLinks Called");
  LOG_DEBUG("Devices: %d, Sensors %d", static_cast<int>(mDeviceList.size()),
            static_cast<int>(mSensorList.size()));
  CConfigManager* config = nullptr;
  try {
    config = COSConfigManager::GetInstance(kConfigFile);
  } catch (int) {
    // No configuration manager: the skin sensors get no configured devices.
    config = nullptr;
  }
  CLinkTable firstByName(
      mDeviceList, numbered != nullptr ? numbered->DeviceNumbers() : std::span<const uint32_t>());
  // Each sensor's links are made in the order of its names, sensor after
  // sensor; each device's side is filled afterwards in the same order, once
  // its list has room for all of them, so neither side grows link by link.
  std::vector<std::size_t> firstLink;
  firstLink.reserve(mSensorList.size());
  // The lists `numbered` filled, in the order of the sensors that hold them.
  const std::vector<CDeviceNames::NumberedRun> noRuns;
  const auto& runs = numbered != nullptr ? numbered->Runs() : noRuns;
  auto run = runs.begin();
  for (CSensor* sensor : mSensorList) {
    firstLink.push_back(sensor->mLinkedDevices.size());
    _tagSSensor& record = sensor->mSensor;
    const CDeviceNames::NumberedRun* numbers = nullptr;
    if (run != runs.end() && run->list == &record.Devices) {
      numbers = &*run++;
    }
    if (record.Class == ZIVO_SKIN_SENSOR_CLASS && config != nullptr) {
      std::vector<std::wstring> names;
      if (config->GetSensorDevices(record.Name, &names) != ZIVO_SUCCESS) {
        LOG_ERROR("GetSensorDevices failed for %ls", record.Name.c_str());
        continue;
      }
      for (const std::wstring& name : names) {
        record.Devices.push_back(name);
        LOG_DEBUG("Added %ls to Sensor %ls", name.c_str(), record.Name.c_str());
      }
    }
    if (!record.Devices.empty()) {
      TakeSpare(spare.sensorLinks, sensor->mLinkedDevices);
    }
    sensor->mLinkedDevices.reserve(sensor->mLinkedDevices.size() + record.Devices.size());
    auto link = [&](std::size_t entry, uint32_t number) {
      CDevice* device = firstByName.LinkNumbered(record.Devices[entry], number);
      if (device == nullptr) {
        return;
      }
      sensor->mLinkedDevices.push_back(device);
      LOG_DEBUG("Added pointers Device %ls, Sensor %ls", device->mDevice.Name.c_str(),
                record.Name.c_str());
    };
    // The entries of the list's run go by number, those before and after it
    // (a skin sensor's configured devices) by name.
    const std::size_t size = record.Devices.size();
    const std::size_t first =
        numbers != nullptr ? std::min<std::size_t>(numbers->first, size) : size;
    const std::size_t end =
        numbers != nullptr ? std::min<std::size_t>(first + numbers->count, size) : size;
    for (std::size_t entry = 0; entry < first; ++entry) {
      link(entry, CDeviceNames::kUnnumbered);
    }
    for (std::size_t entry = first; entry < end; ++entry) {
      link(entry, numbers->numbers[entry - first]);
    }
    for (std::size_t entry = end; entry < size; ++entry) {
      link(entry, CDeviceNames::kUnnumbered);
    }
  }
  firstByName.ForEachLinked([&spare](CDevice* device, std::size_t links) {
    TakeSpare(spare.deviceLinks, device->mLinkedSensors);
    device->mLinkedSensors.reserve(device->mLinkedSensors.size() + links);
  });
  auto from = firstLink.begin();
  for (CSensor* sensor : mSensorList) {
    for (std::size_t link = *from++; link < sensor->mLinkedDevices.size(); ++link) {
      sensor->mLinkedDevices[link]->mLinkedSensors.push_back(sensor);
    }
  }
  return ZIVO_SUCCESS;
}

int COSParticipantManager::AddSensor(const std::wstring& name) {
  LOG_DEBUG("Add Sensor called: %ls", name.c_str());
  CSensor* existing = nullptr;
  if (GetSensorPtr(name, existing) == ZIVO_SUCCESS) {
    LOG_ERROR("AddSensor. sensor exists %ls", name.c_str());
    return ZIVO_SENSOR_EXISTS;
  }
  std::shared_ptr<CWbemClassObject> instance;
  int found = AddParticipant(name, WMI_ENUM_SENSOR, instance);
  if (found == ZIVO_SUCCESS) {
    std::unique_ptr<CWmiSensor> sensor = MakeWmiSensor(mHistoryLength, instance);
    if (sensor) {
      mSensorList.push_back(sensor.get());
      LinkSensor(sensor.release());
      return ZIVO_SUCCESS;
    }
    // Its description could not be read: the caller hears that, unless the
    // drivers list the name.
    found = ZIVO_WMI_GET_FAILED;
  }
  LOG_DEBUG("Add Participant returned %d, Checking in drivers", found);

  return AddFromParameters(*mPlatform, kSensorEntries, true, name, found,
                           [this](const std::wstring& path) {
                             auto sensor = std::make_unique<CNonWmiSensor>(mHistoryLength, path);
                             mSensorList.push_back(sensor.get());
                             LinkSensor(sensor.release());
                           });
}

int COSParticipantManager::AddDevice(const std::wstring& name) {
  LOG_DEBUG("Add Device called: %ls", name.c_str());
  CDevice* existing = nullptr;
  if (GetDevicePtr(name, existing) == ZIVO_SUCCESS) {
    LOG_ERROR("AddDevice. Device exists %ls", name.c_str());
    return ZIVO_DEVICE_EXISTS;
  }
  std::shared_ptr<CWbemClassObject> instance;
  const int found = AddParticipant(name, WMI_ENUM_DEVICE, instance);
  if (found == ZIVO_SUCCESS) {
    auto device = std::make_unique<CWmiDevice>(instance);
    mDeviceList.push_back(device.get());
    LinkDevice(device.release());
    return ZIVO_SUCCESS;
  }
  LOG_DEBUG("Add Participant returned %d, Checking in drivers", found);

  // Unlike the sensors', the device count is not logged here.
  return AddFromParameters(*mPlatform, kDeviceEntries, false, name, found,
                           [this](const std::wstring& path) {
                             auto device = std::make_unique<CNonWmiDevice>(path);
                             mDeviceList.push_back(device.get());
                             LinkDevice(device.release());
                           });
}
