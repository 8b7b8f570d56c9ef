// What loading a policy file found, for tools that explain a file to the
// person who wrote it ("zivo config check"): the loader's own status and
// records, the parse problems, and every finding the loader made on the way,
// each with its element and line. A tool decides from this, never from the
// text of the log.
#pragma once

#include <string>
#include <vector>

#include "Platform/Xml.h"
#include "zivorivizo/ConfigRecords.h"

struct ConfigFinding {
  bool error = false;   // the loader rejects the file for it
  long line = 0;        // 0 when unknown
  std::string element;  // e.g. <Device Path="PNP0C14\1_0"> <Throttle>
  std::string message;
};

struct ConfigLoadReport {
  // What Init returns for the file (0, 276, 290), or 15 when GetInstance
  // would throw. The fallback to velmarconfig.xml is not tried: the result
  // is the named file's own.
  int result = 0;
  bool loaded = false;
  _tagSXmlParseError parseError;  // code 0 unless the file did not load
  std::vector<ConfigFinding> findings;
  // What the manager answers after the load (the defaults when not loaded).
  _tagSPlatformConfig platform;
  std::vector<_tagSDeviceConfig> devices;
  std::vector<_tagSSensorConfig> sensors;
  // The line of each record's element, in the order of devices and sensors
  // (0 when unknown); meaningful when loaded.
  std::vector<long> deviceLines;
  std::vector<long> sensorLines;
};

// Loads `path` as COSConfigManager::GetInstance does, on the installed
// platform, without touching the process's configuration manager.
ConfigLoadReport CheckConfigFile(const std::wstring& path);
