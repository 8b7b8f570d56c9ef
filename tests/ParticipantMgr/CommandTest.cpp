#include <functional>
#include <vector>

#include "ParticipantMgrFixture.h"

// Start, Stop and Shutdown of one participant: the result passes through, the
// record's Valid follows it both ways, and a failure is logged by name.
TEST_F(ParticipantMgrTest, ACommandPassesItsResultThroughAndSetsValid) {
  CFakeDevice& fan = Mgr().AddFakeDevice(L"Fan");
  CFakeSensor& cpu = Mgr().AddFakeSensor(L"Cpu");

  struct Case {
    const char* what;
    CScriptedResult& script;
    int32_t& valid;
    std::function<int()> call;
    std::string entry;
    std::string failure;
  };
  const std::vector<Case> cases = {
      {"StartDevice", fan.mStart, fan.mDevice.Valid, [&] { return Mgr().StartDevice(L"Fan"); },
       "CParticipantMgr StartDevice called Fan", "Start device failed. device: Fan  "},
      {"StopDevice", fan.mStop, fan.mDevice.Valid, [&] { return Mgr().StopDevice(L"Fan"); },
       "CParticipantMgr StopDevice called Fan", "Stop device failed. device: Fan  "},
      {"ShutdownDevice true", fan.mShutdown, fan.mDevice.Valid,
       [&] { return Mgr().ShutdownDevice(L"Fan", true); },
       "CParticipantMgr ShutdownDevice called for starting Fan",
       "ShutDown device failed. device: Fan  "},
      {"ShutdownDevice false", fan.mShutdown, fan.mDevice.Valid,
       [&] { return Mgr().ShutdownDevice(L"Fan", false); },
       "CParticipantMgr ShutdownDevice called for shutting down Fan",
       "ShutDown device failed. device: Fan  "},
      {"StartSensor", cpu.mStart, cpu.mSensor.Valid, [&] { return Mgr().StartSensor(L"Cpu"); },
       "CParticipantMgr StartSensor called Cpu", "Start sensor failed. Sensor: Cpu  "},
      {"StopSensor", cpu.mStop, cpu.mSensor.Valid, [&] { return Mgr().StopSensor(L"Cpu"); },
       "CParticipantMgr StopSensor called Cpu", "Stop sensor failed. Sensor: Cpu  "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    mLog.Clear();
    c.valid = 0;
    EXPECT_EQ(c.call(), 0);
    EXPECT_EQ(c.valid, 1);
    EXPECT_EQ(Level(c.entry), "DEBUG");

    mLog.Clear();
    c.script.FailOnce(ZIVO_IOCTL_FAILED);
    EXPECT_EQ(c.call(), ZIVO_IOCTL_FAILED);
    EXPECT_EQ(c.valid, 0);
    EXPECT_EQ(Level(c.failure), "ERROR");
  }
  EXPECT_EQ(fan.mShutdownFlags, (std::vector<bool>{true, true, false, false}));
}

TEST_F(ParticipantMgrTest, StartAndStopAllNeedBothListsAndGoOnPastFailures) {
  CFakeDevice& fan = Mgr().AddFakeDevice(L"Fan");
  CFakeDevice& gpu = Mgr().AddFakeDevice(L"Gpu");
  EXPECT_EQ(Mgr().StartAllParticipants(), ZIVO_LIST_EMPTY);
  EXPECT_EQ(Mgr().StopAllParticipants(), ZIVO_LIST_EMPTY);
  EXPECT_EQ(Level("CParticipantMgr StartAllParticipants called"), "DEBUG");
  EXPECT_EQ(Level("CParticipantMgr StopAllParticipants called  "), "DEBUG");
  EXPECT_EQ(mLog.CountMessage("Link list empty"), 2);
  EXPECT_EQ(Level("Link list empty"), "ERROR");
  EXPECT_TRUE(Mgr().mJournal.empty());

  CFakeSensor& cpu = Mgr().AddFakeSensor(L"Cpu");
  CFakeSensor& skin = Mgr().AddFakeSensor(L"Skin", ZIVO_SKIN_SENSOR_CLASS);
  fan.mStart.FailOnce(ZIVO_IOCTL_FAILED);
  skin.mStart.FailOnce(ZIVO_WMI_EXEC_FAILED);
  mLog.Clear();
  EXPECT_EQ(Mgr().StartAllParticipants(), 0);
  EXPECT_EQ(Mgr().mJournal,
            (CCallJournal{L"Fan.Start", L"Gpu.Start", L"Cpu.Start", L"Skin.Start"}));
  EXPECT_EQ(fan.mDevice.Valid, 0);
  EXPECT_EQ(gpu.mDevice.Valid, 1);
  EXPECT_EQ(cpu.mSensor.Valid, 1);
  EXPECT_EQ(skin.mSensor.Valid, 0);
  EXPECT_EQ(Level("Start device failed. Device: Fan  "), "ERROR");
  EXPECT_EQ(Level("Start sensor failed. Sensor: Skin  "), "ERROR");

  gpu.mStop.FailOnce(ZIVO_IOCTL_FAILED);
  cpu.mStop.FailOnce(ZIVO_IOCTL_FAILED);
  Mgr().mJournal.clear();
  mLog.Clear();
  EXPECT_EQ(Mgr().StopAllParticipants(), 0);
  EXPECT_EQ(Mgr().mJournal, (CCallJournal{L"Fan.Stop", L"Gpu.Stop", L"Cpu.Stop", L"Skin.Stop"}));
  EXPECT_EQ(fan.mDevice.Valid, 1);
  EXPECT_EQ(gpu.mDevice.Valid, 0);
  EXPECT_EQ(cpu.mSensor.Valid, 0);
  EXPECT_EQ(skin.mSensor.Valid, 1);
  EXPECT_EQ(Level("Stop device failed. Device: Gpu  "), "ERROR");
  EXPECT_EQ(Level("Stop sensor failed. Sensor: Cpu  "), "ERROR");

  // Sensors without devices are refused the same way.
  CTestParticipantMgr sensorsOnly;
  sensorsOnly.AddFakeSensor(L"Cpu");
  EXPECT_EQ(sensorsOnly.StartAllParticipants(), ZIVO_LIST_EMPTY);
  EXPECT_TRUE(sensorsOnly.mJournal.empty());
}

// Refresh and the temperature read report their result but leave Valid as
// it was, whichever way it was.
TEST_F(ParticipantMgrTest, RefreshAndTemperatureLeaveValidAlone) {
  CFakeSensor& cpu = Mgr().AddFakeSensor(L"Cpu");
  cpu.mTemperature = 3010;
  int temperature = -1;

  cpu.mSensor.Valid = 0;
  EXPECT_EQ(Mgr().RefreshSensor(L"Cpu"), 0);
  EXPECT_EQ(Mgr().GetCurrentTemperature(L"Cpu", temperature), 0);
  EXPECT_EQ(temperature, 3010);
  EXPECT_EQ(cpu.mSensor.Valid, 0);
  EXPECT_EQ(cpu.mSensor.TempHistory.front().Temp, 3010);
  EXPECT_EQ(Level("Refresh called for Cpu"), "DEBUG");
  EXPECT_EQ(Level("GetCurrentTemperature called for Cpu"), "DEBUG");

  cpu.mSensor.Valid = 1;
  cpu.mRefresh.FailOnce(ZIVO_IOCTL_FAILED);
  cpu.mGetTemp.FailOnce(ZIVO_WMI_EXEC_FAILED);
  mLog.Clear();
  EXPECT_EQ(Mgr().RefreshSensor(L"Cpu"), ZIVO_IOCTL_FAILED);
  EXPECT_EQ(Mgr().GetCurrentTemperature(L"Cpu", temperature), ZIVO_WMI_EXEC_FAILED);
  EXPECT_EQ(temperature, 0);
  EXPECT_EQ(cpu.mSensor.Valid, 1);
  EXPECT_EQ(Level("Sensor refresh failed"), "ERROR");
  EXPECT_EQ(Level("Sensor get currnet temp failed"), "ERROR");
}
