// The example policy (docs/velmarconfig.xml) is written for the embedded
// handheld: the demo loads both, so they must keep naming the same
// participants.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "Platform/Text.h"
#include "Sim/SimHandheld.h"
#include "support/SimPlatformTest.h"
#include "zivorivizo/OSConfigMgr.h"
#include "zivorivizo/OSParticipantMgr.h"

namespace {

class ExamplePolicyTest : public CSimPlatformTest {};

TEST_F(ExamplePolicyTest, NamesTheParticipantsOfTheEmbeddedHandheld) {
  const auto file = std::filesystem::path(__FILE__).parent_path() / "../../docs/velmarconfig.xml";
  CSimHandheld::Default()->Install(mPlatform);
  COSConfigManager* config =
      COSConfigManager::GetInstance(FromUtf8(file.lexically_normal().string()));
  _tagSPlatformConfig platform;
  config->GetPlatformConfig(platform);
  ASSERT_EQ(config->SetPlatformConfig(platform), 0) << "the example policy does not load";
  COSParticipantManager* manager = COSParticipantManager::GetInstance();
  ASSERT_EQ(manager->Enumerate(), 0);

  std::vector<_tagSSensorConfig> sensors;
  ASSERT_EQ(config->GetAllSensorConfigs(sensors), 0);
  for (const _tagSSensorConfig& policy : sensors) {
    SCOPED_TRACE(ToUtf8(policy.strName));
    _tagSSensor sensor;
    EXPECT_EQ(manager->GetSensor(policy.strName, sensor), 0) << "not on the handheld";
    EXPECT_EQ(sensor.Class, static_cast<uint32_t>(policy.iClass));
    // A configured device path of a skin sensor becomes one of its links.
    std::vector<_tagSDevice> linked;
    manager->GetDeviceList(policy.strName, linked);
    for (const std::wstring& path : policy.vecDevicePaths) {
      EXPECT_TRUE(
          std::any_of(linked.begin(), linked.end(), [&](auto& d) { return d.Name == path; }))
          << ToUtf8(path) << " is not linked";
    }
  }

  std::vector<_tagSDeviceConfig> devices;
  ASSERT_EQ(config->GetAllDeviceConfigs(devices), 0);
  std::vector<_tagSDevice> present;
  manager->GetAllDevices(present);
  for (const _tagSDeviceConfig& policy : devices) {
    SCOPED_TRACE(ToUtf8(policy.strPath));
    const auto match = std::find_if(present.begin(), present.end(), [&](auto& d) {
      return d.Name.find(policy.strPath) != std::wstring::npos;
    });
    ASSERT_NE(match, present.end()) << "matches no device";
    EXPECT_EQ(match->Class, static_cast<uint32_t>(policy.iClass));
    EXPECT_LE(match->Max, static_cast<uint32_t>(policy.iThrottleLimit));
  }
}

}  // namespace
