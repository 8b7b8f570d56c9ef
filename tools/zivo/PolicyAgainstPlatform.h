// zivo config check --against: how a loaded policy meets the participants a
// platform discovers. A device record applies to every device whose name its
// path fragment occurs in, the first such record winning, as the library
// looks records up; a sensor record applies to the sensor of its exact name,
// and a skin sensor's device paths name devices exactly.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "zivorivizo/Diagnostics.h"

struct PolicyAgainst {
  struct Device {
    std::wstring fragment;
    long line = 0;
    std::vector<std::wstring> appliesTo;  // the devices the library finds it for
  };
  struct Sensor {
    std::wstring name;
    long line = 0;
    bool found = false;
  };
  std::vector<Device> devices;  // one per device record, in lookup order
  std::vector<Sensor> sensors;  // one per sensor record
  std::vector<std::wstring> devicesWithoutRecord;
  std::vector<std::wstring> sensorsWithoutRecord;
  // Warnings, each with the record's element and line.
  std::vector<ConfigFinding> findings;
};

// Compares the records of a loaded `report` with the discovered participant
// names (nameless ones already left out).
PolicyAgainst CheckPolicyAgainst(const ConfigLoadReport& report,
                                 const std::vector<std::wstring>& deviceNames,
                                 const std::vector<std::wstring>& sensorNames);

// The outcome as shown under "Against:" and as the "against" JSON object.
void PrintPolicyAgainst(const std::string& platform, const PolicyAgainst& against);
nlohmann::ordered_json PolicyAgainstJson(const std::string& platform, const PolicyAgainst& against);
