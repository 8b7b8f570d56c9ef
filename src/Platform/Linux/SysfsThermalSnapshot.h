// One scan of every participant source, frozen: the participants with their names,
// sensor and device indexes, and the registry parameters key that lists them
// (SensorCount, Sensor0.., DeviceCount, Device0..). Everything that reads a
// snapshot sees the same numbering, so a device index that a zone reports
// names the same cooling device in the key of that snapshot.
//
// Immutable once built apart from the values of its parameters key, which a
// caller may write (they last until the next refresh replaces the snapshot).
// Thread-safe; shared by whoever still reads it.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

#include "Platform/Linux/SysfsThermalScan.h"

class CMemoryRegistry;

class CSysfsThermalSnapshot {
 public:
  explicit CSysfsThermalSnapshot(_tagSThermalScan scan);
  ~CSysfsThermalSnapshot();

  const _tagSThermalScan& Scan() const { return mScan; }
  // The registry holding this snapshot's parameters key.
  CMemoryRegistry& Parameters() const { return *mParameters; }

  // The sensor or device a participant name stands for.
  const _tagSThermalEntry* FindSensor(const std::wstring& name) const;
  const _tagSThermalEntry* FindDevice(const std::wstring& name) const;

  // Whether both list the same folders under the same names.
  bool SameAs(const CSysfsThermalSnapshot& other) const;
  // The same, against a scan not yet made into a snapshot.
  bool SameAs(const _tagSThermalScan& scan) const;

 private:
  _tagSThermalScan mScan;
  std::unordered_map<std::wstring, std::size_t> mSensorByName;
  std::unordered_map<std::wstring, std::size_t> mDeviceByName;
  std::shared_ptr<CMemoryRegistry> mParameters;
};
