// The participant driver protocol, run against every driver behind the device
// I/O stand-in, seen through the fault decorator: the scriptable simulated
// drivers and the sysfs drivers on a fake tree. Both are set up to describe
// the same sensor and device, and must answer the same requests with the same
// layouts and fail the same way.
#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <vector>

#include "Platform/DriverProtocol.h"
#include "Platform/Linux/SysfsDeviceIo.h"
#include "PlatformContract/Contract.h"
#include "Sim/FaultyDeviceIo.h"
#include "Sim/SimDeviceDriver.h"
#include "Sim/SimDeviceIo.h"
#include "Sim/SimSensorDriver.h"
#include "support/DriverCalls.h"
#include "support/FakeSysfs.h"

namespace {

struct _tagSSensorSetup {
  uint32_t type = 0;
  int32_t tenthsKelvin = 3032;
  std::array<int32_t, 2> trips{3432, 3532};
  std::vector<uint32_t> devices;  // registry device indexes
};

struct _tagSDeviceSetup {
  uint32_t deviceClass = 0;
  uint32_t maxState = 3;
  uint32_t state = 0;
};

// One implementation, seen through what the cases need. Devices are added
// before the sensors that name them; the n-th device added has index n.
class CDeviceIoEnv : public CContractEnv {
 public:
  CDeviceIo& Io() { return *mFaulty; }
  virtual std::wstring AddDevice(const _tagSDeviceSetup& setup) = 0;
  virtual std::wstring AddSensor(const _tagSSensorSetup& setup) = 0;
  virtual void SetTemperature(const std::wstring& sensor, int32_t tenthsKelvin) = 0;
  virtual std::wstring MissingPath() = 0;
  // Everything that opening a path must leave as it was.
  virtual std::string State() = 0;

 protected:
  void Wrap(CDeviceIo& inner) {
    mFaulty = std::make_shared<CFaultyDeviceIo>(std::shared_ptr<CDeviceIo>(mPlan, &inner), mPlan);
  }

 private:
  std::shared_ptr<CFaultyDeviceIo> mFaulty;
};

class CSimDeviceIoEnv : public CDeviceIoEnv {
 public:
  CSimDeviceIoEnv() { Wrap(mIo); }

  std::wstring AddDevice(const _tagSDeviceSetup& setup) override {
    auto driver = std::make_shared<CSimDeviceDriver>();
    driver->SetClass(setup.deviceClass);
    driver->SetMaxState(setup.maxState);
    driver->SetState(setup.state);
    return Attach(L"\\\\.\\SimDevice", driver);
  }

  std::wstring AddSensor(const _tagSSensorSetup& setup) override {
    auto driver = std::make_shared<CSimSensorDriver>();
    driver->SetBase(DRIVER_BASE_TENTHS_KELVIN);
    driver->SetType(setup.type);
    _tagSSensorInfoBlock info = driver->Info();
    info.DeviceCount = static_cast<uint32_t>(setup.devices.size());
    std::copy(setup.devices.begin(), setup.devices.end(), info.DeviceNumbers);
    driver->SetInfo(info);
    const auto [trip0, trip1] = setup.trips;
    driver->SetAux(2, 0, static_cast<uint32_t>(trip0), 1, static_cast<uint32_t>(trip1));
    driver->SetTrips({0, trip0, 1, trip1});
    driver->SetSteadyTemp(setup.tenthsKelvin);
    const std::wstring path = Attach(L"\\\\.\\SimSensor", driver);
    mSensorDrivers[path] = driver;
    return path;
  }

  void SetTemperature(const std::wstring& sensor, int32_t tenthsKelvin) override {
    mSensorDrivers.at(sensor)->SetSteadyTemp(tenthsKelvin);
  }
  std::wstring MissingPath() override { return L"\\\\.\\SimNothing"; }
  std::string State() override {
    return std::to_string(mIo.OpenHandleCount()) + (mIo.Driver(MissingPath()) ? "+" : "-");
  }

 private:
  std::wstring Attach(const std::wstring& prefix, std::shared_ptr<CSimDriver> driver) {
    const std::wstring path = prefix + std::to_wstring(mAttached++);
    mIo.Attach(path, std::move(driver));
    return path;
  }

  CSimDeviceIo mIo;
  int mAttached = 0;
  std::map<std::wstring, std::shared_ptr<CSimSensorDriver>> mSensorDrivers;
};

// Type texts the sysfs drivers map to each code.
const char* const kZoneTypes[] = {"INT3400 Thermal", "skin",  "x86_pkg_temp", "gpu-thermal",
                                  "battery",         "ddr",   "nvme",         "iwlwifi_1",
                                  "charger",         "acpitz"};
const char* const kCoolingTypes[] = {"vendor-device",     "Processor", "gpu",  "LCD",
                                     "battery",           "DRAM",      "wwan", "nvme",
                                     "thermal-devfreq-0", "Fan"};

int64_t MilliCelsius(int32_t tenthsKelvin) {
  return (static_cast<int64_t>(tenthsKelvin) - 2732) * 100;
}

class CSysfsDeviceIoEnv : public CDeviceIoEnv {
 public:
  CSysfsDeviceIoEnv() : mIo(mTree.Root()) { Wrap(mIo); }

  std::wstring AddDevice(const _tagSDeviceSetup& setup) override {
    const uint32_t n = mDevices++;
    mTree.AddCooling(n, kCoolingTypes[setup.deviceClass], setup.maxState, setup.state);
    return mTree.CoolingPathW(n);
  }

  std::wstring AddSensor(const _tagSSensorSetup& setup) override {
    const uint32_t n = mSensors++;
    mTree.AddZone(n, kZoneTypes[setup.type], MilliCelsius(setup.tenthsKelvin));
    mTree.SetTrip(n, 0, MilliCelsius(setup.trips[0]));
    mTree.SetTrip(n, 1, MilliCelsius(setup.trips[1]));
    for (std::size_t k = 0; k < setup.devices.size(); ++k) {
      mTree.LinkCooling(n, static_cast<uint32_t>(k), setup.devices[k]);
    }
    mZones[mTree.ZonePathW(n)] = n;
    return mTree.ZonePathW(n);
  }

  void SetTemperature(const std::wstring& sensor, int32_t tenthsKelvin) override {
    mTree.SetZoneTemp(mZones.at(sensor), MilliCelsius(tenthsKelvin));
  }

  std::wstring MissingPath() override { return mTree.CoolingPathW(99); }

  std::string State() override { return mTree.Snapshot(); }

 private:
  CFakeSysfs mTree;
  CSysfsDeviceIo mIo;
  uint32_t mDevices = 0;
  uint32_t mSensors = 0;
  std::map<std::wstring, uint32_t> mZones;
};

class DeviceIoContract : public CContractTest<CDeviceIoEnv> {
 protected:
  std::unique_ptr<CDeviceHandle> OpenOrFail(const std::wstring& path) {
    return ::OpenOrFail(mEnv->Io(), path);
  }

  // A request that must fail with `expected` and leave the output untouched.
  void ExpectFailure(CDeviceHandle& handle, uint32_t code, std::size_t inBytes,
                     std::size_t outBytes, uint32_t expected) {
    std::vector<std::byte> in(inBytes, std::byte{0});
    std::vector<std::byte> out(outBytes, std::byte{0xAB});
    uint32_t error = 0;
    EXPECT_FALSE(handle.Control(code, in, out, error)) << std::hex << code;
    EXPECT_EQ(error, expected) << std::hex << code;
    EXPECT_EQ(std::count(out.begin(), out.end(), std::byte{0xAB}),
              static_cast<std::ptrdiff_t>(outBytes))
        << "a failed request wrote its output, code " << std::hex << code;
  }
};

TEST_P(DeviceIoContract, OpeningAMissingPathFailsAndCreatesNothing) {
  const std::string before = mEnv->State();
  uint32_t error = 0;
  EXPECT_EQ(mEnv->Io().Open(mEnv->MissingPath(), error), nullptr);
  EXPECT_EQ(error, DEVICE_ERROR_FILE_NOT_FOUND);
  error = 0;
  EXPECT_EQ(mEnv->Io().Open(L"", error), nullptr);
  EXPECT_EQ(error, DEVICE_ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(mEnv->State(), before);
}

TEST_P(DeviceIoContract, SensorDescribesItselfReadsTemperatureAndKeepsTrips) {
  mEnv->AddDevice({});
  mEnv->AddDevice({});
  const std::wstring path = mEnv->AddSensor({1, 3032, {3432, 3532}, {1, 0}});
  auto sensor = OpenOrFail(path);
  ASSERT_NE(sensor, nullptr);

  const auto info = Read<_tagSSensorInfoBlock>(*sensor, DRIVER_SENSOR_GET_INFO);
  EXPECT_EQ(std::vector<uint32_t>({info.Base, info.DeviceCount, info.DeviceNumbers[0],
                                   info.DeviceNumbers[1], info.AuxCount, info.Aux0Type,
                                   info.Aux0Trip, info.Aux1Type, info.Aux1Trip, info.Type}),
            std::vector<uint32_t>({DRIVER_BASE_TENTHS_KELVIN, 2, 1, 0, 2, 0, 3432, 1, 3532, 1}));

  EXPECT_EQ(Read<int32_t>(*sensor, DRIVER_SENSOR_GET_TEMP), 3032);
  // Every request shows the value of the moment, on the same handle.
  mEnv->SetTemperature(path, 3182);
  EXPECT_EQ(Read<int32_t>(*sensor, DRIVER_SENSOR_GET_TEMP), 3182);
  mEnv->SetTemperature(path, 2632);  // below freezing
  EXPECT_EQ(Read<int32_t>(*sensor, DRIVER_SENSOR_GET_TEMP), 2632);

  auto trips = Read<_tagSTripBlock>(*sensor, DRIVER_SENSOR_GET_TRIPS);
  EXPECT_EQ(trips.Aux0Temp + trips.Aux1Temp, 3432 + 3532);
  EXPECT_TRUE(Send(*sensor, DRIVER_SENSOR_SET_TRIPS, _tagSTripBlock{0, 3332, 1, 3632}));
  trips = Read<_tagSTripBlock>(*sensor, DRIVER_SENSOR_GET_TRIPS);
  EXPECT_EQ(trips.Aux0Temp, 3332);
  EXPECT_EQ(trips.Aux1Temp, 3632);

  uint32_t error = 0;
  EXPECT_TRUE(sensor->Control(DRIVER_SENSOR_START, {}, {}, error) &&
              sensor->Control(DRIVER_SENSOR_STOP, {}, {}, error));
}

TEST_P(DeviceIoContract, FaultsFailOpensAndRequestsBeforeTheyReachTheDriver) {
  const std::wstring devicePath = mEnv->AddDevice({0, 3, 2});
  const std::wstring sensorPath = mEnv->AddSensor({});
  Plan().Fail(FaultOp::DeviceOpen, DEVICE_ERROR_ACCESS_DENIED, sensorPath);
  uint32_t error = 0;
  EXPECT_NE(mEnv->Io().Open(devicePath, error), nullptr);
  EXPECT_EQ(mEnv->Io().Open(sensorPath, error), nullptr);
  EXPECT_EQ(error, DEVICE_ERROR_ACCESS_DENIED);
  auto device = OpenOrFail(devicePath);
  auto sensor = OpenOrFail(sensorPath);
  ASSERT_TRUE(device && sensor);

  // By code on any device, from the second such request on, twice.
  Plan().Fail(FaultOp::DeviceControl, 0, FaultCodeName(DRIVER_DEVICE_SET_STATE), 2, 2);
  EXPECT_TRUE(Send(*device, DRIVER_DEVICE_SET_STATE, uint32_t{1}));
  ExpectFailure(*device, DRIVER_DEVICE_SET_STATE, 4, 0, DEVICE_ERROR_GEN_FAILURE);
  ExpectFailure(*device, DRIVER_DEVICE_SET_STATE, 4, 0, DEVICE_ERROR_GEN_FAILURE);
  EXPECT_EQ(Read<uint32_t>(*device, DRIVER_DEVICE_GET_STATE), 1u) << "a failed set reached it";
  // By device, every request from now on.
  Plan().Fail(FaultOp::DeviceControl, DEVICE_ERROR_ACCESS_DENIED, sensorPath, 1,
              CFaultPlan::kAlways);
  ExpectFailure(*sensor, DRIVER_SENSOR_GET_TEMP, 0, 4, DEVICE_ERROR_ACCESS_DENIED);
  ExpectFailure(*sensor, DRIVER_SENSOR_GET_INFO, 0, sizeof(_tagSSensorInfoBlock),
                DEVICE_ERROR_ACCESS_DENIED);
  EXPECT_EQ(Read<uint32_t>(*device, DRIVER_DEVICE_GET_STATE), 1u);
  EXPECT_EQ(Plan().Calls(FaultOp::DeviceOpen), 4);
}

TEST_P(DeviceIoContract, UnknownCodesAndShortBuffersFailWithoutEffect) {
  const std::wstring devicePath = mEnv->AddDevice({0, 3, 2});
  const std::wstring sensorPath = mEnv->AddSensor({});
  auto device = OpenOrFail(devicePath);
  auto sensor = OpenOrFail(sensorPath);
  ASSERT_NE(device, nullptr);
  ASSERT_NE(sensor, nullptr);

  // Each kind answers its own codes only.
  ExpectFailure(*sensor, DRIVER_DEVICE_GET_INFO, 0, 28, DEVICE_ERROR_INVALID_FUNCTION);
  ExpectFailure(*sensor, 0x222FFC, 0, 64, DEVICE_ERROR_INVALID_FUNCTION);
  ExpectFailure(*device, DRIVER_SENSOR_GET_TEMP, 0, 4, DEVICE_ERROR_INVALID_FUNCTION);
  ExpectFailure(*device, 0, 0, 64, DEVICE_ERROR_INVALID_FUNCTION);

  ExpectFailure(*sensor, DRIVER_SENSOR_GET_INFO, 0, 55, DEVICE_ERROR_INSUFFICIENT_BUFFER);
  ExpectFailure(*sensor, DRIVER_SENSOR_GET_TEMP, 0, 3, DEVICE_ERROR_INSUFFICIENT_BUFFER);
  ExpectFailure(*sensor, DRIVER_SENSOR_GET_TRIPS, 0, 15, DEVICE_ERROR_INSUFFICIENT_BUFFER);
  ExpectFailure(*sensor, DRIVER_SENSOR_SET_TRIPS, 15, 0, DEVICE_ERROR_INSUFFICIENT_BUFFER);
  ExpectFailure(*device, DRIVER_DEVICE_GET_INFO, 0, 27, DEVICE_ERROR_INSUFFICIENT_BUFFER);
  ExpectFailure(*device, DRIVER_DEVICE_GET_STATE, 0, 3, DEVICE_ERROR_INSUFFICIENT_BUFFER);
  ExpectFailure(*device, DRIVER_DEVICE_SET_STATE, 3, 0, DEVICE_ERROR_INSUFFICIENT_BUFFER);
  ExpectFailure(*device, DRIVER_DEVICE_SHUTDOWN, 3, 0, DEVICE_ERROR_INSUFFICIENT_BUFFER);

  // The refused writes changed nothing.
  EXPECT_EQ(Read<uint32_t>(*device, DRIVER_DEVICE_GET_STATE), 2u);
  const auto trips = Read<_tagSTripBlock>(*sensor, DRIVER_SENSOR_GET_TRIPS);
  EXPECT_EQ(trips.Aux0Temp, 3432);
  EXPECT_EQ(trips.Aux1Temp, 3532);
}

ZIVO_CONTRACT_SUITE(DeviceIoContract, {"Sim", Make<CSimDeviceIoEnv, CDeviceIoEnv>},
                    {"Sysfs", Make<CSysfsDeviceIoEnv, CDeviceIoEnv>});

}  // namespace
