// Fixture for the configuration tests: a simulated platform (whose XML parser
// can be made to fail through Faults()), a private temporary folder for the
// files a test writes, removed afterwards and also the working folder during
// the test (so the loader's fallback to velmarconfig.xml finds only what the
// test wrote), and no configuration manager left over from another test.
#pragma once

#include <filesystem>
#include <string>

#include "support/SimPlatformTest.h"

class CConfigFileTest : public CSimPlatformTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Writes `text` to `name` in the folder and returns the file's path.
  std::wstring Write(const std::string& name, const std::string& text);
  std::wstring PathOf(const std::string& name) const;

  std::filesystem::path mFolder;
  std::filesystem::path mPreviousFolder;
};

// A configuration file: a root element holding `body`. The default platform
// section is a valid one.
std::string ConfigText(const std::string& body,
                       const std::string& platform =
                           "<Platform><Shutdown option=\"hibernate\" timer=\"15\"/>"
                           "<Throttling preference=\"Active\"/></Platform>");
