#include "PartMgr/WmiSensor.h"

#include <string>
#include <vector>

#include "Log/LogStatement.h"
#include "PartMgr/WmiMethodCall.h"
#include "Platform/Wmi.h"
#include "zivorivizo/Clock.h"
#include "zivorivizo/OSParticipantMgr.h"
#include "zivorivizo/OSSystemManager.h"
#include "zivorivizo/Platform.h"
#include "zivorivizo/StatusCodes.h"
#include "zivorivizo/TempConversion.h"

namespace {

const wchar_t kControlClass[] = L"DtmSensorControlMethod";
const char kNotOneDimension[] = "Type Mismatch in Parameter. Pass a one-dimensional array";

uint32_t SensorClassOf(int32_t type) {
  const auto low = static_cast<uint16_t>(type);
  return (low <= 9 && low != 6) ? low : 0;
}

// The array of an embedded object's property; null when either read fails or
// the value is no array.
std::shared_ptr<CSafeArray> ArrayOf(CWbemClassObject& object, const std::wstring& name) {
  CVariant value;
  if (HrFailed(object.Get(name, value)) || (value.vt & VT_ARRAY) == 0 || !value.parray) {
    return nullptr;
  }
  return value.parray;
}

// A value the firmware reports in the sensor's unit, of which the low 16
// bits count, in tenths of kelvin. Degrees Celsius go below zero, so a
// Celsius word is signed: -10 is 2632, not a faulty 65526 degrees.
int32_t WordToTenthsKelvin(uint16_t base, int32_t raw) {
  const int32_t word =
      base == 2 ? int32_t{static_cast<int16_t>(raw)} : int32_t{static_cast<uint16_t>(raw)};
  return RawToTenthsKelvin(base, word);
}

// SensorTripPoint carries the identifier in its low 16 bits.
constexpr uint32_t kMaxTripIdentifier = 0xFFFF;

}  // namespace

CWmiSensor::CWmiSensor(int historyLength, std::shared_ptr<CWbemClassObject> instance)
    : CSensor(historyLength),
      mPlatform(CPlatform::Current()),
      mServices(COSParticipantManager::Connection()) {
  const unsigned id = LogAddress(instance.get());
  if (HrFailed(instance->Get(L"InstanceName", mInstanceName))) {
    LOG_ERROR("WmiDevice, Get InstanceName Failed %x", id);
    mInstanceName.Clear();
  }
  VariantToWString(mInstanceName, mSensor.Name);
  const wchar_t* name = mSensor.Name.c_str();

  if (HrFailed(instance->Get(L"__RELPATH", mRelPath))) {
    LOG_ERROR("WmiSensor, Get __RELPATH Failed %x", id);
    mRelPath.Clear();
  }
  // The whole path, not cut like a name: an instance whose name is longer
  // than Name keeps is still reached.
  mControlPath =
      CVariant::Bstr(ControlPathOf(mRelPath.vt == VT_BSTR ? mRelPath.bstrVal : std::wstring()));

  int32_t value = 0;
  if (HrFailed(GetInt32Property(*instance, L"caps", value))) {
    LOG_ERROR("WmiSensor, Get caps Failed Instance: %x Name:%ls", id, name);
  } else {
    mSensor.Caps = static_cast<uint32_t>(value);
  }
  if (HrFailed(GetInt32Property(*instance, L"base", value))) {
    LOG_ERROR("WmiSensor, Get base Failed Instance: %x Name:%ls", id, name);
  } else {
    mSensor.Base = static_cast<uint16_t>(value);
  }

  ReadDevices(*instance, id);
  ReadTrips(*instance, id);

  if (HrFailed(GetInt32Property(*instance, L"type", value))) {
    LOG_ERROR("WmiSensor,Get Type Failed Instance: %x Name:%ls", id, name);
  } else {
    mSensor.Class = SensorClassOf(value);
  }

  Refresh();
  LOG_DEBUG("Sensor created %ls", name);
}

void CWmiSensor::ReadDevices(CWbemClassObject& instance, unsigned id) {
  const wchar_t* name = mSensor.Name.c_str();
  std::shared_ptr<CWbemClassObject> device;
  if (HrFailed(GetObjectProperty(instance, L"device", device))) {
    LOG_ERROR("WmiSensor, Get device Failed Instance: %x Name:%ls", id, name);
    return;
  }
  std::shared_ptr<CSafeArray> list = ArrayOf(*device, L"List");
  if (!list) {
    LOG_ERROR("WmiSensor, Get List Failed Instance: %x Name:%ls", id, name);
    return;
  }
  if (list->GetDim() != 1) {
    throw kNotOneDimension;
  }
  int32_t lower = 0;
  int32_t upper = 0;
  if (HrFailed(list->GetLBound(1, lower)) || HrFailed(list->GetUBound(1, upper))) {
    LOG_ERROR("WmiSensor, List:SafeArrayGetBound Failed Instance: %x Name:%ls", id, name);
    return;
  }
  for (int64_t index = lower; index <= upper; ++index) {
    int32_t number = 0;
    if (HrFailed(list->GetElement(static_cast<int32_t>(index), number))) {
      // A name built from an earlier element would link the wrong device.
      LOG_ERROR("WmiSensor, List:SafeArrayGetElement Failed Instance: %x Name:%ls", id, name);
      continue;
    }
    mSensor.Devices.push_back(L"ACPI\\PNP0C14\\" + std::to_wstring(number) + L"_0");
  }
}

void CWmiSensor::ReadTrips(CWbemClassObject& instance, unsigned id) {
  const wchar_t* name = mSensor.Name.c_str();
  std::shared_ptr<CWbemClassObject> trips;
  if (HrFailed(GetObjectProperty(instance, L"trips", trips))) {
    LOG_ERROR("WmiSensor, Get Trips Failed Instance: %x Name:%ls", id, name);
    return;
  }
  std::shared_ptr<CSafeArray> array = ArrayOf(*trips, L"Trips");
  if (!array) {
    LOG_ERROR("WmiSensor, Get trips->Trips Failed Instance: %x Name:%ls", id, name);
    return;
  }
  if (array->GetDim() != 1) {
    throw kNotOneDimension;
  }
  int32_t lower = 0;
  int32_t upper = 0;
  if (HrFailed(array->GetLBound(1, lower)) || HrFailed(array->GetUBound(1, upper))) {
    LOG_ERROR("WmiSensor, Trips:SafeArrayGetBound Failed Instance: %x Name:%ls", id, name);
    return;
  }
  const auto fetch = [&](int64_t index, int32_t& element) {
    if (index > upper || HrFailed(array->GetElement(static_cast<int32_t>(index), element))) {
      LOG_ERROR("WmiSensor, Trips:SafeArrayGetElement Failed Instance: %x Name:%ls", id, name);
      return false;
    }
    return true;
  };
  for (int64_t index = lower; index <= upper; index += 2) {
    int32_t identifier = 0;
    int32_t temperature = 0;
    const bool haveIdentifier = fetch(index, identifier);
    const bool haveTemperature = fetch(index + 1, temperature);
    // A pair with a part missing would carry a stale value: leave it out.
    if (!haveIdentifier || !haveTemperature) {
      continue;
    }
    _tagSAuxTrip trip;
    trip.AuxType = (identifier >= 0 && identifier <= 6) ? static_cast<uint32_t>(identifier) : 0;
    trip.Temp = static_cast<uint16_t>(temperature);
    mSensor.TripPoints.push_back(trip);
  }
}

CWmiSensor::~CWmiSensor() {
  LOG_DEBUG("Deleting %ls", mSensor.Name.c_str());
  mLinkedDevices.clear();
  mSensor.Devices.clear();
  mSensor.TempHistory.clear();
  mSensor.TripPoints.clear();
  mInstanceName.Clear();
  mRelPath.Clear();
  mControlPath.Clear();
}

int CWmiSensor::GetCurrentTemp(int32_t& temperature) {
  const wchar_t* name = mSensor.Name.c_str();
  for (int attempt = 0; attempt < 2; ++attempt) {
    CWmiMethodCall call(mServices, kControlClass, mControlPath.bstrVal, L"GetCurrentTemperature");
    if (HrFailed(call.Execute(false, true))) {
      LOG_ERROR("GetCurrentTemp ExecMethod failed %ls", name);
      return ZIVO_WMI_EXEC_FAILED;
    }
    int32_t raw = 0;
    if (HrFailed(call.GetOutput(L"temperature", raw))) {
      LOG_ERROR("GetCurrentTemp Get failed %ls", name);
      return ZIVO_WMI_GET_FAILED;
    }
    temperature = WordToTenthsKelvin(mSensor.Base, raw);
    if (temperature < ZIVO_FAULTY_TEMPERATURE) {
      return ZIVO_SUCCESS;
    }
  }

  COSSystemManager* system = nullptr;
  try {
    system = COSSystemManager::GetInstance();
  } catch (int error) {
    if (error == ZIVO_THROW_SM_INIT_FAILED) {
      LOG_ERROR("VOVUZER SM Initialization failed");
    } else {
      LOG_ERROR("VOVUZER SM Initialization throwed unknown Exception...");
    }
    return ZIVO_SM_EXCEPTION;
  }
  if (system == nullptr) {
    return ZIVO_SUCCESS;
  }
  LOG_ERROR(
      "One of the WMI sensors is faulty, please contact your support. To protect, system is "
      "shutting now...");
  std::wstring message =
      L"One of the temperature sensors is faulty, please contact your support. To protect, system "
      L"is shutting now...";
  system->SystemShutdown(60, message.data());
  return ZIVO_SUCCESS;
}

int CWmiSensor::Refresh() {
  int32_t temperature = 0;
  const int status = GetCurrentTemp(temperature);
  if (status != ZIVO_SUCCESS) {
    LOG_ERROR("Refresh: GetCurrentTemp failed %d", status);
    return status;
  }
  RecordReading(temperature);
  return GetSensorTripValue();
}

int CWmiSensor::GetSensorTripValue() {
  const wchar_t* name = mSensor.Name.c_str();
  CWmiMethodCall call(mServices, kControlClass, mControlPath.bstrVal, L"GetSensorTrip");
  if (HrFailed(call.GetClass())) {
    LOG_ERROR("GetSensorTripValue GetObject failed ");
    return ZIVO_WMI_GETOBJECT_FAILED;
  }
  if (HrFailed(call.GetMethod())) {
    LOG_ERROR("GetSensorTripValue GetMethod failed");
    return ZIVO_WMI_GET_FAILED;
  }
  if (HrFailed(call.SpawnInput())) {
    LOG_ERROR("GetSensorTripValue SpawnInstance failed %ls", name);
    return ZIVO_WMI_CREATE_FAILED;
  }
  for (_tagSAuxTrip& trip : mSensor.TripPoints) {
    if (HrFailed(call.PutInput(L"type", static_cast<int32_t>(trip.AuxType)))) {
      LOG_ERROR("GetSensorTripValue Put type failed %ls", name);
      return ZIVO_WMI_CREATE_FAILED;
    }
    if (HrFailed(call.Execute(true, true))) {
      LOG_ERROR("GetSensorTripValue ExecMethod failed %ls", name);
      return ZIVO_WMI_EXEC_FAILED;
    }
    int32_t raw = 0;
    if (HrFailed(call.GetOutput(L"temp", raw))) {
      LOG_ERROR("GetSensorTripValue Get temp failed %ls", name);
      return ZIVO_WMI_GET_FAILED;
    }
    trip.Temp = static_cast<uint16_t>(WordToTenthsKelvin(mSensor.Base, raw));
  }
  return ZIVO_SUCCESS;
}

namespace {

// What a trip entry must read back, in tenths of kelvin as
// GetSensorTripValue gives it: the value sent, converted back from the
// sensor's unit (so a trip the unit cannot hold exactly compares as the
// sensor keeps it). Read-backs are matched to entries by identifier.
struct ExpectedTrip {
  uint32_t auxType;
  uint16_t temp;
};

// Whether every entry written, however many, reads back what was written to
// it; one the read-back no longer lists was not set. Logs each that does not.
bool TripsReadBack(const std::vector<ExpectedTrip>& expected,
                   const std::vector<_tagSAuxTrip>& readBack, const wchar_t* name) {
  bool allEqual = true;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const _tagSAuxTrip* read = nullptr;
    for (const _tagSAuxTrip& trip : readBack) {
      if (trip.AuxType == expected[i].auxType) {
        read = &trip;
        break;
      }
    }
    if (read != nullptr && read->Temp == expected[i].temp) {
      continue;
    }
    allEqual = false;
    if (read == nullptr) {
      LOG_ERROR("SetSensorTripValue: trip %u not read back for %ls", expected[i].auxType, name);
    } else if (i == 0) {
      LOG_ERROR("Mismatched Values: Set Aux0 = %d while Get Aux0 = %d", expected[i].temp,
                read->Temp);
    } else {
      LOG_ERROR("Mismatched Values: Set Aux1 = %d while Get Aux1 = %d", expected[i].temp,
                read->Temp);
    }
  }
  return allEqual;
}

// Sends each of `sensor`'s trips to its firmware through the control method
// at `controlPath`, each converted to the sensor's unit and back, and lists
// what each must read back in `expected`.
int SendSensorTrips(std::shared_ptr<CWbemServices> services, const std::wstring& controlPath,
                    _tagSSensor& sensor, std::vector<ExpectedTrip>& expected) {
  const wchar_t* name = sensor.Name.c_str();
  CWmiMethodCall call(std::move(services), kControlClass, controlPath, L"SetSensorTrip");
  if (HrFailed(call.GetClass())) {
    LOG_ERROR("SetSensorTripValue GetObject failed");
    return ZIVO_WMI_GETOBJECT_FAILED;
  }
  if (HrFailed(call.GetMethod())) {
    LOG_ERROR("SetSensorTripValue GetMethod failed ");
    return ZIVO_WMI_GET_FAILED;
  }
  if (HrFailed(call.SpawnInput())) {
    LOG_ERROR("SetSensorTripValue SpawnInstance failed %ls", name);
    return ZIVO_WMI_CREATE_FAILED;
  }
  expected.reserve(sensor.TripPoints.size());
  for (_tagSAuxTrip& trip : sensor.TripPoints) {
    const auto raw = static_cast<uint16_t>(TenthsKelvinToRaw(sensor.Base, trip.Temp));
    trip.Temp = static_cast<uint16_t>(WordToTenthsKelvin(sensor.Base, raw));
    const auto packed = static_cast<int32_t>((static_cast<uint32_t>(raw) << 16) | trip.AuxType);
    expected.push_back({trip.AuxType, trip.Temp});
    if (HrFailed(call.PutInput(L"SensorTripPoint", packed))) {
      LOG_ERROR("SetSensorTripValue Put temp failed %ls", name);
      return ZIVO_WMI_PUT_FAILED;
    }
    if (HrFailed(call.Execute(true, false))) {
      LOG_ERROR("SetSensorTripValue ExecMethod failed %ls", name);
      return ZIVO_WMI_EXEC_FAILED;
    }
  }
  return ZIVO_SUCCESS;
}

}  // namespace

int CWmiSensor::SetSensorTripValue() {
  const wchar_t* name = mSensor.Name.c_str();
  // An identifier wider than its 16 bits would run into the temperature's:
  // refuse the whole record before anything reaches the firmware.
  for (const _tagSAuxTrip& trip : mSensor.TripPoints) {
    if (trip.AuxType > kMaxTripIdentifier) {
      LOG_ERROR("SetSensorTripValue refused for %ls: trip identifier %u does not fit 16 bits", name,
                trip.AuxType);
      return ZIVO_WMI_PUT_FAILED;
    }
  }
  std::vector<ExpectedTrip> expected;
  const int sent = SendSensorTrips(mServices, mControlPath.bstrVal, mSensor, expected);
  if (sent != ZIVO_SUCCESS) {
    return sent;
  }
  for (int pass = 0; pass < 4; ++pass) {
    if (GetSensorTripValue() != ZIVO_SUCCESS) {
      LOG_ERROR("SetSensorTripValue failed to return value for %ls", name);
      return ZIVO_TRIP_MISMATCH;
    }
    if (TripsReadBack(expected, mSensor.TripPoints, name)) {
      LOG_DEBUG("SetSensorTripValue set correctly for %ls", name);
      return ZIVO_SUCCESS;
    }
  }
  LOG_ERROR("SetSensor failed to set the Trip Points");
  return ZIVO_TRIP_MISMATCH;
}

int CWmiSensor::Start() {
  LOG_DEBUG("Sensor start called %ls", mSensor.Name.c_str());
  CWmiMethodCall call(mServices, kControlClass, mControlPath.bstrVal, L"Start");
  if (HrFailed(call.Execute(false, false))) {
    LOG_ERROR("start ExecMethod failed %ls", mSensor.Name.c_str());
    return ZIVO_WMI_EXEC_FAILED;
  }
  return ZIVO_SUCCESS;
}

int CWmiSensor::Stop() {
  LOG_DEBUG("Sensor stop called %ls", mSensor.Name.c_str());
  CWmiMethodCall call(mServices, kControlClass, mControlPath.bstrVal, L"Stop");
  if (HrFailed(call.Execute(false, false))) {
    LOG_ERROR("Stop ExecMethod failed %ls", mSensor.Name.c_str());
    return ZIVO_WMI_EXEC_FAILED;
  }
  return ZIVO_SUCCESS;
}

int CWmiSensor::GetTimeStamp(uint32_t& seconds) {
  seconds = static_cast<uint32_t>(mPlatform->Clock().UtcSeconds());
  return ZIVO_SUCCESS;
}
