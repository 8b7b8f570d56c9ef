#include "PartMgr/NonWmiSensor.h"

#include <algorithm>
#include <utility>

#include "Log/LogStatement.h"
#include "PartMgr/DeviceNames.h"
#include "Platform/DriverProtocol.h"
#include "Platform/Registry.h"
#include "zivorivizo/Clock.h"
#include "zivorivizo/OSSystemManager.h"
#include "zivorivizo/Platform.h"
#include "zivorivizo/StatusCodes.h"
#include "zivorivizo/TempConversion.h"

namespace {

// Sensor types the library knows; any other reported type is stored as 0.
constexpr uint32_t kHighestSensorClass = 9;
constexpr int kReadingsBeforeFaulty = 2;
// What ReadOnce answers for a reading at or above the faulty mark.
constexpr int kFaultyReading = -1;
constexpr int kFaultyShutdownSeconds = 60;

}  // namespace

CNonWmiSensor::CNonWmiSensor(int historyLength, std::wstring path, CDeviceNames* names)
    : CSensor(historyLength), mPlatform(CPlatform::Current()) {
  LOG_DEBUG("CNonWmiSensor constructor called for %ls", path.c_str());
  uint32_t error = 0;
  mHandle = mPlatform->Devices().Open(path, error);
  if (!mHandle) {
    LOG_ERROR("cant create handle. Error %d", static_cast<int>(error));
    return;
  }

  _tagSSensorInfoBlock info;
  if (!Request(DRIVER_SENSOR_GET_INFO, {}, std::as_writable_bytes(std::span(&info, 1)))) {
    LOG_ERROR("Can get sensor info Ioctl Failed");
    return;
  }
  mSensor.Name = std::move(path);
  mSensor.Valid = 0;
  mSensor.Caps = info.Caps;
  mSensor.Base = info.Base;
  mSensor.Class = info.Type <= kHighestSensorClass ? info.Type : 0;

  if (info.AuxCount < 2) {
    LOG_ERROR("Sensor supports Less than 2 aux, Ignoring ....");
  } else {
    // The raw values stand until the first Refresh converts them.
    mSensor.TripPoints.reserve(2);
    mSensor.TripPoints.push_back({info.Aux0Type, static_cast<uint16_t>(info.Aux0Trip)});
    mSensor.TripPoints.push_back({info.Aux1Type, static_cast<uint16_t>(info.Aux1Trip)});
  }

  ReadDeviceNames(info.DeviceNumbers, info.DeviceCount, names);

  // A sensor whose first reading fails still joins with what it described.
  Refresh();

  LOG_DEBUG("CNonWmiSensor created: %ls", mSensor.Name.c_str());
  LOG_DEBUG("********Sensor DUMP");
  LOG_DEBUG("Caps %d", static_cast<int>(mSensor.Caps));
  LOG_DEBUG("Class %d", static_cast<int>(mSensor.Class));
  LOG_DEBUG("Base %d", static_cast<int>(mSensor.Base));
  if (!mSensor.TempHistory.empty()) {
    LOG_DEBUG("Temp %d", mSensor.TempHistory[0].Temp);
  }
  LOG_DEBUG("Trip Points %d", static_cast<int>(mSensor.TripPoints.size()));
  if (mSensor.TripPoints.size() > 0) {
    LOG_DEBUG("Aux0 %d", static_cast<int>(mSensor.TripPoints[0].Temp));
  }
  if (mSensor.TripPoints.size() > 1) {
    LOG_DEBUG("Aux1 %d", static_cast<int>(mSensor.TripPoints[1].Temp));
  }
  LOG_DEBUG("Devices Connected %d", static_cast<int>(mSensor.Devices.size()));
  LOG_DEBUG("********Sensor DUMP ENDS");
}

CNonWmiSensor::~CNonWmiSensor() {
  LOG_DEBUG("Deleting %ls", mSensor.Name.c_str());
  mLinkedDevices.clear();
  mHandle.reset();
}

void CNonWmiSensor::ReadDeviceNames(const uint32_t* numbers, uint32_t count, CDeviceNames* names) {
  if (count > DRIVER_MAX_SENSOR_DEVICES) {
    LOG_ERROR("Sensor reports %u devices, only the first %u are read", count,
              static_cast<unsigned>(DRIVER_MAX_SENSOR_DEVICES));
    count = DRIVER_MAX_SENSOR_DEVICES;
  }
  if (names != nullptr) {
    names->Append(numbers, count, mSensor.Devices);
    return;
  }
  // A sensor built on its own reads the key itself, with a table of its own
  // (made here only: it is a few pages to clear).
  long status = REG_STATUS_SUCCESS;
  const std::unique_ptr<CRegistryKey> key =
      mPlatform->Registry().Open(DRIVER_PARAMETERS_KEY, REG_ACCESS_READ, status);
  if (!key) {
    LOG_ERROR("Failed to read the Velmar Key");
  }
  CDeviceNames own(key.get());
  own.Append(numbers, count, mSensor.Devices);
}

int CNonWmiSensor::GetCurrentTemp(int32_t& temperature) {
  // The common case, one reading, has nothing else on its path.
  const int status = ReadOnce(temperature);
  return status == kFaultyReading ? ReadAfterFaulty(temperature) : status;
}

int CNonWmiSensor::ReadOnce(int32_t& temperature) {
  int32_t raw = 0;
  if (!Request(DRIVER_SENSOR_GET_TEMP, {}, std::as_writable_bytes(std::span(&raw, 1)))) {
    LOG_ERROR("Sensor get temp Ioctl Failed");
    return ZIVO_IOCTL_FAILED;
  }
  // Drivers on this platform speak tenths of kelvin already: no call.
  temperature =
      mSensor.Base == DRIVER_BASE_TENTHS_KELVIN ? raw : RawToTenthsKelvin(mSensor.Base, raw);
  return temperature < ZIVO_FAULTY_TEMPERATURE ? ZIVO_SUCCESS : kFaultyReading;
}

int CNonWmiSensor::ReadAfterFaulty(int32_t& temperature) {
  for (int reading = 1; reading < kReadingsBeforeFaulty; ++reading) {
    const int status = ReadOnce(temperature);
    if (status != kFaultyReading) {
      return status;
    }
  }
  return ReportFaultySensor();
}

int CNonWmiSensor::ReportFaultySensor() {
  COSSystemManager* manager = nullptr;
  try {
    manager = COSSystemManager::GetInstance();
  } catch (int value) {
    if (value == ZIVO_THROW_SM_INIT_FAILED) {
      LOG_ERROR("VOVUZER SM Initialization failed");
    } else {
      LOG_ERROR("VOVUZER SM Initialization throwed unknown Exception...");
    }
    return ZIVO_SM_EXCEPTION;
  }
  if (manager == nullptr) {
    return ZIVO_SUCCESS;
  }
  LOG_ERROR(
      "One of the Non WMI sensors is faulty, please contact your support. To protect, system is "
      "shutting now...");
  std::wstring message =
      L"One of the temperature sensors is faulty, please contact your support. To protect, system "
      L"is shutting now...";
  // The shutdown is under way or refused; either way the reading stands.
  static_cast<CSystemManager*>(manager)->SystemShutdown(kFaultyShutdownSeconds, message.data());
  return ZIVO_SUCCESS;
}

int CNonWmiSensor::Refresh() {
  int32_t temperature = 0;
  const int status = GetCurrentTemp(temperature);
  if (status != ZIVO_SUCCESS) {
    LOG_ERROR("Refresh: GetCurrentTemp failed %d", status);
    return status;
  }
  if (RecordReading(temperature) && mSensor.TempHistory.size() >= 3) {
    LOG_DEBUG("Temp Vector: Temp1 %d, Temp2 %d Temp3 %d", mSensor.TempHistory[0].Temp,
              mSensor.TempHistory[1].Temp, mSensor.TempHistory[2].Temp);
  }
  return GetSensorTripValue();
}

int CNonWmiSensor::GetSensorTripValue() {
  // The block lives on the stack, so the work-buffer failure cannot happen here.
  _tagSTripBlock trips;
  if (!Request(DRIVER_SENSOR_GET_TRIPS, {}, std::as_writable_bytes(std::span(&trips, 1)))) {
    LOG_ERROR("Sensor get trips Ioctl Failed");
    return ZIVO_IOCTL_FAILED;
  }
  for (_tagSAuxTrip& trip : mSensor.TripPoints) {
    if (trip.AuxType == trips.Aux0Type) {
      trip.Temp = static_cast<uint16_t>(RawToTenthsKelvin(mSensor.Base, trips.Aux0Temp));
      LOG_DEBUG("Aux Type %d, Trip: %d", static_cast<int>(trip.AuxType),
                static_cast<int>(trip.Temp));
    }
    if (trip.AuxType == trips.Aux1Type) {
      trip.Temp = static_cast<uint16_t>(RawToTenthsKelvin(mSensor.Base, trips.Aux1Temp));
      LOG_DEBUG("Aux Type %d, Trip: %d", static_cast<int>(trip.AuxType),
                static_cast<int>(trip.Temp));
    }
  }
  return ZIVO_SUCCESS;
}

int CNonWmiSensor::SetSensorTripValue() {
  // A sensor without a driver fails every request alike, whatever it holds.
  if (mHandle && mSensor.TripPoints.size() < 2) {
    LOG_ERROR("SetSensorTripValue needs 2 trip points, %ls has %d; nothing sent",
              mSensor.Name.c_str(), static_cast<int>(mSensor.TripPoints.size()));
    return ZIVO_TOO_FEW_TRIP_POINTS;
  }
  _tagSTripBlock trips;
  if (mSensor.TripPoints.size() >= 2) {
    trips.Aux0Type = mSensor.TripPoints[0].AuxType;
    trips.Aux0Temp = TenthsKelvinToRaw(mSensor.Base, mSensor.TripPoints[0].Temp);
    trips.Aux1Type = mSensor.TripPoints[1].AuxType;
    trips.Aux1Temp = TenthsKelvinToRaw(mSensor.Base, mSensor.TripPoints[1].Temp);
  }
  if (!Request(DRIVER_SENSOR_SET_TRIPS, std::as_bytes(std::span(&trips, 1)), {})) {
    LOG_ERROR("Sensor Set trips Ioctl Failed");
    return ZIVO_IOCTL_FAILED;
  }
  return ZIVO_SUCCESS;
}

int CNonWmiSensor::Start() {
  LOG_DEBUG("Start Called for %ls", mSensor.Name.c_str());
  if (!Request(DRIVER_SENSOR_START, {}, {})) {
    LOG_ERROR("SENSOR start Ioctl Failed");
    return ZIVO_IOCTL_FAILED;
  }
  return ZIVO_SUCCESS;
}

int CNonWmiSensor::Stop() {
  LOG_DEBUG("Stop Called for %ls", mSensor.Name.c_str());
  if (!Request(DRIVER_SENSOR_STOP, {}, {})) {
    LOG_ERROR("SENSOR stop Ioctl Failed");
    return ZIVO_IOCTL_FAILED;
  }
  return ZIVO_SUCCESS;
}

int CNonWmiSensor::GetTimeStamp(uint32_t& seconds) {
  // The low 32 bits, as the sample record holds them.
  seconds = static_cast<uint32_t>(mPlatform->Clock().UtcSeconds());
  return ZIVO_SUCCESS;
}

bool CNonWmiSensor::Request(uint32_t code, std::span<const std::byte> in,
                            std::span<std::byte> out) {
  if (!mHandle) {
    return false;
  }
  // The driver's error number is not reported by any of the sensor's lines.
  uint32_t error = 0;
  return mHandle->Control(code, in, out, error);
}
