// The names the drivers' parameters key gives device numbers ("Device3"), as
// one enumeration reads them: every sensor that reports device 3 and the walk
// of the device entries want the same value, and the key does not change in
// between (discovery refreshes it once, before it starts). A name read well is
// handed out again; a name that could not be read is read again by the next
// one to ask, so a passing fault costs no more than that one read.
//
// A re-enumeration replaces every participant: the name lists of the sensors
// it replaces can be handed to the table, whose lists reuse their storage
// rather than allocate each name anew.
//
// Owned by whoever walks the key (the participant manager during Enumerate, a
// sensor built on its own); the key is the owner's and outlives the table. Not
// thread-safe.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CRegistryKey;

class CDeviceNames {
 public:
  // A device name or path is at most 63 characters and its terminator.
  static constexpr std::size_t kNameBytes = 128;
  // The device numbers whose names are kept: as many entries as discovery
  // walks.
  static constexpr uint32_t kKeptNumbers = 1024;

  // Reads through `key`; without one (null) no name can be read. `spare`:
  // lists whose storage the lists that Append fills may take over.
  explicit CDeviceNames(CRegistryKey* key, std::vector<std::vector<std::wstring>> spare = {});
  CDeviceNames(const CDeviceNames&) = delete;
  CDeviceNames& operator=(const CDeviceNames&) = delete;

  // Appends to `devices` the names of the `count` device numbers, in order,
  // leaving out, with an Error line, each that cannot be read: no name is
  // better than a wrong one, empty or that of an earlier entry.
  void Append(const uint32_t* numbers, uint32_t count, std::vector<std::wstring>& devices);
  // The walk of the device entries: the text of entry `number`, as a sensor
  // read it already, otherwise read under `valueName` ("Device" and the
  // number). The status of the read; `value` is untouched when it failed.
  long ReadEntry(uint32_t number, const std::wstring& valueName, std::wstring& value);

 private:
  // The name of `number` as a list holds it; null when not read yet.
  const std::wstring* Known(uint32_t number) const;

  CRegistryKey* mKey;
  // By number, the name as the first list that read it holds it (null: not
  // read yet). Those lists stay put: nothing else changes them while the
  // table is in use, and Append reserves a list's room before it reads.
  // Numbers past the walk of the device entries are read each time. Held in
  // place, not on the heap: growing it while the previous enumeration's
  // participants are freed would make the allocator sort all of them out.
  std::array<const std::wstring*, kKeptNumbers> mNames{};
  std::vector<std::vector<std::wstring>> mSpare;
  std::wstring mValueName;  // storage reused by every read
};
