#include "support/ConfigFileTest.h"

#include <cstdlib>
#include <fstream>

#include "Platform/Text.h"
#include "zivorivizo/OSConfigMgr.h"

void CConfigFileTest::SetUp() {
  CSimPlatformTest::SetUp();
  std::string pattern = (std::filesystem::temp_directory_path() / "zivo-config-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  mFolder = pattern;
  mPreviousFolder = std::filesystem::current_path();
  std::filesystem::current_path(mFolder);
}

void CConfigFileTest::TearDown() {
  COSConfigManager::DeleteInstance();
  std::error_code ignored;
  std::filesystem::current_path(mPreviousFolder, ignored);
  std::filesystem::remove_all(mFolder, ignored);
  CSimPlatformTest::TearDown();
}

std::wstring CConfigFileTest::PathOf(const std::string& name) const {
  return FromUtf8((mFolder / name).string());
}

std::wstring CConfigFileTest::Write(const std::string& name, const std::string& text) {
  const std::filesystem::path path = mFolder / name;
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  EXPECT_TRUE(out.good()) << path;
  return FromUtf8(path.string());
}

std::string ConfigText(const std::string& body, const std::string& platform) {
  return "<?xml version=\"1.0\"?>\n<VelmarConfig>\n" + platform + "\n" + body +
         "\n</VelmarConfig>\n";
}
