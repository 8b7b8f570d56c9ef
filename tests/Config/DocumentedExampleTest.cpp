// The example policy file in docs/ loads, validates against its grammar, and
// the grammar catches the slips it is there for.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "Config/ConfigTest.h"

class DocumentedExampleTest : public CConfigTest {
 protected:
  const std::filesystem::path mDocs = std::filesystem::path(ZIVO_SOURCE_DIR) / "docs";
  std::string ReadDoc(const char* name) {
    std::ifstream in(mDocs / name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
};

TEST_F(DocumentedExampleTest, LoadsWithItsGrammarAndTheGrammarRejectsAMisspeltOption) {
  COSConfigManager* manager =
      COSConfigManager::GetInstance(FromUtf8((mDocs / "velmarconfig.xml").string()));
  ASSERT_TRUE(Loaded(manager)) << mLog.Text();
  std::vector<std::wstring> paths;
  ASSERT_EQ(manager->GetSensorDevices(L"ACPI\\PNP0C14\\10_0", &paths), 0);
  EXPECT_EQ(paths, std::vector<std::wstring>{L"\\\\.\\ZivoFan0"});
  EXPECT_EQ(DeviceOf(manager, paths[0])[0], 9);
  EXPECT_EQ(DeviceOf(manager, L"ACPI\\PNP0C14\\3_0")[0], 9);
  std::vector<_tagSSensorConfig> sensors;
  ASSERT_EQ(manager->GetAllSensorConfigs(sensors), 0);
  EXPECT_EQ(sensors.size(), 4u);
  COSConfigManager::DeleteInstance();

  Write("velmarconfig.dtd", ReadDoc("velmarconfig.dtd"));
  std::string text = ReadDoc("velmarconfig.xml");
  const std::string good = "option=\"hibernate\"";
  ASSERT_NE(text.find(good), std::string::npos);
  text.replace(text.find(good), good.size(), "option=\"Hibernate\"");
  EXPECT_FALSE(Loaded(COSConfigManager::GetInstance(Write("changed.xml", text))));
  EXPECT_TRUE(mLog.HasMessage("XML Validation failed on " + ToUtf8(PathOf("changed.xml"))));
}
