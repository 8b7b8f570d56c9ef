// The thermal policy zivo run decides by: a configuration manager of run's
// own whose records are replaced whole, and only by a file that loaded. The
// file is parsed apart first (CheckConfigFile, which never falls back to
// another file); the parsed records then go in force at once under the
// manager's lock. While a file is read, and when it does not load, the
// records in force stay: a query never sees the built-in defaults, a
// half-read file or a mix of two files.
//
// Before the first file loads it answers with the defaults, as every
// configuration manager does; zivo run refuses to start in that case.
// Thread-safe as CConfigManager.
#pragma once

#include <string>
#include <vector>

#include "zivorivizo/ConfigManager.h"
#include "zivorivizo/Diagnostics.h"

// What a load changed, record by record ("device PNP0C14\3_0", "sensor X",
// "platform").
struct PolicyChange {
  std::vector<std::string> added;
  std::vector<std::string> removed;
  std::vector<std::string> changed;
  // "2 added (sensor A, sensor B), 1 changed (platform)" or "no record
  // changed".
  std::string Text() const;
};

class CPolicyInForce : public CConfigManager {
 public:
  // Parses `path` and puts its records in force when it loaded. `change`,
  // when given, receives what differs from the records that were in force.
  ConfigLoadReport Load(const std::wstring& path, PolicyChange* change = nullptr);
  // Load, answering its result (0, 276, 290 or 15).
  int Init(std::wstring path) override;
};
