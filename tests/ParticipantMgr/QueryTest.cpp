#include <vector>

#include "ParticipantMgrFixture.h"

namespace {

_tagSDevice Record(const wchar_t* name) {
  _tagSDevice record;
  record.Name = name;
  return record;
}

std::vector<std::wstring> Names(const std::vector<_tagSDevice>& records) {
  std::vector<std::wstring> names;
  for (const _tagSDevice& r : records) {
    names.push_back(r.Name);
  }
  return names;
}

}  // namespace

TEST_F(ParticipantMgrTest, WholeListReadsAppendEveryRecordAndReturnTheLastResult) {
  std::vector<_tagSDevice> devices{Record(L"earlier")};
  std::vector<_tagSSensor> sensors(1);
  EXPECT_EQ(Mgr().GetAllDevices(devices), ZIVO_LIST_EMPTY);
  EXPECT_EQ(Mgr().GetActiveDevices(devices), ZIVO_LIST_EMPTY);
  EXPECT_EQ(mLog.CountMessage("Empty Device link list passed  "), 2);
  EXPECT_EQ(Mgr().GetAllSensors(sensors), ZIVO_SENSOR_LIST_EMPTY);
  EXPECT_EQ(Level("Link list empty"), "ERROR");

  CFakeDevice& fan = Mgr().AddFakeDevice(L"Fan", 9);
  CFakeDevice& lamp = Mgr().AddFakeDevice(L"Lamp", 2);
  CFakeDevice& gpu = Mgr().AddFakeDevice(L"Gpu", 9);
  fan.mGetLimit.FailWith(ZIVO_IOCTL_FAILED);
  gpu.mReportedState = 4;
  mLog.Clear();
  EXPECT_EQ(Mgr().GetAllDevices(devices), 0);
  EXPECT_EQ(Names(devices), (std::vector<std::wstring>{L"earlier", L"Fan", L"Lamp", L"Gpu"}));
  EXPECT_EQ(devices[1].Valid, 0);
  EXPECT_EQ(devices[3].Valid, 1);
  EXPECT_EQ(devices[3].Current, 4u);
  EXPECT_EQ(Level("CParticipantMgr GetAllDevices called  "), "DEBUG");
  EXPECT_EQ(Level("Refresh Device Failed. Error code: 114, Device: Fan  "), "ERROR");

  // Only type-9 devices are read, and the result is that of the last of them.
  gpu.mGetLimit.FailOnce(ZIVO_STATE_ABOVE_MAX);
  const int lampReads = lamp.mGetLimit.calls;
  devices.clear();
  mLog.Clear();
  EXPECT_EQ(Mgr().GetActiveDevices(devices), ZIVO_STATE_ABOVE_MAX);
  EXPECT_EQ(Names(devices), (std::vector<std::wstring>{L"Fan", L"Gpu"}));
  EXPECT_EQ(lamp.mGetLimit.calls, lampReads);
  EXPECT_EQ(Level("GetActiveDevices called"), "DEBUG");
  EXPECT_EQ(Level("Refresh Device Failed. Error code: 163, Device: Gpu  "), "ERROR");

  CTestParticipantMgr noneActive;
  noneActive.AddFakeDevice(L"Lamp", 2);
  devices.clear();
  EXPECT_EQ(noneActive.GetActiveDevices(devices), 0);
  EXPECT_TRUE(devices.empty());

  CFakeSensor& cpu = Mgr().AddFakeSensor(L"Cpu");
  CFakeSensor& skin = Mgr().AddFakeSensor(L"Skin", ZIVO_SKIN_SENSOR_CLASS);
  cpu.mGetTrip.FailOnce(ZIVO_WMI_GET_FAILED);
  mLog.Clear();
  EXPECT_EQ(Mgr().GetAllSensors(sensors), 0);
  ASSERT_EQ(sensors.size(), 3u);
  EXPECT_EQ(sensors[1].Name, L"Cpu");
  EXPECT_EQ(sensors[1].Valid, 0);
  EXPECT_EQ(sensors[2].Valid, 1);
  EXPECT_EQ(Level("CParticipantMgr GetAllSensors called $$$$ "), "DEBUG");
  EXPECT_EQ(Level("GetSensorTripValue Failed. Error code: 155, Sensor: Cpu  "), "ERROR");
  skin.mGetTrip.FailOnce(ZIVO_WMI_GET_FAILED);
  EXPECT_EQ(Mgr().GetAllSensors(sensors), ZIVO_WMI_GET_FAILED);
}

TEST_F(ParticipantMgrTest, GetAndSetOfOneDeviceCopyOnlyWhatTheyShould) {
  CFakeDevice& fan = Mgr().AddFakeDevice(L"Fan");
  fan.mDevice.Max = 5;
  fan.mReportedState = 2;
  _tagSDevice out = Record(L"kept");

  fan.mGetLimit.FailOnce(ZIVO_IOCTL_FAILED);
  EXPECT_EQ(Mgr().GetDevice(L"Fan", out), ZIVO_IOCTL_FAILED);
  EXPECT_EQ(out.Name, L"kept");
  EXPECT_EQ(fan.mDevice.Valid, 0);
  EXPECT_EQ(Level("CParticipantMgr GetDevice called for Fan"), "DEBUG");
  EXPECT_EQ(Level("Refresh Device failed. Error: 114, Device Fan  "), "ERROR");

  EXPECT_EQ(Mgr().GetDevice(L"Fan", out), 0);
  EXPECT_EQ(out.Name, L"Fan");
  EXPECT_EQ(out.Current, 2u);
  EXPECT_EQ(out.Valid, 1);

  // Only Current is taken from the host's record.
  _tagSDevice request = Record(L"Fan");
  request.Current = 4;
  request.Max = 99;
  request.Class = 7;
  request.Valid = 0;
  fan.mReportedState = 4;
  mLog.Clear();
  EXPECT_EQ(Mgr().SetDevice(request), 0);
  EXPECT_EQ(fan.mRequestedStates.back(), 4u);
  EXPECT_EQ(fan.mDevice.Max, 5u);
  EXPECT_EQ(fan.mDevice.Class, 0u);
  EXPECT_EQ(fan.mDevice.Valid, 1);
  EXPECT_EQ(Level("CParticipantMgr SetDevice called for Fan"), "DEBUG");
  EXPECT_EQ(Level("USThrottleControlCurrent is 4"), "DEBUG");

  // The device settles on another state than the one asked for.
  request.Current = 3;
  mLog.Clear();
  EXPECT_EQ(Mgr().SetDevice(request), ZIVO_THROTTLE_MISMATCH);
  EXPECT_EQ(fan.mDevice.Valid, 0);
  EXPECT_EQ(Level("Device Update Failed. Error: 103, Device: Fan "), "ERROR");
}

TEST_F(ParticipantMgrTest, GetAndSetOfOneSensorCopyOnlyWhatTheyShould) {
  CFakeSensor& cpu = Mgr().AddFakeSensor(L"Cpu");
  cpu.mSensor.TripPoints = {{0, 3000}, {1, 3100}};
  cpu.mReportedTrips = {{1, 3150}};
  _tagSSensor out;

  // A failed trip read still fills the copy; Valid carries the failure.
  cpu.mGetTrip.FailOnce(ZIVO_WMI_GET_FAILED);
  EXPECT_EQ(Mgr().GetSensor(L"Cpu", out), 0);
  EXPECT_EQ(out.Name, L"Cpu");
  EXPECT_EQ(out.Valid, 0);
  EXPECT_EQ(out.TempHistory.size(), 3u);
  EXPECT_EQ(Level("CParticipantMgr GetSensor called for Cpu"), "DEBUG");
  EXPECT_EQ(Level(" GetSensorTripValue failed. Error 155, Sensor Cpu  "), "ERROR");

  EXPECT_EQ(Mgr().GetSensor(L"Cpu", out), 0);
  EXPECT_EQ(out.Valid, 1);
  EXPECT_EQ(out.TripPoints[1].Temp, 3150);

  // Only the trip points are taken from the host's record.
  _tagSSensor request;
  request.Name = L"Cpu";
  request.Class = 4;
  request.TripPoints = {{0, 3300}, {1, 3400}};
  mLog.Clear();
  EXPECT_EQ(Mgr().SetSensor(request), 0);
  ASSERT_EQ(cpu.mWrittenTrips.size(), 1u);
  EXPECT_EQ(cpu.mWrittenTrips[0][0].Temp, 3300);
  EXPECT_EQ(cpu.mWrittenTrips[0][1].Temp, 3400);
  EXPECT_EQ(cpu.mSensor.Class, 0u);
  EXPECT_EQ(cpu.mSensor.TempHistory.size(), 3u);
  EXPECT_EQ(cpu.mSensor.Valid, 1);
  EXPECT_EQ(Level("CParticipantMgr SetSensor called Cpu"), "DEBUG");

  cpu.mSetTrip.FailOnce(ZIVO_TRIP_MISMATCH);
  EXPECT_EQ(Mgr().SetSensor(request), ZIVO_TRIP_MISMATCH);
  EXPECT_EQ(cpu.mSensor.Valid, 0);
  EXPECT_EQ(Level("Update Sensor failed. Error 109, Sensor Cpu "), "ERROR");
}

TEST_F(ParticipantMgrTest, RelationshipListsFollowTheLinks) {
  CFakeDevice& fan = Mgr().AddFakeDevice(L"Fan");
  std::vector<_tagSDevice> devices{Record(L"earlier")};
  std::vector<_tagSSensor> sensors(2);
  EXPECT_EQ(Mgr().GetDeviceList(L"Cpu", devices), ZIVO_LIST_EMPTY);
  EXPECT_EQ(Mgr().GetSensorList(L"Fan", sensors), ZIVO_LIST_EMPTY);
  EXPECT_EQ(mLog.CountMessage("Link list empty"), 2);

  CFakeDevice& gpu = Mgr().AddFakeDevice(L"Gpu");
  CFakeSensor& cpu = Mgr().AddFakeSensor(L"Cpu");
  CFakeSensor& skin = Mgr().AddFakeSensor(L"Skin", ZIVO_SKIN_SENSOR_CLASS);
  CFakeSensor& board = Mgr().AddFakeSensor(L"Board");
  LinkParticipants(cpu, gpu);
  LinkParticipants(cpu, fan);
  LinkParticipants(skin, fan);
  LinkParticipants(board, fan);

  // Devices in link order, refreshed; a failure shows only in Valid.
  gpu.mGetLimit.FailOnce(ZIVO_IOCTL_FAILED);
  mLog.Clear();
  EXPECT_EQ(Mgr().GetDeviceList(L"Cpu", devices), 0);
  EXPECT_EQ(Names(devices), (std::vector<std::wstring>{L"earlier", L"Gpu", L"Fan"}));
  EXPECT_EQ(devices[1].Valid, 0);
  EXPECT_EQ(devices[2].Valid, 1);
  EXPECT_EQ(Level("CParticipantMgr GetDeviceList called for Cpu"), "DEBUG");
  EXPECT_EQ(mLog.Lines().size(), 1u);

  // The skin sensor watching the fan is neither read nor returned, and the
  // count covers the records that were there before.
  board.mGetTrip.FailOnce(ZIVO_WMI_GET_FAILED);
  mLog.Clear();
  EXPECT_EQ(Mgr().GetSensorList(L"Fan", sensors), 0);
  ASSERT_EQ(sensors.size(), 4u);
  EXPECT_EQ(sensors[2].Name, L"Cpu");
  EXPECT_EQ(sensors[3].Name, L"Board");
  EXPECT_EQ(sensors[3].Valid, 0);
  EXPECT_EQ(skin.mGetTrip.calls, 0);
  EXPECT_EQ(Level("GetSensorList called for Fan"), "DEBUG");
  EXPECT_EQ(Level(" GetSensorTripValue failed. Error 155, Sensor Board  "), "ERROR");
  EXPECT_EQ(Level("Returning, 4"), "DEBUG");
}

TEST_F(ParticipantMgrTest, DevicesWithoutSensorsKeepsOnlyTheSkinsUnwatchedDevices) {
  CFakeDevice& fan = Mgr().AddFakeDevice(L"Fan");
  CFakeDevice& gpu = Mgr().AddFakeDevice(L"Gpu");
  CFakeDevice& lamp = Mgr().AddFakeDevice(L"Lamp");
  CFakeSensor& skin = Mgr().AddFakeSensor(L"Skin", ZIVO_SKIN_SENSOR_CLASS);
  CFakeSensor& otherSkin = Mgr().AddFakeSensor(L"Back", ZIVO_SKIN_SENSOR_CLASS);
  CFakeSensor& cpu = Mgr().AddFakeSensor(L"Cpu");
  LinkParticipants(skin, fan);
  LinkParticipants(skin, gpu);
  LinkParticipants(skin, lamp);
  LinkParticipants(otherSkin, lamp);
  LinkParticipants(cpu, fan);
  LinkParticipants(cpu, gpu);

  // Another skin watching the lamp does not take it away; a failed refresh
  // leaves Valid alone.
  lamp.mGetLimit.FailOnce(ZIVO_IOCTL_FAILED);
  lamp.mDevice.Valid = 1;
  std::vector<_tagSDevice> out{Record(L"earlier")};
  EXPECT_EQ(Mgr().GetDevicesWithoutSensors(L"Skin", out), 0);
  EXPECT_EQ(Names(out), (std::vector<std::wstring>{L"earlier", L"Lamp"}));
  EXPECT_EQ(lamp.mDevice.Valid, 1);
  EXPECT_EQ(Level("GetDevicesWithoutSensors called for Skin Skin"), "DEBUG");
  EXPECT_EQ(Level("Inserting Gpu"), "DEBUG");
  EXPECT_EQ(Level("This skin has 3 devices"), "DEBUG");

  // A skin whose two devices the cpu also watches adds nothing.
  CFakeSensor& lid = Mgr().AddFakeSensor(L"Lid", ZIVO_SKIN_SENSOR_CLASS);
  LinkParticipants(lid, fan);
  LinkParticipants(lid, gpu);
  out.clear();
  EXPECT_EQ(Mgr().GetDevicesWithoutSensors(L"Lid", out), 0);
  EXPECT_TRUE(out.empty());

  // A sensor that is not a skin takes away everything it collected.
  EXPECT_EQ(Mgr().GetDevicesWithoutSensors(L"Cpu", out), 0);
  EXPECT_TRUE(out.empty());

  // No such sensor: no error, nothing added.
  mLog.Clear();
  EXPECT_EQ(Mgr().GetDevicesWithoutSensors(L"Ghost", out), 0);
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(Level("This skin has 0 devices"), "DEBUG");
}

// Every sensor of the skin's name contributes, and each watching link removes
// one record: a skin linked twice to a device that one other sensor watches
// keeps one record of it.
TEST_F(ParticipantMgrTest, DevicesWithoutSensorsCountsEveryNamesakeAndEveryLink) {
  CFakeDevice& fan = Mgr().AddFakeDevice(L"Fan");
  CFakeDevice& gpu = Mgr().AddFakeDevice(L"Gpu");
  CFakeSensor& skin = Mgr().AddFakeSensor(L"Skin", ZIVO_SKIN_SENSOR_CLASS);
  CFakeSensor& skinTwin = Mgr().AddFakeSensor(L"Skin", ZIVO_SKIN_SENSOR_CLASS);
  CFakeSensor& cpu = Mgr().AddFakeSensor(L"Cpu");
  LinkParticipants(skin, fan);
  LinkParticipants(skin, fan);
  LinkParticipants(skinTwin, gpu);
  LinkParticipants(cpu, fan);
  std::vector<_tagSDevice> out;
  EXPECT_EQ(Mgr().GetDevicesWithoutSensors(L"Skin", out), 0);
  EXPECT_EQ(Names(out), (std::vector<std::wstring>{L"Fan", L"Gpu"}));
}
