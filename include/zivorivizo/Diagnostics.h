// What the library can tell a host about why things are as they are, beyond
// the status codes of the managers: what loading a policy file found, and
// what discovery left out. A host shows these to the person who wrote the
// file or expects a participant ("zivo config check", "zivo list"); it
// decides from these values, never from the text of the log.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "zivorivizo/ConfigRecords.h"
#include "zivorivizo/Export.h"
#include "zivorivizo/XmlParseError.h"

class COSParticipantManager;

// ---- Loading a policy file ----

// One thing the loader noticed in a policy file: a rule broken (`error`, the
// file is rejected for it) or a value it used in a way the writer may not
// expect.
struct ConfigFinding {
  bool error = false;   // the loader rejects the file for it
  long line = 0;        // 0 when unknown
  std::string element;  // e.g. <Device Path="PNP0C14\1_0"> <Throttle>
  std::string message;
};

// What loading one policy file found: the loader's own status and records,
// the parse problems, and every finding the loader made on the way, each
// with its element and line.
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
// platform, without touching the process's configuration manager. The
// report is the caller's. Thread-safe with respect to the managers.
ZIVO_EXPORT ConfigLoadReport CheckConfigFile(const std::wstring& path);

// Validates the policy file `path` against the DTD in the local file
// `grammar` (whatever DTD the file declares itself), with the installed
// platform's parser. False when the parser could not do the work, the file
// itself not loading included. True otherwise: `error.code` 0 when the file
// is valid, else the problems found.
ZIVO_EXPORT bool CheckConfigGrammar(const std::wstring& path, const std::wstring& grammar,
                                    _tagSXmlParseError& error);

// Whether a policy's device record whose path is `fragment` applies to the
// device named `devicePath`: the fragment occurs anywhere in the name, so
// "cooling_device1" applies to "cooling_device12" too. The manager's lookups
// take the first record that applies; a host uses this to show which record
// governs a device.
inline bool DeviceFragmentMatches(std::wstring_view devicePath, std::wstring_view fragment) {
  return devicePath.find(fragment) != std::wstring_view::npos;
}

// ---- What discovery left out ----

enum class LeftOutReason {
  CountPastLimit,   // a count above MAX_DRIVER_PARTICIPANTS: the entries beyond it
  PathTooLong,      // a path value longer than the 63 characters the buffer holds
  EntryUnreadable,  // a path value missing or of another type
  FirmwareInvalid,  // a firmware sensor whose description cannot be read
  FirmwareCut,      // the firmware's instance list broke off: the rest is unknown
};
inline constexpr std::size_t kLeftOutReasons = 5;

// What the participant manager's last Enumerate found listed but left out,
// counted by reason. Run-time additions (AddSensor, AddDevice) look for one
// name and do not count here.
struct DiscoveryLeftOut {
  // How many participants each reason left out; FirmwareCut counts the walks
  // that broke off, each losing an unknown number.
  std::array<int, kLeftOutReasons> counts{};

  void Add(LeftOutReason reason, int count = 1) {
    counts[static_cast<std::size_t>(reason)] += count;
  }
  int Count(LeftOutReason reason) const { return counts[static_cast<std::size_t>(reason)]; }
  int Total() const {
    int total = 0;
    for (int count : counts) {
      total += count;
    }
    return total;
  }
};

// The driver paths the installed platform's parameters key lists (sensors or
// devices), in order, read as discovery reads them: at most
// MAX_DRIVER_PARTICIPANTS entries, each up to its terminator within the
// 128-byte buffer; an entry that cannot be read is skipped. Empty when the
// key or its count cannot be read. For a host that names the listed
// participant behind a record that did not open.
ZIVO_EXPORT std::vector<std::wstring> ListedDriverPaths(bool sensors);

// The reason in words, for people ("path longer than 63 characters").
ZIVO_EXPORT const char* LeftOutReasonText(LeftOutReason reason);

// What `manager`'s last Enumerate left out; all zero before the first. The
// record belongs to the manager: it is reset at the start of every
// Enumerate and goes with the manager. Read it on the thread that calls the
// manager, as every other operation.
ZIVO_EXPORT const DiscoveryLeftOut& LeftOutByLastEnumerate(const COSParticipantManager& manager);
