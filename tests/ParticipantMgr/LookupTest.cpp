#include <functional>
#include <vector>

#include "ParticipantMgrFixture.h"

namespace {

int Calls(const CFakeDevice& d) {
  return d.mSetLimit.calls + d.mGetLimit.calls + d.mStart.calls + d.mStop.calls + d.mShutdown.calls;
}

int Calls(const CFakeSensor& s) {
  return s.mSetTrip.calls + s.mRefresh.calls + s.mStart.calls + s.mStop.calls + s.mGetTemp.calls +
         s.mGetTrip.calls;
}

}  // namespace

TEST_F(ParticipantMgrTest, ConstructionAndDestructionAreTracedFromTheManagersSource) {
  mMgr.reset();
  EXPECT_EQ(Level("CParticipantMgr Destructor called  "), "DEBUG");
  mLog.Clear();
  mMgr.emplace();
  EXPECT_EQ(Level("CParticipantMgr Constructor called"), "DEBUG");
  EXPECT_NE(mLog.Text().find(" DEBUG : [..\\..\\OSIndep\\ParticipantManager\\ParticipantMgr.cpp:"),
            std::string::npos);
}

TEST_F(ParticipantMgrTest, NamedOperationsReachOnlyTheFirstOfTwoNamesakes) {
  CFakeDevice& fan = Mgr().AddFakeDevice(L"Fan");
  CFakeDevice& fanTwin = Mgr().AddFakeDevice(L"Fan");
  CFakeSensor& cpu = Mgr().AddFakeSensor(L"Cpu");
  CFakeSensor& cpuTwin = Mgr().AddFakeSensor(L"Cpu");
  LinkParticipants(cpu, fan);
  LinkParticipants(cpuTwin, fanTwin);

  _tagSDevice device;
  device.Name = L"Fan";
  _tagSSensor sensor;
  sensor.Name = L"Cpu";
  int temperature = 0;
  std::vector<_tagSDevice> devices;
  std::vector<_tagSSensor> sensors;
  EXPECT_EQ(Mgr().StartDevice(L"Fan"), 0);
  EXPECT_EQ(Mgr().StopDevice(L"Fan"), 0);
  EXPECT_EQ(Mgr().ShutdownDevice(L"Fan", true), 0);
  EXPECT_EQ(Mgr().GetDevice(L"Fan", device), 0);
  EXPECT_EQ(Mgr().SetDevice(device), 0);
  EXPECT_EQ(Mgr().StartSensor(L"Cpu"), 0);
  EXPECT_EQ(Mgr().StopSensor(L"Cpu"), 0);
  EXPECT_EQ(Mgr().GetSensor(L"Cpu", sensor), 0);
  EXPECT_EQ(Mgr().SetSensor(sensor), 0);
  EXPECT_EQ(Mgr().RefreshSensor(L"Cpu"), 0);
  EXPECT_EQ(Mgr().GetCurrentTemperature(L"Cpu", temperature), 0);
  EXPECT_EQ(Mgr().GetDeviceList(L"Cpu", devices), 0);
  EXPECT_EQ(Mgr().GetSensorList(L"Fan", sensors), 0);
  EXPECT_EQ(Calls(fanTwin), 0);
  EXPECT_EQ(Calls(cpuTwin), 0);
  EXPECT_EQ(devices.size(), 1u);
  EXPECT_EQ(sensors.size(), 1u);

  // The comparison is exact: another case is another name.
  EXPECT_EQ(Mgr().StartDevice(L"fan"), ZIVO_DEVICE_NOT_FOUND);

  CDevice* found = nullptr;
  EXPECT_EQ(Mgr().GetDevicePtr(L"Fan", found), 0);
  EXPECT_EQ(found, &fan);
  CSensor* foundSensor = nullptr;
  EXPECT_EQ(Mgr().GetSensorPtr(L"Cpu", foundSensor), 0);
  EXPECT_EQ(foundSensor, &cpu);

  // Once the first is gone its namesake becomes reachable.
  ASSERT_EQ(Mgr().RemoveDevice(L"Fan"), 0);
  ASSERT_EQ(Mgr().RemoveSensor(L"Cpu"), 0);
  EXPECT_EQ(Mgr().StartDevice(L"Fan"), 0);
  EXPECT_EQ(Mgr().StartSensor(L"Cpu"), 0);
  EXPECT_EQ(fanTwin.mStart.calls, 1);
  EXPECT_EQ(cpuTwin.mStart.calls, 1);
}

TEST_F(ParticipantMgrTest, AMissingNameIsReportedAndTouchesNothing) {
  CFakeDevice& fan = Mgr().AddFakeDevice(L"Fan");
  CFakeSensor& cpu = Mgr().AddFakeSensor(L"Cpu");
  LinkParticipants(cpu, fan);

  _tagSDevice device;
  device.Name = L"Ghost";
  device.Current = 7;
  _tagSDevice deviceOut;
  deviceOut.Name = L"kept";
  _tagSSensor sensor;
  sensor.Name = L"Ghost";
  _tagSSensor sensorOut;
  sensorOut.Name = L"kept";
  std::vector<_tagSDevice> devices(1);
  std::vector<_tagSSensor> sensors(1);
  int temperature = 1234;

  struct Case {
    const char* what;
    std::function<int()> call;
    int code;
    std::string message;
    std::string level;
  };
  const std::vector<Case> cases = {
      {"StartDevice", [&] { return Mgr().StartDevice(L"Ghost"); }, ZIVO_DEVICE_NOT_FOUND,
       "Device not found Ghost", "ERROR"},
      {"StopDevice", [&] { return Mgr().StopDevice(L"Ghost"); }, ZIVO_DEVICE_NOT_FOUND,
       "Device not found Ghost", "ERROR"},
      {"ShutdownDevice", [&] { return Mgr().ShutdownDevice(L"Ghost", false); },
       ZIVO_DEVICE_NOT_FOUND, "Device not found Ghost", "ERROR"},
      {"StartSensor", [&] { return Mgr().StartSensor(L"Ghost"); }, ZIVO_SENSOR_NOT_FOUND,
       "Sensor not found Ghost", "ERROR"},
      {"StopSensor", [&] { return Mgr().StopSensor(L"Ghost"); }, ZIVO_SENSOR_NOT_FOUND,
       "Sensor not found Ghost", "ERROR"},
      {"GetDevice", [&] { return Mgr().GetDevice(L"Ghost", deviceOut); }, ZIVO_DEVICE_NOT_FOUND,
       "Device requested was not found. Device Ghost  ", "ERROR"},
      {"SetDevice", [&] { return Mgr().SetDevice(device); }, ZIVO_DEVICE_NOT_FOUND,
       "Device requested was not found. Device Ghost  ", "ERROR"},
      {"GetSensor", [&] { return Mgr().GetSensor(L"Ghost", sensorOut); }, ZIVO_SENSOR_NOT_FOUND,
       "The sensor requested was not found Ghost  ", "ERROR"},
      {"SetSensor", [&] { return Mgr().SetSensor(sensor); }, ZIVO_SENSOR_NOT_FOUND,
       "The sensor requested was not found Ghost  ", "ERROR"},
      {"GetDeviceList", [&] { return Mgr().GetDeviceList(L"Ghost", devices); },
       ZIVO_SENSOR_NOT_FOUND, "The sensor requested was not found. Sensor: Ghost  ", "ERROR"},
      {"GetSensorList", [&] { return Mgr().GetSensorList(L"Ghost", sensors); },
       ZIVO_DEVICE_NOT_FOUND, "The device requested was not found. Device: Ghost  ", "ERROR"},
      {"RemoveDevice", [&] { return Mgr().RemoveDevice(L"Ghost"); }, ZIVO_DEVICE_NOT_FOUND,
       "Remove device: Device not found in list Ghost", "ERROR"},
      {"RemoveSensor", [&] { return Mgr().RemoveSensor(L"Ghost"); }, ZIVO_SENSOR_NOT_FOUND,
       "Remove sensor: Sensor not found in list Ghost", "ERROR"},
      {"RefreshSensor", [&] { return Mgr().RefreshSensor(L"Ghost"); }, ZIVO_SENSOR_NOT_FOUND,
       "Sensor not found", "DEBUG"},
      {"GetCurrentTemperature", [&] { return Mgr().GetCurrentTemperature(L"Ghost", temperature); },
       ZIVO_SENSOR_NOT_FOUND, "Sensor not found", "DEBUG"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    mLog.Clear();
    EXPECT_EQ(c.call(), c.code);
    EXPECT_EQ(Level(c.message), c.level);
  }
  EXPECT_TRUE(Mgr().mJournal.empty());
  EXPECT_EQ(deviceOut.Name, L"kept");
  EXPECT_EQ(sensorOut.Name, L"kept");
  EXPECT_EQ(devices.size(), 1u);
  EXPECT_EQ(sensors.size(), 1u);
  EXPECT_EQ(temperature, 0);
  EXPECT_EQ(fan.mDevice.Current, 0u);
  EXPECT_EQ(Mgr().mDeviceList.size(), 1u);
  EXPECT_EQ(Mgr().mSensorList.size(), 1u);

  CDevice* devicePtr = &fan;
  CSensor* sensorPtr = &cpu;
  mLog.Clear();
  EXPECT_EQ(Mgr().GetDevicePtr(L"Ghost", devicePtr), ZIVO_DEVICE_NOT_FOUND);
  EXPECT_EQ(Mgr().GetSensorPtr(L"Ghost", sensorPtr), ZIVO_SENSOR_NOT_FOUND);
  EXPECT_EQ(devicePtr, &fan);
  EXPECT_EQ(sensorPtr, &cpu);
  EXPECT_EQ(mLog.Text(), "");
}
