// The devices of one enumeration by name, as the sensors' links are made to
// them: each name answers the first device of the list that holds it (as a
// walk from the front finds it) and counts the links made to it, so the
// devices' side of the links can be given its room at once.
//
// Built once per enumeration, then only looked up: one block of slots, open
// addressing, no allocation per device. A name read as a device number is
// looked up once per number; its other links go by the number. A device made
// from the entry of a number, under the name the sensors hold for it, gives
// that number its slot at once: no link by the number hashes. The names
// are the devices' own and are not copied: no device goes or is renamed
// while the table is in use.
// Owned by the manager's link step; not thread-safe.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class CDevice;

class CLinkTable {
 public:
  // `numbers`, when given, are the device numbers of the list's first
  // devices, in order: each of those devices is named as every name read as
  // its number (a number past kNumbers stands for none).
  template <typename Devices>
  explicit CLinkTable(const Devices& devices, std::span<const std::uint32_t> numbers = {}) {
    Size(devices.size());
    std::size_t made = 0;
    for (CDevice* device : devices) {
      const std::uint32_t at = Add(device);
      if (made < numbers.size() && numbers[made] < kNumbers) {
        mByNumber[numbers[made]] = Numbered{mSlots[at].device, at, 0};
      }
      ++made;
    }
  }

  // The first device named `name`, with one more link counted to it; null
  // when no device is named so.
  CDevice* Link(std::wstring_view name) { return LinkAt(FindAt(name, HashOf(name))); }
  // The same, for a name read as device number `number` (below kNumbers):
  // every name of one number is the same, so a number is looked up once and
  // then found by number, without a look at `name`.
  static constexpr std::size_t kNumbers = 1024;
  CDevice* LinkNumbered(const std::wstring& name, std::uint32_t number) {
    if (number >= kNumbers) {
      return Link(name);
    }
    Numbered& numbered = mByNumber[number];
    if (numbered.slot == kNotLooked) {
      LookUp(numbered, name);
    }
    if (numbered.device != nullptr) {
      ++numbered.links;
    }
    return numbered.device;
  }

  // Calls `visit(device, links)` for every device that links were made to.
  template <typename Visit>
  void ForEachLinked(Visit visit) {
    for (Numbered& numbered : mByNumber) {
      if (numbered.links != 0) {
        mSlots[numbered.slot].links += numbered.links;
        numbered.links = 0;
      }
    }
    for (const Slot& slot : mSlots) {
      if (slot.device != nullptr && slot.links != 0) {
        visit(slot.device, slot.links);
      }
    }
  }

 private:
  struct Slot {
    const wchar_t* name = nullptr;
    std::uint32_t size = 0;
    std::uint32_t hash = 0;
    CDevice* device = nullptr;  // null: the slot is free
    std::size_t links = 0;
  };

  void Size(std::size_t devices);
  // The slot of the device's name, which holds the device unless an earlier
  // one has the name.
  std::uint32_t Add(CDevice* device);
  // The slot of `name`: its device's, or the free one where it would go.
  std::size_t FindAt(std::wstring_view name, std::uint32_t hash) const;
  // The device of slot `at`, with one more link counted to it when it has one.
  CDevice* LinkAt(std::size_t at) {
    Slot& slot = mSlots[at];
    if (slot.device != nullptr) {
      ++slot.links;
    }
    return slot.device;
  }
  static std::uint32_t HashOf(std::wstring_view name);
  struct Numbered;
  // Looks `name`, the first name read as `numbered`'s number, up: keeps its
  // slot and that slot's device in `numbered`.
  void LookUp(Numbered& numbered, std::wstring_view name);

  std::vector<Slot> mSlots;
  std::size_t mMask = 0;
  // By device number: the slot its name was found at (kNotLooked before),
  // that slot's device, and the links made by the number, which join the
  // slot's count when the links are visited. Kept apart from the slots, so
  // that a link by number touches this small block only.
  static constexpr std::uint32_t kNotLooked = 0xFFFFFFFF;
  struct Numbered {
    CDevice* device = nullptr;
    std::uint32_t slot = kNotLooked;
    std::uint32_t links = 0;
  };
  std::array<Numbered, kNumbers> mByNumber{};
};
