// The platform: the bundle of stand-ins through which the library reaches the
// operating system (registry, device I/O, COM and WMI, XML, power, clock).
//
// A host installs a platform before it creates the managers:
//
//   CPlatform::Install(CreateLinuxPlatform("/sys"));
//   InitLog(L"/var/log/zivo.log", L"/tmp/zivo.log");
//   COSParticipantManager* pm = COSParticipantManager::GetInstance();
//
// When none is installed, the Linux platform on "/sys" serves. Each manager and
// participant takes the platform that is current when it is constructed and
// keeps using it; installing another later affects only what is created
// afterwards. The log and the sample time stamps read the current platform's
// clock. Install and Current are thread-safe.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "zivorivizo/Clock.h"
#include "zivorivizo/Export.h"

class CRegistry;
class CDeviceIo;
class CPower;
class CCom;
class CXml;
class CPlatformEvents;

class ZIVO_EXPORT CPlatform {
 public:
  virtual ~CPlatform();
  CPlatform(const CPlatform&) = delete;
  CPlatform& operator=(const CPlatform&) = delete;

  static void Install(std::shared_ptr<CPlatform> platform);
  // The installed platform, or the Linux platform on "/sys" when none is.
  static std::shared_ptr<CPlatform> Current();

  CClock& Clock() const { return *mClock; }
  CRegistry& Registry() const { return *mRegistry; }
  CDeviceIo& Devices() const { return *mDevices; }
  CPower& Power() const { return *mPower; }
  CCom& Com() const { return *mCom; }
  CXml& Xml() const { return *mXml; }
  CPlatformEvents& Events() const { return *mEvents; }

 protected:
  CPlatform();

  std::shared_ptr<CClock> mClock;
  std::shared_ptr<CRegistry> mRegistry;
  std::shared_ptr<CDeviceIo> mDevices;
  std::shared_ptr<CPower> mPower;
  std::shared_ptr<CCom> mCom;
  std::shared_ptr<CXml> mXml;
  std::shared_ptr<CPlatformEvents> mEvents;
};

// How the Linux platform names its participants, that is the names a policy
// file, the host and the events use (docs/linux-platform.md):
//   Path    the folder path as listed, "/sys/class/thermal/thermal_zone3"
//           (an hwmon input: "/sys/class/hwmon/hwmon2/temp1_input")
//           (the default). The kernel numbers zones and cooling devices in the
//           order their drivers register, which may change between boots.
//   Stable  "zone:TYPE:K" and "cooling:TYPE:K", TYPE the kernel's `type` text
//           and K the position among the participants of the same type in
//           kernel order: "zone:acpitz:0", "cooling:Processor:3". Unchanged
//           by a renumbering that keeps the order within each type. An
//           hwmon temperature input is "hwmon:CHIP-BUS:LABEL", the chip's
//           name, its bus id and the input's label:
//           "hwmon:k10temp-pci-00c3:Tctl", whatever hwmonN it has.
enum class LinuxParticipantNaming { Path, Stable };

// Why the Linux platform's latest access to a participant's sysfs files
// failed. The library's status codes keep only that a request failed (114);
// this keeps the file and the operating system's reason for a person to read.
struct LinuxAccessFailure {
  std::string file;    // the attribute's path, or the participant's folder
  int error = 0;       // errno; 0 when the file held no decimal value
  std::string reason;  // "Permission denied (EACCES)", or what was wrong
};

// The latest failed access to participant `name` (the name the library uses
// for it) through the installed platform's device I/O. False when none has
// failed since the platform was created, or when the installed platform's
// device I/O is not the Linux one. Thread-safe.
ZIVO_EXPORT bool GetLinuxAccessFailure(const std::wstring& name, LinuxAccessFailure& failure);

// The throttle states of an hwmon fan channel opened from now on: 0 (the
// chip's own mode) to `levels`, 10 by default; 0 restores the default.
// Thread-safe.
ZIVO_EXPORT void SetLinuxFanLevels(uint32_t levels);

// What an hwmon fan channel had to tell a person while the library drove it.
// The same lines go to the library's log; a host that shows its own lines
// (zivo run) takes them here instead of reading the log.
enum class LinuxFanNoteKind {
  // The driver put `pwmN_enable` back to its own mode behind the library's
  // back (after a suspend); manual control was taken again before the write.
  ControlRetaken,
  // Manual control was not taken: the driver did not keep `pwmN_enable` = 1,
  // or the values to put back could not be written down first.
  ControlRefused,
  // A set was refused: `pwmN` or `pwmN_enable` may not be written.
  ReadOnly,
  // The values found could not be put back; the fan was left at full speed
  // where that could be done (one note per step).
  NotGivenBack,
};
struct LinuxFanNote {
  std::wstring device;  // the fan's name as the library uses it
  LinuxFanNoteKind kind = LinuxFanNoteKind::ControlRetaken;
  bool error = false;  // false: a warning
  std::string text;    // the line for a person, as logged after the name
};

// The notes of the hwmon fan channels of every Linux platform of the process
// since the last call, oldest first; they are forgotten once taken. At most
// 256 wait between two calls: beyond that the oldest are dropped (they stay
// in the log). Thread-safe.
ZIVO_EXPORT std::vector<LinuxFanNote> TakeLinuxFanNotes();

// Where the Linux platform writes down each hwmon fan channel it takes into
// manual control, with the `pwmN_enable` and `pwmN` it found, before its
// first write to it (a file replaced whole at each change, removed when every
// channel was given back). A process that dies without giving its fans back
// leaves the file for PutBackLinuxFans. Empty (the default): nowhere. Set it
// before the devices are opened. Thread-safe.
ZIVO_EXPORT void SetLinuxFanRecord(const std::string& file);
// Gives back the fan channels a record file lists (`pwmN` then `pwmN_enable`,
// read back; when that fails, full speed) and removes the file; a channel
// that is no longer in manual mode was taken over since and is left alone.
// One line for a person per channel in `said`. True when there was nothing
// to put back or everything was put back; false keeps the file.
ZIVO_EXPORT bool PutBackLinuxFans(const std::string& file, std::vector<std::string>& said);

// The real Linux platform: thermal zones and cooling devices under
// `sysfsRoot`/class/thermal, a registry view built from them, systemd-logind
// for shutdown and hibernation, the system clock.
ZIVO_EXPORT std::shared_ptr<CPlatform> CreateLinuxPlatform(const std::string& sysfsRoot = "/sys");
ZIVO_EXPORT std::shared_ptr<CPlatform> CreateLinuxPlatform(const std::string& sysfsRoot,
                                                           LinuxParticipantNaming naming);
// `compareInterval`: how often the event manager's watch compares the thermal
// tree with what it last saw, to report zones and cooling devices that came
// or went without the kernel saying so (10 seconds in the overloads above;
// zero or less: never, only on the kernel's messages and uevents).
ZIVO_EXPORT std::shared_ptr<CPlatform> CreateLinuxPlatform(
    const std::string& sysfsRoot, LinuxParticipantNaming naming,
    std::chrono::milliseconds compareInterval);
