// The participant manager's operations on scripted participants: the named
// operations (first of two namesakes, Valid, failures, missing names), the
// whole-list and relationship reads, and removal of doubly linked
// participants.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <vector>

#include "support/SimPlatformTest.h"
#include "support/TestParticipantMgr.h"
#include "zivorivizo/StatusCodes.h"

namespace {

class ParticipantMgrTest : public CSimPlatformTest {
 protected:
  std::optional<CTestParticipantMgr> mMgr{std::in_place};
  CTestParticipantMgr& Mgr() { return *mMgr; }
};

template <typename Record>
std::vector<std::wstring> Names(const std::vector<Record>& records) {
  std::vector<std::wstring> names;
  for (const Record& r : records) names.push_back(r.Name);
  return names;
}

int Calls(const CFakeDevice& d) {
  return d.mSetLimit.calls + d.mGetLimit.calls + d.mStart.calls + d.mStop.calls + d.mShutdown.calls;
}

int Calls(const CFakeSensor& s) {
  return s.mSetTrip.calls + s.mRefresh.calls + s.mStart.calls + s.mStop.calls + s.mGetTemp.calls +
         s.mGetTrip.calls;
}

// A fresh record to read into, and one that names a participant.
template <typename Record>
Record& Scratch() {
  static Record record;
  record = Record{};
  return record;
}
template <typename Record>
Record NamedRecord(const std::wstring& name) {
  Record record;
  record.Name = name;
  return record;
}

using M = CTestParticipantMgr;
using W = const std::wstring&;
using DeviceScript = CScriptedResult CFakeDevice::*;
using SensorScript = CScriptedResult CFakeSensor::*;

// One named operation, called on "Fan" or "Cpu" (linked to each other): the
// call of the fan or of the cpu that a failure is scripted on, whether that
// participant's Valid follows the outcome, and whether the failure comes back
// as the result.
struct NamedOp {
  const char* what;
  const wchar_t* name;
  std::function<int(M&, W)> call;
  DeviceScript fanScript;
  SensorScript cpuScript;
  bool flagsValid;
  bool returnsFailure;
  int notFound;
};

const NamedOp kNamedOps[] = {
    {"StartDevice", L"Fan", [](M& m, W n) { return m.StartDevice(n); }, &CFakeDevice::mStart,
     nullptr, true, true, ZIVO_DEVICE_NOT_FOUND},
    {"StopDevice", L"Fan", [](M& m, W n) { return m.StopDevice(n); }, &CFakeDevice::mStop, nullptr,
     true, true, ZIVO_DEVICE_NOT_FOUND},
    {"ShutdownDevice", L"Fan", [](M& m, W n) { return m.ShutdownDevice(n, false); },
     &CFakeDevice::mShutdown, nullptr, true, true, ZIVO_DEVICE_NOT_FOUND},
    {"GetDevice", L"Fan", [](M& m, W n) { return m.GetDevice(n, Scratch<_tagSDevice>()); },
     &CFakeDevice::mGetLimit, nullptr, true, true, ZIVO_DEVICE_NOT_FOUND},
    {"SetDevice", L"Fan", [](M& m, W n) { return m.SetDevice(NamedRecord<_tagSDevice>(n)); },
     &CFakeDevice::mSetLimit, nullptr, true, true, ZIVO_DEVICE_NOT_FOUND},
    {"GetSensorList", L"Fan",
     [](M& m, W n) { return m.GetSensorList(n, Scratch<std::vector<_tagSSensor>>()); }, nullptr,
     &CFakeSensor::mGetTrip, true, false, ZIVO_DEVICE_NOT_FOUND},
    {"StartSensor", L"Cpu", [](M& m, W n) { return m.StartSensor(n); }, nullptr,
     &CFakeSensor::mStart, true, true, ZIVO_SENSOR_NOT_FOUND},
    {"StopSensor", L"Cpu", [](M& m, W n) { return m.StopSensor(n); }, nullptr, &CFakeSensor::mStop,
     true, true, ZIVO_SENSOR_NOT_FOUND},
    {"GetSensor", L"Cpu", [](M& m, W n) { return m.GetSensor(n, Scratch<_tagSSensor>()); }, nullptr,
     &CFakeSensor::mGetTrip, true, false, ZIVO_SENSOR_NOT_FOUND},
    {"SetSensor", L"Cpu", [](M& m, W n) { return m.SetSensor(NamedRecord<_tagSSensor>(n)); },
     nullptr, &CFakeSensor::mSetTrip, true, true, ZIVO_SENSOR_NOT_FOUND},
    {"GetDeviceList", L"Cpu",
     [](M& m, W n) { return m.GetDeviceList(n, Scratch<std::vector<_tagSDevice>>()); },
     &CFakeDevice::mGetLimit, nullptr, true, false, ZIVO_SENSOR_NOT_FOUND},
    {"RefreshSensor", L"Cpu", [](M& m, W n) { return m.RefreshSensor(n); }, nullptr,
     &CFakeSensor::mRefresh, false, true, ZIVO_SENSOR_NOT_FOUND},
    {"GetCurrentTemperature", L"Cpu",
     [](M& m, W n) { return m.GetCurrentTemperature(n, Scratch<int>()); }, nullptr,
     &CFakeSensor::mGetTemp, false, true, ZIVO_SENSOR_NOT_FOUND},
};

TEST_F(ParticipantMgrTest, NamedOperationsActOnTheFirstNamesakeAndReportThroughValid) {
  for (const NamedOp& op : kNamedOps) {
    SCOPED_TRACE(op.what);
    CTestParticipantMgr m;
    CFakeDevice& fan = m.AddFakeDevice(L"Fan");
    CFakeDevice& fanTwin = m.AddFakeDevice(L"Fan");
    CFakeSensor& cpu = m.AddFakeSensor(L"Cpu");
    CFakeSensor& cpuTwin = m.AddFakeSensor(L"Cpu");
    LinkParticipants(cpu, fan);
    LinkParticipants(cpuTwin, fanTwin);
    CScriptedResult& script = op.fanScript ? fan.*op.fanScript : cpu.*op.cpuScript;
    int32_t& valid = op.fanScript ? fan.mDevice.Valid : cpu.mSensor.Valid;

    valid = 0;
    EXPECT_EQ(op.call(m, op.name), ZIVO_SUCCESS);
    EXPECT_EQ(valid, op.flagsValid ? 1 : 0);
    script.FailOnce(ZIVO_IOCTL_FAILED);
    valid = 1;
    EXPECT_EQ(op.call(m, op.name), op.returnsFailure ? ZIVO_IOCTL_FAILED : ZIVO_SUCCESS);
    EXPECT_EQ(valid, op.flagsValid ? 0 : 1);
    EXPECT_EQ(script.calls, 2);

    // Names compare exactly; a missing one is reported and touches nothing.
    const int before = Calls(fan) + Calls(cpu);
    EXPECT_EQ(op.call(m, L"Ghost"), op.notFound);
    EXPECT_EQ(op.call(m, op.name[0] == L'F' ? L"fan" : L"cpu"), op.notFound);
    EXPECT_EQ(Calls(fan) + Calls(cpu), before);
    EXPECT_EQ(Calls(fanTwin) + Calls(cpuTwin), 0);
  }
}

TEST_F(ParticipantMgrTest, AMissingNameLeavesTheHostsRecordsAlone) {
  CFakeDevice& fan = Mgr().AddFakeDevice(L"Fan");
  CFakeSensor& cpu = Mgr().AddFakeSensor(L"Cpu");
  _tagSDevice device;
  device.Name = L"kept";
  _tagSSensor sensor;
  sensor.Name = L"kept";
  int temperature = 1234;
  EXPECT_EQ(Mgr().GetDevice(L"Ghost", device), ZIVO_DEVICE_NOT_FOUND);
  EXPECT_EQ(Mgr().GetSensor(L"Ghost", sensor), ZIVO_SENSOR_NOT_FOUND);
  EXPECT_EQ(Mgr().GetCurrentTemperature(L"Ghost", temperature), ZIVO_SENSOR_NOT_FOUND);
  EXPECT_EQ(Mgr().RemoveDevice(L"Ghost"), ZIVO_DEVICE_NOT_FOUND);
  EXPECT_EQ(Mgr().RemoveSensor(L"Ghost"), ZIVO_SENSOR_NOT_FOUND);
  EXPECT_EQ(device.Name, L"kept");
  EXPECT_EQ(sensor.Name, L"kept");
  EXPECT_EQ(temperature, 0);
  EXPECT_EQ(Mgr().mDeviceList.size() + Mgr().mSensorList.size(), 2u);

  CDevice* devicePtr = &fan;
  CSensor* sensorPtr = &cpu;
  EXPECT_EQ(Mgr().GetDevicePtr(L"Ghost", devicePtr), ZIVO_DEVICE_NOT_FOUND);
  EXPECT_EQ(Mgr().GetSensorPtr(L"Ghost", sensorPtr), ZIVO_SENSOR_NOT_FOUND);
  EXPECT_EQ(devicePtr, &fan);
  EXPECT_EQ(sensorPtr, &cpu);

  // ShutdownDevice passes its flag on; the temperature read fills the value.
  EXPECT_EQ(Mgr().ShutdownDevice(L"Fan", true), 0);
  EXPECT_EQ(Mgr().ShutdownDevice(L"Fan", false), 0);
  EXPECT_EQ(fan.mShutdownFlags, (std::vector<bool>{true, false}));
  cpu.mTemperature = 3010;
  EXPECT_EQ(Mgr().GetCurrentTemperature(L"Cpu", temperature), 0);
  EXPECT_EQ(temperature, 3010);
}

TEST_F(ParticipantMgrTest, AReadByPositionHoldsOnlyWhileTheListStandsAsListed) {
  CFakeSensor& cpu = Mgr().AddFakeSensor(L"Cpu");
  CFakeSensor& gpu = Mgr().AddFakeSensor(L"Gpu");
  cpu.mTemperature = 3010;
  gpu.mTemperature = 3020;
  const std::uint64_t listed = Mgr().SensorListEdits();
  int temperature = 1;
  EXPECT_EQ(Mgr().GetCurrentTemperatureAt(1, listed, temperature), 0);
  EXPECT_EQ(temperature, 3020);
  EXPECT_EQ(Mgr().GetCurrentTemperatureAt(0, listed, temperature), 0);
  EXPECT_EQ(temperature, 3010);
  gpu.mGetTemp.FailOnce(ZIVO_IOCTL_FAILED);
  EXPECT_EQ(Mgr().GetCurrentTemperatureAt(1, listed, temperature), ZIVO_IOCTL_FAILED);
  temperature = 1;
  EXPECT_EQ(Mgr().GetCurrentTemperatureAt(2, listed, temperature), ZIVO_SENSOR_NOT_FOUND);
  EXPECT_EQ(temperature, 0);

  // Once the list changes, a position of the old listing reads nothing.
  EXPECT_EQ(Mgr().RemoveSensor(L"Cpu"), 0);
  const int reads = Calls(gpu);
  temperature = 1;
  EXPECT_EQ(Mgr().GetCurrentTemperatureAt(0, listed, temperature), ZIVO_SENSOR_NOT_FOUND);
  EXPECT_EQ(temperature, 0);
  EXPECT_EQ(Calls(gpu), reads);
  EXPECT_EQ(Mgr().GetCurrentTemperatureAt(0, Mgr().SensorListEdits(), temperature), 0);
  EXPECT_EQ(temperature, 3020);
}

TEST_F(ParticipantMgrTest, StartAndStopAllNeedBothListsAndGoOnPastFailures) {
  using All = int (CParticipantMgr::*)();
  const std::vector<std::tuple<All, DeviceScript, SensorScript>> ops = {
      {&CParticipantMgr::StartAllParticipants, &CFakeDevice::mStart, &CFakeSensor::mStart},
      {&CParticipantMgr::StopAllParticipants, &CFakeDevice::mStop, &CFakeSensor::mStop}};
  for (const auto& [all, deviceScript, sensorScript] : ops) {
    CTestParticipantMgr m;
    CFakeDevice& fan = m.AddFakeDevice(L"Fan");
    CFakeDevice& gpu = m.AddFakeDevice(L"Gpu");
    EXPECT_EQ((m.*all)(), ZIVO_LIST_EMPTY);
    CTestParticipantMgr sensorsOnly;
    CFakeSensor& lone = sensorsOnly.AddFakeSensor(L"Cpu");
    EXPECT_EQ((sensorsOnly.*all)(), ZIVO_LIST_EMPTY);
    EXPECT_EQ(Calls(fan) + Calls(lone), 0);

    CFakeSensor& cpu = m.AddFakeSensor(L"Cpu");
    CFakeSensor& skin = m.AddFakeSensor(L"Skin", ZIVO_SKIN_SENSOR_CLASS);
    (fan.*deviceScript).FailOnce(ZIVO_IOCTL_FAILED);
    (skin.*sensorScript).FailOnce(ZIVO_WMI_EXEC_FAILED);
    EXPECT_EQ((m.*all)(), 0);
    EXPECT_EQ((gpu.*deviceScript).calls + (cpu.*sensorScript).calls, 2);
    EXPECT_EQ((std::vector<int>{fan.mDevice.Valid, gpu.mDevice.Valid, cpu.mSensor.Valid,
                                skin.mSensor.Valid}),
              (std::vector<int>{0, 1, 1, 0}));
  }
}

TEST_F(ParticipantMgrTest, WholeListReadsAppendEveryRecordAndReturnTheLastResult) {
  std::vector<_tagSDevice> devices(1);
  std::vector<_tagSSensor> sensors(1);
  EXPECT_EQ(Mgr().GetAllDevices(devices), ZIVO_LIST_EMPTY);
  EXPECT_EQ(Mgr().GetActiveDevices(devices), ZIVO_LIST_EMPTY);
  EXPECT_EQ(Mgr().GetAllSensors(sensors), ZIVO_SENSOR_LIST_EMPTY);

  CFakeDevice& fan = Mgr().AddFakeDevice(L"Fan", 9);
  CFakeDevice& lamp = Mgr().AddFakeDevice(L"Lamp", 2);
  CFakeDevice& gpu = Mgr().AddFakeDevice(L"Gpu", 9);
  fan.mGetLimit.FailWith(ZIVO_IOCTL_FAILED);
  gpu.mReportedState = 4;
  EXPECT_EQ(Mgr().GetAllDevices(devices), 0);
  EXPECT_EQ(Names(devices), (std::vector<std::wstring>{L"", L"Fan", L"Lamp", L"Gpu"}));
  EXPECT_EQ(devices[1].Valid, 0);
  EXPECT_EQ(devices[3].Valid, 1);
  EXPECT_EQ(devices[3].Current, 4u);

  // Only type-9 devices are read, and the result is that of the last of them.
  gpu.mGetLimit.FailOnce(ZIVO_STATE_ABOVE_MAX);
  const int lampReads = lamp.mGetLimit.calls;
  devices.clear();
  EXPECT_EQ(Mgr().GetActiveDevices(devices), ZIVO_STATE_ABOVE_MAX);
  EXPECT_EQ(Names(devices), (std::vector<std::wstring>{L"Fan", L"Gpu"}));
  EXPECT_EQ(lamp.mGetLimit.calls, lampReads);
  CTestParticipantMgr noneActive;
  noneActive.AddFakeDevice(L"Lamp", 2);
  devices.clear();
  EXPECT_EQ(noneActive.GetActiveDevices(devices), 0);
  EXPECT_TRUE(devices.empty());

  CFakeSensor& cpu = Mgr().AddFakeSensor(L"Cpu");
  CFakeSensor& skin = Mgr().AddFakeSensor(L"Skin", ZIVO_SKIN_SENSOR_CLASS);
  cpu.mGetTrip.FailOnce(ZIVO_WMI_GET_FAILED);
  EXPECT_EQ(Mgr().GetAllSensors(sensors), 0);
  EXPECT_EQ(Names(sensors), (std::vector<std::wstring>{L"", L"Cpu", L"Skin"}));
  EXPECT_EQ(sensors[1].Valid, 0);
  EXPECT_EQ(sensors[2].Valid, 1);
  skin.mGetTrip.FailOnce(ZIVO_WMI_GET_FAILED);
  EXPECT_EQ(Mgr().GetAllSensors(sensors), ZIVO_WMI_GET_FAILED);
}

TEST_F(ParticipantMgrTest, RelationshipListsFollowTheLinksAndLeaveSkinsOut) {
  CFakeDevice& fan = Mgr().AddFakeDevice(L"Fan");
  std::vector<_tagSDevice> devices(1);
  std::vector<_tagSSensor> sensors(2);
  EXPECT_EQ(Mgr().GetDeviceList(L"Cpu", devices), ZIVO_LIST_EMPTY);
  EXPECT_EQ(Mgr().GetSensorList(L"Fan", sensors), ZIVO_LIST_EMPTY);

  CFakeDevice& gpu = Mgr().AddFakeDevice(L"Gpu");
  CFakeSensor& cpu = Mgr().AddFakeSensor(L"Cpu");
  CFakeSensor& skin = Mgr().AddFakeSensor(L"Skin", ZIVO_SKIN_SENSOR_CLASS);
  CFakeSensor& board = Mgr().AddFakeSensor(L"Board");
  LinkParticipants(cpu, gpu);
  LinkParticipants(cpu, fan);
  LinkParticipants(skin, fan);
  LinkParticipants(board, fan);
  EXPECT_EQ(Mgr().GetDeviceList(L"Cpu", devices), 0);
  EXPECT_EQ(Names(devices), (std::vector<std::wstring>{L"", L"Gpu", L"Fan"}));
  EXPECT_EQ(Mgr().GetSensorList(L"Fan", sensors), 0);
  EXPECT_EQ(Names(sensors), (std::vector<std::wstring>{L"", L"", L"Cpu", L"Board"}));
  EXPECT_EQ(skin.mGetTrip.calls, 0);
}

TEST_F(ParticipantMgrTest, DevicesWithoutSensorsKeepsOnlyTheSkinsUnwatchedDevices) {
  CFakeDevice& fan = Mgr().AddFakeDevice(L"Fan");
  CFakeDevice& gpu = Mgr().AddFakeDevice(L"Gpu");
  CFakeDevice& lamp = Mgr().AddFakeDevice(L"Lamp");
  CFakeSensor& skin = Mgr().AddFakeSensor(L"Skin", ZIVO_SKIN_SENSOR_CLASS);
  CFakeSensor& skinTwin = Mgr().AddFakeSensor(L"Skin", ZIVO_SKIN_SENSOR_CLASS);
  CFakeSensor& back = Mgr().AddFakeSensor(L"Back", ZIVO_SKIN_SENSOR_CLASS);
  CFakeSensor& cpu = Mgr().AddFakeSensor(L"Cpu");
  // The skin holds the fan twice and the cpu watches it once: one record of
  // it stays. Another skin watching the lamp does not take it away.
  for (CDevice* device : std::vector<CDevice*>{&fan, &fan, &gpu}) LinkParticipants(skin, *device);
  LinkParticipants(skinTwin, lamp);
  LinkParticipants(back, lamp);
  LinkParticipants(cpu, fan);
  LinkParticipants(cpu, gpu);
  lamp.mGetLimit.FailOnce(ZIVO_IOCTL_FAILED);
  lamp.mDevice.Valid = 1;
  fan.mReportedState = 3;

  std::vector<_tagSDevice> out(1);
  EXPECT_EQ(Mgr().GetDevicesWithoutSensors(L"Skin", out), 0);
  EXPECT_EQ(Names(out), (std::vector<std::wstring>{L"", L"Fan", L"Lamp"}));
  EXPECT_EQ(lamp.mDevice.Valid, 1) << "a failed refresh is not reported";
  EXPECT_EQ(out[1].Current, 3u) << "the devices are refreshed";
  out.clear();
  // A sensor that is not a skin takes away everything it collected.
  EXPECT_EQ(Mgr().GetDevicesWithoutSensors(L"Cpu", out), 0);
  EXPECT_EQ(Mgr().GetDevicesWithoutSensors(L"Ghost", out), 0);
  EXPECT_TRUE(out.empty());
}

}  // namespace
