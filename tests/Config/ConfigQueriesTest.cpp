// The policy queries and updates, before and after a file is loaded.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "support/ConfigFileTest.h"
#include "zivorivizo/OSConfigMgr.h"
#include "zivorivizo/OSParticipantMgr.h"
#include "zivorivizo/StatusCodes.h"

namespace {

const char kDevices[] =
    "<Device Path=\"ABC\" class=\"3\"><Throttle limit=\"7\" step=\"1\" priority=\"1\"/>"
    "<DUsage enable=\"1\" shutdown=\"1\"/></Device>"
    "<Device Path=\"XYZ\" class=\"4\"><Throttle limit=\"8\" step=\"2\" priority=\"2\"/></Device>";
const char kSensors[] =
    "<Sensor Path=\"TZ0\" class=\"2\"><Temperature shutdown=\"95\" ThrottleStart=\"75\"/>"
    "<SUsage enable=\"1\" aux_interval=\"2\"/></Sensor>"
    "<Sensor Path=\"SKIN\" class=\"1\" ThirdParty_DeviceCount=\"2\"><Temperature shutdown=\"45\" "
    "ThrottleStart=\"30\"/><DevicePath Device0=\"FAN0\" Device1=\"FAN1\"/></Sensor>";

_tagSDeviceConfig DeviceQuery(const std::wstring& path) {
  _tagSDeviceConfig device;
  device.strPath = path;
  device.iClass = -7;  // a caller's value the defaults leave alone
  return device;
}

_tagSDeviceConfig DeviceUpdate(const std::wstring& path, int limit) {
  _tagSDeviceConfig device;
  device.strPath = path;
  device.iClass = 9;
  device.iThrottleLimit = limit;
  device.iThrottleStep = limit + 1;  // accepted from the host
  device.iPriority = 3;
  device.iUsageEnable = 1;
  device.iUsageShutdown = 1;
  device.strReserved1 = L"not stored";
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

}  // namespace

class ConfigQueriesTest : public CConfigFileTest {
 protected:
  COSConfigManager* LoadPolicy(const std::string& body = std::string(kDevices) + kSensors) {
    COSConfigManager* manager =
        COSConfigManager::GetInstance(Write("velmarconfig.xml", ConfigText(body)));
    mLog.Clear();
    return manager;
  }
  // A manager whose file did not load.
  COSConfigManager* NotLoaded() {
    COSConfigManager* manager = COSConfigManager::GetInstance(Write("bad.xml", "<bad"));
    mLog.Clear();
    return manager;
  }
};

TEST_F(ConfigQueriesTest, ANotLoadedManagerAnswersWithDefaultsAndRefusesUpdates) {
  COSConfigManager* manager = NotLoaded();

  _tagSPlatformConfig platform{7, 7, 7};
  EXPECT_EQ(manager->GetPlatformConfig(platform), 0);
  EXPECT_EQ((std::vector<int>{platform.iShutdownOption, platform.iShutdownTimer,
                              platform.iThrottlePreference}),
            (std::vector<int>{1, 1, 10}));
  _tagSDeviceConfig d = DeviceQuery(L"ANY");
  EXPECT_EQ(manager->GetDeviceConfig(d), 0);
  EXPECT_EQ(d.strPath, L"ANY");
  EXPECT_EQ((std::vector<int>{d.iClass, d.iThrottleLimit, d.iThrottleStep, d.iPriority,
                              d.iUsageEnable, d.iUsageShutdown}),
            (std::vector<int>{-7, 327685, 2, 0, 1, 0}));
  // A skin sensor's defaults, then any other class's.
  for (const auto& [sensorClass, expected] : std::vector<std::pair<int, std::vector<int>>>{
           {1, {3182, 3032, 1, 20}}, {4, {3682, 3482, 1, 20}}}) {
    _tagSSensorConfig s;
    s.strName = L"S";
    s.iClass = sensorClass;
    EXPECT_EQ(manager->GetSensorConfig(s), 0);
    EXPECT_EQ(
        (std::vector<int>{s.iShutdownTemp, s.iThrottleStartTemp, s.iUsageEnable, s.iAuxInterval}),
        expected);
  }

  EXPECT_EQ(manager->SetPlatformConfig({0, 5, 1}), ZIVO_CONFIG_NOT_LOADED);
  EXPECT_EQ(manager->SetDeviceConfig(DeviceUpdate(L"ANY", 1)), ZIVO_CONFIG_NOT_LOADED);
  EXPECT_EQ(manager->SetSensorConfig(SensorUpdate(L"S", 1, {})), ZIVO_CONFIG_NOT_LOADED);
  // Nothing was stored: the defaults still answer.
  EXPECT_EQ(manager->GetPlatformConfig(platform), 0);
  EXPECT_EQ(platform.iShutdownTimer, 1);

  std::vector<std::wstring> paths = {L"untouched"};
  EXPECT_EQ(manager->GetSensorDevices(L"S", &paths), 0);
  EXPECT_EQ(paths, std::vector<std::wstring>{L"untouched"});
}

TEST_F(ConfigQueriesTest, DeviceRecordsMatchTheFirstFragmentContainedInThePath) {
  COSConfigManager* manager = LoadPolicy(
      "<Device Path=\"ABC\" class=\"1\"/><Device Path=\"BC\" class=\"2\"/>"
      "<Device Path=\"Q\" class=\"3\"/>");
  for (const auto& [path, expected] : std::vector<std::pair<std::wstring, int>>{
           {L"ABC", 1}, {L"xABCx", 1}, {L"xBCx", 2}, {L"QABC", 1}, {L"Q", 3}}) {
    _tagSDeviceConfig device = DeviceQuery(path);
    EXPECT_EQ(manager->GetDeviceConfig(device), 0);
    EXPECT_EQ(device.iClass, expected);
    EXPECT_EQ(device.strPath, path);
  }
  for (const std::wstring path : {L"AB", L"abc", L""}) {
    _tagSDeviceConfig device = DeviceQuery(path);
    EXPECT_EQ(manager->GetDeviceConfig(device), ZIVO_CONFIG_DEVICE_NOT_FOUND);
    EXPECT_EQ(device.iClass, -7);
  }
  COSConfigManager::DeleteInstance();

  // A record without a Path matches every path.
  manager = LoadPolicy("<Device class=\"5\"/><Device Path=\"ABC\" class=\"1\"/>");
  _tagSDeviceConfig device = DeviceQuery(L"ABC");
  EXPECT_EQ(manager->GetDeviceConfig(device), 0);
  EXPECT_EQ(device.iClass, 5);
}

TEST_F(ConfigQueriesTest, SetDeviceConfigOverwritesTheMatchOrAppends) {
  COSConfigManager* manager = LoadPolicy();
  // Thermal management disabled: the participant manager cannot be had, so
  // there is nothing to check the limit against.
  Firmware().SetVelmarStatus(0);
  EXPECT_EQ(manager->SetDeviceConfig(DeviceUpdate(L"ACPI\\ABC\\1", 100)), 0);
  _tagSDeviceConfig device = DeviceQuery(L"ABC");
  ASSERT_EQ(manager->GetDeviceConfig(device), 0);
  EXPECT_EQ((std::vector<int>{device.iClass, device.iThrottleLimit, device.iThrottleStep,
                              device.iPriority, device.iUsageShutdown}),
            (std::vector<int>{9, 100, 101, 3, 1}));
  // The stored fragment stays "ABC": "xABCx" still finds it.
  device = DeviceQuery(L"xABCx");
  ASSERT_EQ(manager->GetDeviceConfig(device), 0);
  EXPECT_EQ(device.iThrottleLimit, 100);

  // No match: a record is appended and answers for its own path...
  EXPECT_EQ(manager->SetDeviceConfig(DeviceUpdate(L"NEW", 4)), 0);
  device = DeviceQuery(L"NEW");
  ASSERT_EQ(manager->GetDeviceConfig(device), 0);
  EXPECT_EQ(device.iThrottleLimit, 4);
  // ...unless an earlier record matches the path too.
  EXPECT_EQ(manager->SetDeviceConfig(DeviceUpdate(L"XY", 5)), 0);
  device = DeviceQuery(L"XYZ");
  ASSERT_EQ(manager->GetDeviceConfig(device), 0);
  EXPECT_EQ(device.iThrottleLimit, 8);
}

TEST_F(ConfigQueriesTest, SetDeviceConfigRejectsALimitAboveTheDevicesMax) {
  // The configuration first: discovery would otherwise create the manager
  // with the bare default name.
  COSConfigManager* manager = LoadPolicy(
      "<Device Path=\"PNP0C14\\1_0\" class=\"2\"><Throttle limit=\"3\" step=\"1\" "
      "priority=\"1\"/></Device>");
  // A firmware device whose Max is 5, and no registry-listed driver.
  Firmware().AddDevice({L"ACPI\\PNP0C14\\1_0", 0, 0, 5, 2});
  const wchar_t parameters[] = L"SOFTWARE\\Zelan\\VOVUZER\\Parameters";
  Registry().SetDword(parameters, L"SensorCount", 0);
  Registry().SetDword(parameters, L"DeviceCount", 0);
  COSParticipantManager* participants = COSParticipantManager::GetInstance();
  ASSERT_NE(participants, nullptr);
  ASSERT_EQ(participants->Enumerate(), 0);
  const std::wstring path = L"ACPI\\PNP0C14\\1_0";
  auto storedLimit = [&] {
    _tagSDeviceConfig device = DeviceQuery(path);
    EXPECT_EQ(manager->GetDeviceConfig(device), 0);
    return device.iThrottleLimit;
  };

  EXPECT_EQ(manager->SetDeviceConfig(DeviceUpdate(path, 6)), ZIVO_CONFIG_REJECTED);
  EXPECT_EQ(storedLimit(), 3);
  // The comparison is unsigned: a negative limit is above any Max.
  EXPECT_EQ(manager->SetDeviceConfig(DeviceUpdate(path, -1)), ZIVO_CONFIG_REJECTED);
  EXPECT_EQ(storedLimit(), 3);
  EXPECT_EQ(manager->SetDeviceConfig(DeviceUpdate(path, 5)), 0);
  EXPECT_EQ(storedLimit(), 5);

  // A device the participant manager does not know cannot be checked.
  EXPECT_EQ(manager->SetDeviceConfig(DeviceUpdate(L"\\\\.\\ZivoFan0", 99)), 0);
  _tagSDeviceConfig fan = DeviceQuery(L"\\\\.\\ZivoFan0");
  ASSERT_EQ(manager->GetDeviceConfig(fan), 0);
  EXPECT_EQ(fan.iThrottleLimit, 99);
}

TEST_F(ConfigQueriesTest, SensorRecordsMatchExactNamesAndKeepSkinPaths) {
  COSConfigManager* manager = LoadPolicy();
  _tagSSensorConfig sensor;
  sensor.strName = L"TZ01";
  EXPECT_EQ(manager->GetSensorConfig(sensor), ZIVO_CONFIG_SENSOR_NOT_FOUND);
  std::vector<std::wstring> paths;
  EXPECT_EQ(manager->GetSensorDevices(L"TZ01", &paths), ZIVO_CONFIG_SENSOR_NOT_FOUND);

  sensor.strName = L"SKIN";
  sensor.vecDevicePaths = {L"caller's"};
  ASSERT_EQ(manager->GetSensorConfig(sensor), 0);
  EXPECT_EQ(sensor.iClass, 1);
  EXPECT_EQ(sensor.vecDevicePaths, std::vector<std::wstring>{L"caller's"});
  paths = {L"old"};
  ASSERT_EQ(manager->GetSensorDevices(L"SKIN", &paths), 0);
  EXPECT_EQ(paths, (std::vector<std::wstring>{L"FAN0", L"FAN1"}));

  // A skin update replaces the paths.
  ASSERT_EQ(manager->SetSensorConfig(SensorUpdate(L"SKIN", 1, {L"FAN9"})), 0);
  ASSERT_EQ(manager->GetSensorDevices(L"SKIN", &paths), 0);
  EXPECT_EQ(paths, std::vector<std::wstring>{L"FAN9"});
  // Another class keeps them stored but no longer serves them.
  ASSERT_EQ(manager->SetSensorConfig(SensorUpdate(L"SKIN", 2, {L"IGNORED"})), 0);
  EXPECT_EQ(manager->GetSensorDevices(L"SKIN", &paths), ZIVO_CONFIG_REJECTED);
  ASSERT_EQ(manager->SetSensorConfig(SensorUpdate(L"SKIN", 1, {})), 0);
  ASSERT_EQ(manager->GetSensorDevices(L"SKIN", &paths), 0);
  EXPECT_TRUE(paths.empty());
  ASSERT_EQ(manager->SetSensorConfig(SensorUpdate(L"SKIN", 2, {L"X"})), 0);
  ASSERT_EQ(manager->SetSensorConfig(SensorUpdate(L"SKIN", 1, {L"Y"})), 0);
  ASSERT_EQ(manager->GetSensorDevices(L"SKIN", &paths), 0);
  EXPECT_EQ(paths, std::vector<std::wstring>{L"Y"});

  // Unknown names are appended; a non-skin one gets no paths.
  ASSERT_EQ(manager->SetSensorConfig(SensorUpdate(L"NEW", 3, {L"P"})), 0);
  sensor = _tagSSensorConfig{};
  sensor.strName = L"NEW";
  ASSERT_EQ(manager->GetSensorConfig(sensor), 0);
  EXPECT_EQ((std::vector<int>{sensor.iClass, sensor.iShutdownTemp, sensor.iThrottleStartTemp,
                              sensor.iAuxInterval}),
            (std::vector<int>{3, 3000, 3100, 40}));
  ASSERT_EQ(manager->SetSensorConfig(SensorUpdate(L"NEW", 1, {})), 0);
  ASSERT_EQ(manager->GetSensorDevices(L"NEW", &paths), 0);
  EXPECT_TRUE(paths.empty());
}

TEST_F(ConfigQueriesTest, EmptyListsAreReportedAndUpdatesDoNotFillThem) {
  COSConfigManager* manager = LoadPolicy("");
  _tagSDeviceConfig device = DeviceQuery(L"A");
  EXPECT_EQ(manager->GetDeviceConfig(device), ZIVO_CONFIG_DEVICE_LIST_EMPTY);
  EXPECT_EQ(manager->SetDeviceConfig(DeviceUpdate(L"A", 1)), ZIVO_CONFIG_DEVICE_LIST_EMPTY);
  _tagSSensorConfig sensor;
  sensor.strName = L"S";
  EXPECT_EQ(manager->GetSensorConfig(sensor), ZIVO_CONFIG_SENSOR_LIST_EMPTY);
  EXPECT_EQ(manager->SetSensorConfig(SensorUpdate(L"S", 2, {})), ZIVO_CONFIG_SENSOR_LIST_EMPTY);
  std::vector<std::wstring> paths;
  EXPECT_EQ(manager->GetSensorDevices(L"S", &paths), ZIVO_CONFIG_SENSOR_LIST_EMPTY);

  _tagSPlatformConfig platform{0, 42, 1};
  EXPECT_EQ(manager->SetPlatformConfig(platform), 0);
  platform = {};
  manager->GetPlatformConfig(platform);
  EXPECT_EQ(platform.iShutdownTimer, 42);
}

TEST_F(ConfigQueriesTest, ConcurrentQueriesAndUpdatesSeeWholeRecords) {
  COSConfigManager* manager = LoadPolicy();
  constexpr int kRounds = 300;
  std::atomic<int> torn{0};
  std::atomic<int> failed{0};
  std::vector<std::thread> threads;
  // Writers keep each record self-consistent (limit == priority, shutdown ==
  // start + 1); readers check they never see half of an update.
  for (int w = 0; w < 2; ++w) {
    threads.emplace_back([&, w] {
      for (int k = 1; k <= kRounds; ++k) {
        _tagSDeviceConfig device = DeviceUpdate(L"ABC", k);
        device.iPriority = k;
        if (manager->SetDeviceConfig(device) != 0) {
          ++failed;
        }
        _tagSSensorConfig sensor = SensorUpdate(L"SKIN", 1, {std::to_wstring(k)});
        sensor.iShutdownTemp = k + 1;
        sensor.iThrottleStartTemp = k;
        if (manager->SetSensorConfig(sensor) != 0) {
          ++failed;
        }
        // New records too, so the lists grow under the readers.
        if (manager->SetSensorConfig(
                SensorUpdate(L"W" + std::to_wstring(w) + L"_" + std::to_wstring(k), 2, {})) != 0) {
          ++failed;
        }
      }
    });
  }
  for (int r = 0; r < 2; ++r) {
    threads.emplace_back([&] {
      for (int k = 0; k < kRounds; ++k) {
        _tagSDeviceConfig device = DeviceQuery(L"ABC");
        if (manager->GetDeviceConfig(device) != 0) {
          ++failed;
        } else if (device.iClass == 9 && device.iThrottleLimit != device.iPriority) {
          ++torn;
        }
        _tagSSensorConfig sensor;
        sensor.strName = L"SKIN";
        if (manager->GetSensorConfig(sensor) != 0) {
          ++failed;
        } else if (sensor.iShutdownTemp < 3000 &&
                   sensor.iShutdownTemp != sensor.iThrottleStartTemp + 1) {
          ++torn;
        }
        std::vector<std::wstring> paths;
        if (manager->GetSensorDevices(L"SKIN", &paths) != 0 || paths.empty()) {
          ++failed;
        }
        _tagSSensorConfig last;
        last.strName = L"W1_" + std::to_wstring(kRounds);
        const int result = manager->GetSensorConfig(last);
        if (result != 0 && result != ZIVO_CONFIG_SENSOR_NOT_FOUND) {
          ++failed;
        }
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  EXPECT_EQ(torn.load(), 0);
  EXPECT_EQ(failed.load(), 0);
  for (int w = 0; w < 2; ++w) {
    for (int k = 1; k <= kRounds; ++k) {
      _tagSSensorConfig sensor;
      sensor.strName = L"W" + std::to_wstring(w) + L"_" + std::to_wstring(k);
      ASSERT_EQ(manager->GetSensorConfig(sensor), 0);
    }
  }
}
