// Fixture of the configuration tests: loads a policy body and reads records
// back as field lists, so that one comparison says every field.
#pragma once

#include <string>
#include <vector>

#include "Platform/Text.h"
#include "support/ConfigFileTest.h"
#include "zivorivizo/OSConfigMgr.h"
#include "zivorivizo/StatusCodes.h"

class CConfigTest : public CConfigFileTest {
 protected:
  using Ints = std::vector<int>;
  COSConfigManager* Load(const std::string& body) {
    return COSConfigManager::GetInstance(Write("velmarconfig.xml", ConfigText(body)));
  }
  COSConfigManager* Load(const std::string& body, const std::string& platform) {
    return COSConfigManager::GetInstance(Write("velmarconfig.xml", ConfigText(body, platform)));
  }
  // Only a loaded manager accepts an update.
  static bool Loaded(COSConfigManager* manager) {
    _tagSPlatformConfig platform;
    manager->GetPlatformConfig(platform);
    return manager->SetPlatformConfig(platform) == 0;
  }
  // Class, limit, step, priority, usage enable, usage shutdown.
  static Ints DeviceOf(COSConfigManager* manager, const std::wstring& path, int result = 0) {
    _tagSDeviceConfig d;
    d.strPath = path;
    EXPECT_EQ(manager->GetDeviceConfig(d), result) << ToUtf8(path);
    return {d.iClass,    d.iThrottleLimit, d.iThrottleStep,
            d.iPriority, d.iUsageEnable,   d.iUsageShutdown};
  }
  // Class, shutdown, throttle start, usage enable, interval.
  static Ints SensorOf(COSConfigManager* manager, const std::wstring& name, int sensorClass = 0,
                       int result = 0) {
    _tagSSensorConfig s;
    s.strName = name;
    s.iClass = sensorClass;
    EXPECT_EQ(manager->GetSensorConfig(s), result) << ToUtf8(name);
    return {s.iClass, s.iShutdownTemp, s.iThrottleStartTemp, s.iUsageEnable, s.iAuxInterval};
  }
  static Ints PlatformOf(COSConfigManager* manager) {
    _tagSPlatformConfig p;
    EXPECT_EQ(manager->GetPlatformConfig(p), 0);
    return {p.iShutdownOption, p.iShutdownTimer, p.iThrottlePreference};
  }
  static std::string Device(const std::string& path, int limit, int step) {
    return "<Device Path=\"" + path + "\" class=\"3\"><Throttle limit=\"" + std::to_string(limit) +
           "\" step=\"" + std::to_string(step) +
           "\" priority=\"2\"/><DUsage enable=\"1\" shutdown=\"0\"/></Device>";
  }
};
