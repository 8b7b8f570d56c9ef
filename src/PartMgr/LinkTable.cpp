#include "PartMgr/LinkTable.h"

#include <functional>
#include <string>

#include "zivorivizo/Device.h"

void CLinkTable::Size(std::size_t devices) {
  // At most half full, so a probe ends soon at a free slot.
  std::size_t slots = 16;
  while (slots < 2 * devices) {
    slots *= 2;
  }
  mSlots.resize(slots);
  mMask = slots - 1;
}

void CLinkTable::Add(CDevice* device) {
  const std::wstring& name = device->mDevice.Name;
  const std::uint32_t hash = HashOf(name);
  Slot& slot = Find(name, hash);
  if (slot.device != nullptr) {
    return;  // a later device of a name already held: the first one keeps it
  }
  slot.name = name.data();
  slot.size = static_cast<std::uint32_t>(name.size());
  slot.hash = hash;
  slot.device = device;
}

CDevice* CLinkTable::Link(std::wstring_view name) {
  Slot& slot = Find(name, HashOf(name));
  if (slot.device != nullptr) {
    ++slot.links;
  }
  return slot.device;
}

CLinkTable::Slot& CLinkTable::Find(std::wstring_view name, std::uint32_t hash) {
  for (std::size_t at = hash & mMask;; at = (at + 1) & mMask) {
    Slot& slot = mSlots[at];
    if (slot.device == nullptr ||
        (slot.hash == hash && std::wstring_view(slot.name, slot.size) == name)) {
      return slot;
    }
  }
}

std::uint32_t CLinkTable::HashOf(std::wstring_view name) {
  // The library's hash of the bytes: a few characters per step.
  const std::size_t hash = std::hash<std::wstring_view>{}(name);
  return static_cast<std::uint32_t>(hash ^ (hash >> 32));
}
