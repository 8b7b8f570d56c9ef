// One kind of sysfs tree that gives the Linux platform driver-backed
// participants: the thermal class (zones and cooling devices), hwmon chips
// (their temperature inputs). A source adds what it finds to a scan, names
// it, and opens a device handle on an entry it listed. Every source feeds
// the same scan, so the snapshot, its parameters key and the event bridge
// see one list of sensors and one list of devices whatever their origin.
//
// Sources hold no state: each is one static object, and an entry keeps a
// pointer to the source that listed it. Thread-safe.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "Platform/DeviceIo.h"
#include "Platform/Linux/SysfsAttribute.h"
#include "Platform/Linux/SysfsHandle.h"
#include "Platform/Linux/SysfsLiveEntry.h"
#include "Platform/Linux/SysfsThermalScan.h"

class CSysfsValueWriter;

class CParticipantSource {
 public:
  virtual ~CParticipantSource() = default;

  // A short name for messages and documentation ("thermal", "hwmon").
  virtual std::string_view Name() const = 0;

  // Appends this source's sensors and devices to `scan`, each with its
  // folder identity, its `source` set to this object and its name under
  // `naming`. `root` is the sysfs root without a trailing '/'.
  virtual void Scan(const std::string& root, LinuxParticipantNaming naming,
                    _tagSThermalScan& scan) const = 0;

  // A handle on `live`'s entry, whose folder is open as `dir` and still the
  // one scanned. Null with a device error when its first attribute cannot
  // be opened.
  virtual std::unique_ptr<CSysfsHandle> Open(CSysfsLiveEntry live, CUniqueFd dir,
                                             std::shared_ptr<CSysfsValueWriter> writer,
                                             uint32_t& error) const = 0;
};

// Every source, in the order their entries appear in a scan: the thermal
// class first, so a zone's sensor index and a cooling device's device index
// are what they were before other sources existed.
const std::vector<const CParticipantSource*>& ParticipantSources();
