#include <gtest/gtest.h>

#include "support/ConfigFileTest.h"
#include "zivorivizo/OSConfigMgr.h"
#include "zivorivizo/StatusCodes.h"

class ConfigLoadTest : public CConfigFileTest {};

TEST_F(ConfigLoadTest, ReadsPlatformDevicesAndSensorsOfAValidFile) {
  const std::wstring path = Write("velmarconfig.xml", ConfigText(R"(
    <Devices>
      <Device Path="PNP0C14\1_0" class="3">
        <Throttle limit="10" step="2" priority="1"/>
        <DUsage enable="1" shutdown="1"/>
      </Device>
    </Devices>
    <Sensors>
      <Sensor Path="TZ01" class="1" ThirdParty_DeviceCount="2">
        <Temperature shutdown="95" ThrottleStart="75"/>
        <SUsage enable="1" aux_interval="2"/>
        <DevicePath Device0="\\.\Fan0" Device1="\\.\Fan1"/>
      </Sensor>
    </Sensors>)"));

  COSConfigManager* manager = COSConfigManager::GetInstance(path);
  ASSERT_NE(manager, nullptr);
  EXPECT_TRUE(mLog.HasMessage("Parsing of config file done successfully")) << mLog.Text();

  _tagSPlatformConfig platform;
  EXPECT_EQ(manager->GetPlatformConfig(platform), 0);
  EXPECT_EQ(platform.iShutdownOption, 1);
  EXPECT_EQ(platform.iShutdownTimer, 15);
  EXPECT_EQ(platform.iThrottlePreference, 1);

  _tagSDeviceConfig device;
  device.strPath = L"ACPI\\PNP0C14\\1_0";
  ASSERT_EQ(manager->GetDeviceConfig(device), 0);
  EXPECT_EQ(device.iClass, 3);
  EXPECT_EQ(device.iThrottleLimit, 10);
  EXPECT_EQ(device.iThrottleStep, 2);
  EXPECT_EQ(device.iPriority, 1);
  EXPECT_EQ(device.iUsageEnable, 1);
  EXPECT_EQ(device.iUsageShutdown, 1);

  _tagSSensorConfig sensor;
  sensor.strName = L"TZ01";
  ASSERT_EQ(manager->GetSensorConfig(sensor), 0);
  EXPECT_EQ(sensor.iClass, 1);
  EXPECT_EQ(sensor.iShutdownTemp, 3682);
  EXPECT_EQ(sensor.iThrottleStartTemp, 3482);
  EXPECT_EQ(sensor.iAuxInterval, 20);
  std::vector<std::wstring> paths;
  ASSERT_EQ(manager->GetSensorDevices(L"TZ01", &paths), 0);
  EXPECT_EQ(paths, (std::vector<std::wstring>{L"\\\\.\\Fan0", L"\\\\.\\Fan1"}));
}
