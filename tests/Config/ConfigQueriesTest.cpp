// The policy queries and updates, before and after a file is loaded.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <tuple>

#include "Config/ConfigTest.h"
#include "zivorivizo/OSParticipantMgr.h"

namespace {

const char kPolicy[] =
    "<Device Path=\"ABC\" class=\"3\"><Throttle limit=\"7\" step=\"1\" priority=\"1\"/>"
    "<DUsage enable=\"1\" shutdown=\"1\"/></Device>"
    "<Device Path=\"XYZ\" class=\"4\"><Throttle limit=\"8\" step=\"2\" priority=\"2\"/></Device>"
    "<Sensor Path=\"TZ0\" class=\"2\"><Temperature shutdown=\"95\" ThrottleStart=\"75\"/>"
    "<SUsage enable=\"1\" aux_interval=\"2\"/></Sensor>"
    "<Sensor Path=\"SKIN\" class=\"1\" ThirdParty_DeviceCount=\"2\"><Temperature shutdown=\"45\" "
    "ThrottleStart=\"30\"/><DevicePath Device0=\"FAN0\" Device1=\"FAN1\"/></Sensor>";

_tagSDeviceConfig DeviceUpdate(const std::wstring& path, int limit) {
  _tagSDeviceConfig device;
  device.strPath = path;
  device.iClass = 9;
  device.iThrottleLimit = limit;
  device.iThrottleStep = limit + 1;  // accepted from the host
  device.iPriority = 3;
  device.iUsageEnable = 1;
  device.iUsageShutdown = 1;
  return device;
}

_tagSSensorConfig SensorUpdate(const std::wstring& name, int sensorClass,
                               std::vector<std::wstring> paths) {
  _tagSSensorConfig sensor;
  sensor.strName = name;
  sensor.iClass = sensorClass;
  sensor.iShutdownTemp = 3000;
  sensor.iThrottleStartTemp = 3100;  // accepted from the host
  sensor.iUsageEnable = 1;
  sensor.iAuxInterval = 40;
  sensor.vecDevicePaths = std::move(paths);
  return sensor;
}

std::vector<std::wstring> PathsOf(COSConfigManager* manager, const std::wstring& name,
                                  int result = 0) {
  std::vector<std::wstring> paths = {L"untouched"};
  EXPECT_EQ(manager->GetSensorDevices(name, &paths), result) << ToUtf8(name);
  return paths;
}

}  // namespace

class ConfigQueriesTest : public CConfigTest {};

TEST_F(ConfigQueriesTest, ANotLoadedManagerAnswersWithDefaultsAndRefusesUpdates) {
  COSConfigManager* manager = COSConfigManager::GetInstance(Write("bad.xml", "<bad"));
  EXPECT_EQ(PlatformOf(manager), (Ints{1, 1, 10}));
  _tagSDeviceConfig d;
  d.strPath = L"ANY";
  d.iClass = -7;  // a caller's value the defaults leave alone
  EXPECT_EQ(manager->GetDeviceConfig(d), 0);
  EXPECT_EQ(d.strPath, L"ANY");
  EXPECT_EQ((Ints{d.iClass, d.iThrottleLimit, d.iThrottleStep, d.iPriority, d.iUsageEnable,
                  d.iUsageShutdown}),
            (Ints{-7, 327685, 2, 0, 1, 0}));
  // A skin sensor's defaults, then any other class's.
  EXPECT_EQ(SensorOf(manager, L"S", 1), (Ints{1, 3182, 3032, 1, 20}));
  EXPECT_EQ(SensorOf(manager, L"S", 4), (Ints{4, 3682, 3482, 1, 20}));

  EXPECT_EQ(manager->SetPlatformConfig({0, 5, 1}), ZIVO_CONFIG_NOT_LOADED);
  EXPECT_EQ(manager->SetDeviceConfig(DeviceUpdate(L"ANY", 1)), ZIVO_CONFIG_NOT_LOADED);
  EXPECT_EQ(manager->SetSensorConfig(SensorUpdate(L"S", 1, {})), ZIVO_CONFIG_NOT_LOADED);
  EXPECT_EQ(PlatformOf(manager)[1], 1);  // nothing was stored
  EXPECT_EQ(PathsOf(manager, L"S"), std::vector<std::wstring>{L"untouched"});
}

TEST_F(ConfigQueriesTest, SetDeviceConfigRejectsALimitAboveTheDevicesMax) {
  // The configuration first: discovery would otherwise create the manager
  // with the bare default name.
  const std::wstring path = L"ACPI\\PNP0C14\\1_0";
  COSConfigManager* manager = Load(
      "<Device Path=\"PNP0C14\\1_0\" class=\"2\"><Throttle limit=\"3\" step=\"1\" "
      "priority=\"1\"/></Device>");
  // A firmware device whose Max is 5, and no registry-listed driver.
  Firmware().AddDevice({path, 0, 0, 5, 2});
  const wchar_t parameters[] = L"SOFTWARE\\Zelan\\VOVUZER\\Parameters";
  Registry().SetDword(parameters, L"SensorCount", 0);
  Registry().SetDword(parameters, L"DeviceCount", 0);
  COSParticipantManager* participants = COSParticipantManager::GetInstance();
  ASSERT_NE(participants, nullptr);
  ASSERT_EQ(participants->Enumerate(), 0);
  // The comparison is unsigned: a negative limit is above any Max.
  for (const auto& [limit, result, stored] : std::vector<std::tuple<int, int, int>>{
           {6, ZIVO_CONFIG_REJECTED, 3}, {-1, ZIVO_CONFIG_REJECTED, 3}, {5, 0, 5}}) {
    EXPECT_EQ(manager->SetDeviceConfig(DeviceUpdate(path, limit)), result) << limit;
    EXPECT_EQ(DeviceOf(manager, path)[1], stored) << limit;
  }
  // A device the participant manager does not know cannot be checked.
  EXPECT_EQ(manager->SetDeviceConfig(DeviceUpdate(L"\\\\.\\ZivoFan0", 99)), 0);
  EXPECT_EQ(DeviceOf(manager, L"\\\\.\\ZivoFan0")[1], 99);
}

TEST_F(ConfigQueriesTest, ConcurrentQueriesAndUpdatesSeeWholeRecords) {
  COSConfigManager* manager = Load(kPolicy);
  constexpr int kRounds = 300;
  std::atomic<int> torn{0};
  std::atomic<int> failed{0};
  std::vector<std::thread> threads;
  // Writers keep each record self-consistent (limit == priority, shutdown ==
  // start + 1) and append records so the lists grow under the readers;
  // readers check they never see half of an update.
  for (int w = 0; w < 2; ++w) {
    threads.emplace_back([&, w] {
      for (int k = 1; k <= kRounds; ++k) {
        _tagSDeviceConfig device = DeviceUpdate(L"ABC", k);
        device.iPriority = k;
        _tagSSensorConfig sensor = SensorUpdate(L"SKIN", 1, {std::to_wstring(k)});
        sensor.iShutdownTemp = k + 1;
        sensor.iThrottleStartTemp = k;
        failed += manager->SetDeviceConfig(device) != 0;
        failed += manager->SetSensorConfig(sensor) != 0;
        failed += manager->SetSensorConfig(SensorUpdate(
                      L"W" + std::to_wstring(w) + L"_" + std::to_wstring(k), 2, {})) != 0;
      }
    });
  }
  for (int r = 0; r < 2; ++r) {
    threads.emplace_back([&] {
      for (int k = 0; k < kRounds; ++k) {
        _tagSDeviceConfig device;
        device.strPath = L"ABC";
        _tagSSensorConfig sensor;
        sensor.strName = L"SKIN";
        std::vector<std::wstring> paths;
        if (manager->GetDeviceConfig(device) != 0 || manager->GetSensorConfig(sensor) != 0 ||
            manager->GetSensorDevices(L"SKIN", &paths) != 0 || paths.empty()) {
          ++failed;
        }
        torn += device.iClass == 9 && device.iThrottleLimit != device.iPriority;
        torn +=
            sensor.iShutdownTemp < 3000 && sensor.iShutdownTemp != sensor.iThrottleStartTemp + 1;
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  EXPECT_EQ(torn.load(), 0);
  EXPECT_EQ(failed.load(), 0);
  // Each record added is found as it was added.
  for (int w = 0; w < 2; ++w) {
    for (int k = 1; k <= kRounds; ++k) {
      EXPECT_EQ(SensorOf(manager, L"W" + std::to_wstring(w) + L"_" + std::to_wstring(k)),
                (Ints{2, 3000, 3100, 1, 40}));
    }
  }
}
