#include <vector>

#include "ParticipantMgrFixture.h"

// A sensor linked twice to a device (its own list and the configuration both
// name it) holds two entries, and the device two of the sensor. Removing
// either side must leave no pointer to the destroyed object anywhere; the
// queries afterwards walk the links, so a dangling entry is caught here (and
// by the address sanitizer).
TEST_F(ParticipantMgrTest, RemovingADeviceUnlinksEveryEntryStopsAndDestroysIt) {
  CFakeDevice& fan = Mgr().AddFakeDevice(L"Fan");
  CFakeDevice& gpu = Mgr().AddFakeDevice(L"Gpu");
  CFakeSensor& cpu = Mgr().AddFakeSensor(L"Cpu");
  CFakeSensor& skin = Mgr().AddFakeSensor(L"Skin", ZIVO_SKIN_SENSOR_CLASS);
  LinkParticipants(cpu, fan);
  LinkParticipants(cpu, gpu);
  LinkParticipants(cpu, fan);
  LinkParticipants(skin, fan);
  bool destroyed = false;
  fan.mOnDestroy = [&] { destroyed = true; };
  // A failing Stop does not keep the device.
  fan.mStop.FailWith(ZIVO_IOCTL_FAILED);

  EXPECT_EQ(Mgr().RemoveDevice(L"Fan"), 0);
  EXPECT_TRUE(destroyed);
  EXPECT_EQ(Mgr().mJournal.back(), L"Fan.Stop");
  EXPECT_EQ(Mgr().mDeviceList, (std::list<CDevice*>{&gpu}));
  EXPECT_EQ(cpu.mLinkedDevices, (std::vector<CDevice*>{&gpu}));
  EXPECT_TRUE(skin.mLinkedDevices.empty());
  EXPECT_EQ(Level("Remove Device called. Fan"), "DEBUG");
  EXPECT_EQ(Level("Removed device from list"), "DEBUG");
  EXPECT_EQ(mLog.CountMessage("Erased Link from Cpu"), 2);
  EXPECT_EQ(mLog.CountMessage("Erased Link from Skin"), 1);

  std::vector<_tagSDevice> devices;
  EXPECT_EQ(Mgr().GetDeviceList(L"Cpu", devices), 0);
  EXPECT_EQ(devices.size(), 1u);
}

TEST_F(ParticipantMgrTest, RemovingASensorUnlinksEveryEntryStopsAndDestroysIt) {
  CFakeDevice& fan = Mgr().AddFakeDevice(L"Fan");
  CFakeDevice& gpu = Mgr().AddFakeDevice(L"Gpu");
  CFakeSensor& cpu = Mgr().AddFakeSensor(L"Cpu");
  CFakeSensor& board = Mgr().AddFakeSensor(L"Board");
  LinkParticipants(cpu, fan);
  LinkParticipants(board, fan);
  LinkParticipants(cpu, fan);
  LinkParticipants(cpu, gpu);
  bool destroyed = false;
  cpu.mOnDestroy = [&] { destroyed = true; };
  cpu.mStop.FailWith(ZIVO_IOCTL_FAILED);

  EXPECT_EQ(Mgr().RemoveSensor(L"Cpu"), 0);
  EXPECT_TRUE(destroyed);
  EXPECT_EQ(Mgr().mJournal.back(), L"Cpu.Stop");
  EXPECT_EQ(Mgr().mSensorList, (std::list<CSensor*>{&board}));
  EXPECT_EQ(fan.mLinkedSensors, (std::vector<CSensor*>{&board}));
  EXPECT_TRUE(gpu.mLinkedSensors.empty());
  EXPECT_EQ(Level("Remove Sensor called. Cpu"), "DEBUG");
  EXPECT_EQ(mLog.CountMessage("Removed ref from Fan"), 2);
  EXPECT_EQ(mLog.CountMessage("Removed ref from Gpu"), 1);

  std::vector<_tagSSensor> sensors;
  EXPECT_EQ(Mgr().GetSensorList(L"Fan", sensors), 0);
  ASSERT_EQ(sensors.size(), 1u);
  EXPECT_EQ(sensors[0].Name, L"Board");
}

// Links whose two sides disagree (a device holding the sensor once more than
// the sensor holds the device) still leave no device pointing at the removed
// sensor.
TEST_F(ParticipantMgrTest, RemovingASensorClearsLinksTheSensorDidNotKnowOf) {
  CFakeDevice& fan = Mgr().AddFakeDevice(L"Fan");
  CFakeDevice& gpu = Mgr().AddFakeDevice(L"Gpu");
  CFakeSensor& cpu = Mgr().AddFakeSensor(L"Cpu");
  LinkParticipants(cpu, fan);
  fan.mLinkedSensors.push_back(&cpu);
  gpu.mLinkedSensors.push_back(&cpu);

  EXPECT_EQ(Mgr().RemoveSensor(L"Cpu"), 0);
  EXPECT_TRUE(fan.mLinkedSensors.empty());
  EXPECT_TRUE(gpu.mLinkedSensors.empty());
}
