// The example policy file in docs/ loads, validates against its grammar, and
// the grammar catches the slips it is there for.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "Platform/Text.h"
#include "support/ConfigFileTest.h"
#include "zivorivizo/OSConfigMgr.h"

namespace {

std::filesystem::path DocsFolder() {
  return std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() / "docs";
}

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool Loaded(COSConfigManager* manager) {
  _tagSPlatformConfig platform;
  manager->GetPlatformConfig(platform);
  return manager->SetPlatformConfig(platform) == 0;
}

}  // namespace

class DocumentedExampleTest : public CConfigFileTest {};

TEST_F(DocumentedExampleTest, LoadsWithItsGrammarAndGivesTheSkinSensorItsFan) {
  COSConfigManager* manager =
      COSConfigManager::GetInstance(FromUtf8((DocsFolder() / "velmarconfig.xml").string()));
  ASSERT_TRUE(Loaded(manager)) << mLog.Text();
  std::vector<std::wstring> paths;
  ASSERT_EQ(manager->GetSensorDevices(L"ACPI\\PNP0C14\\10_0", &paths), 0);
  EXPECT_EQ(paths, std::vector<std::wstring>{L"\\\\.\\ZivoFan0"});
  _tagSDeviceConfig fan;
  fan.strPath = paths[0];
  ASSERT_EQ(manager->GetDeviceConfig(fan), 0);
  EXPECT_EQ(fan.iClass, 9);
  _tagSDeviceConfig wmi;
  wmi.strPath = L"ACPI\\PNP0C14\\3_0";
  ASSERT_EQ(manager->GetDeviceConfig(wmi), 0);
  EXPECT_EQ(wmi.iClass, 9);
  std::vector<_tagSSensorConfig> sensors;
  ASSERT_EQ(manager->GetAllSensorConfigs(sensors), 0);
  EXPECT_EQ(sensors.size(), 4u);
}

TEST_F(DocumentedExampleTest, TheGrammarRejectsAMisspeltOption) {
  Write("velmarconfig.dtd", ReadAll(DocsFolder() / "velmarconfig.dtd"));
  std::string text = ReadAll(DocsFolder() / "velmarconfig.xml");
  const std::string good = "option=\"hibernate\"";
  ASSERT_NE(text.find(good), std::string::npos);
  text.replace(text.find(good), good.size(), "option=\"Hibernate\"");
  COSConfigManager* manager = COSConfigManager::GetInstance(Write("changed.xml", text));
  EXPECT_FALSE(Loaded(manager));
  EXPECT_TRUE(mLog.HasMessage("XML Validation failed on " + ToUtf8(PathOf("changed.xml"))));
}
