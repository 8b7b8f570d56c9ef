// What the Linux platform lists, as the kernel shows it: for a participant
// name the library uses, the sysfs folder behind it and what the scan read
// there. A host uses it to show the kernel's side of a participant beside the
// library's record ("zivo list"), reading the folder's other attributes with
// CLinuxSysfsFolder.
//
// The view is the platform's own live picture of the thermal class and hwmon
// (docs/linux-platform.md): the one the library's registry and device I/O
// read, refreshed when the library enumerates or the kernel reports a change.
// Each call reads the picture current at that moment. The view keeps that
// picture alive on its own, so it may outlive the platform it came from.
// Thread-safe.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "zivorivizo/Export.h"

class CPlatform;
class CSysfsThermalView;

// One participant of the Linux platform.
struct LinuxSysfsEntry {
  bool sensor = false;  // a sensor (a zone, an hwmon input), else a device
  // The folder: ROOT/class/thermal/thermal_zone3, or an hwmon chip's folder.
  std::string folder;
  // Within an hwmon chip's folder, the attribute prefix of this participant
  // ("temp2", "pwm1"); empty when the folder is the participant.
  std::string channel;
  std::string type;  // the kernel's `type` (an hwmon input: its label); may be empty
  std::string chip;  // an hwmon participant: the chip's `name`
};

class ZIVO_EXPORT CLinuxSysfsView {
 public:
  // The view of `platform`; null when it is no Linux platform
  // (CreateLinuxPlatform).
  static std::unique_ptr<CLinuxSysfsView> Of(const CPlatform& platform);
  ~CLinuxSysfsView();
  CLinuxSysfsView(const CLinuxSysfsView&) = delete;
  CLinuxSysfsView& operator=(const CLinuxSysfsView&) = delete;

  // The sysfs root the platform was created on ("/sys").
  const std::string& Root() const;
  // The participant named `name` (a sensor first, then a device); none when
  // the current picture lists no such name.
  std::optional<LinuxSysfsEntry> Find(const std::wstring& name) const;
  // How many entries of the current picture were named like a participant
  // but were no folder that opens (a dangling link, a file): left out.
  uint32_t LeftOut() const;

 private:
  explicit CLinuxSysfsView(std::shared_ptr<CSysfsThermalView> view);
  std::shared_ptr<CSysfsThermalView> mView;
};
