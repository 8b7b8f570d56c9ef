// The names the drivers' parameters key gives device numbers ("Device3"), as
// one enumeration reads them: every sensor that reports device 3 and the walk
// of the device entries want the same value, and the key does not change in
// between (discovery refreshes it once, before it starts). A name read well is
// handed out again; a name that could not be read is read again by the next
// one to ask, so a passing fault costs no more than that one read.
//
// A re-enumeration replaces every participant: the name lists of the sensors
// it replaces can be handed to the table, whose lists reuse their storage
// rather than allocate each name anew. The table remembers which numbers
// each list it filled names, so that the links are made by number.
//
// Owned by whoever walks the key (the participant manager for the length of
// Enumerate, a sensor built on its own); the key is the owner's and is read
// only while ReadThrough holds it. Not thread-safe.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class CRegistryKey;

class CDeviceNames {
 public:
  // A device name or path is at most 63 characters and its terminator.
  static constexpr std::size_t kNameBytes = 128;
  // The device numbers whose names are kept: as many entries as discovery
  // walks.
  static constexpr uint32_t kKeptNumbers = 1024;

  // Reads through `key`; without one (null) no name can be read.
  explicit CDeviceNames(CRegistryKey* key);
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
  // Reads through `key` from now on (null: no name can be read).
  void ReadThrough(CRegistryKey* key) { mKey = key; }
  // Room for the runs (below) of `lists` lists and the numbers of `devices`
  // devices. A re-enumeration asks for it before it frees the participants it
  // replaces: taken after, it would be cut out of their freed memory and make
  // the allocator sort all of it out.
  void Reserve(std::size_t lists, std::size_t devices) {
    mRuns.reserve(lists);
    mDeviceNumbers.reserve(devices);
  }
  // Lists whose storage the lists that Append fills may take over.
  void Spare(std::vector<std::vector<std::wstring>> spare) { mSpare = std::move(spare); }

  // The device numbers whose names a list that Append filled holds: its
  // entries from `first` on, `count` of them, are the names of `numbers`, in
  // order (kUnnumbered: a number whose name is read again by every list that
  // names it). Two entries of one number hold the same name as long as
  // neither list changes.
  static constexpr uint32_t kUnnumbered = 0xFFFFFFFF;
  static constexpr std::size_t kRunNumbers = 5;  // as many as a driver reports
  struct NumberedRun {
    const std::vector<std::wstring>* list = nullptr;
    uint32_t first = 0;
    uint32_t count = 0;
    std::array<uint32_t, kRunNumbers> numbers{};
  };
  // In the order Append was called.
  const std::vector<NumberedRun>& Runs() const { return mRuns; }

  // The walk of the device entries made the next device of the device list,
  // named `name`, from entry `number`.
  void DeviceMade(uint32_t number, const std::wstring& name);
  // For each device the walk made, in the order made (the device list's first
  // devices), its number when it is named as every list that names that
  // number holds it, otherwise kUnnumbered: a device whose path is cut at a
  // NUL or that took no name.
  const std::vector<uint32_t>& DeviceNumbers() const { return mDeviceNumbers; }

 private:
  // Adds `number` to `run`, when it has room.
  static void Number(NumberedRun& run, uint32_t number);
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
  std::vector<NumberedRun> mRuns;
  std::vector<uint32_t> mDeviceNumbers;
  std::wstring mValueName;  // storage reused by every read
};
