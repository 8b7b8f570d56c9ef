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

std::uint32_t CLinkTable::Add(CDevice* device) {
  const std::wstring& name = device->mDevice.Name;
  const std::uint32_t hash = HashOf(name);
  const std::size_t at = FindAt(name, hash);
  Slot& slot = mSlots[at];
  if (slot.device == nullptr) {
    // A later device of a name already held leaves it to the first one.
    slot.name = name.data();
    slot.size = static_cast<std::uint32_t>(name.size());
    slot.hash = hash;
    slot.device = device;
  }
  return static_cast<std::uint32_t>(at);
}

void CLinkTable::LookUp(Numbered& numbered, std::wstring_view name) {
  numbered.slot = static_cast<std::uint32_t>(FindAt(name, HashOf(name)));
  numbered.device = mSlots[numbered.slot].device;
}

std::size_t CLinkTable::FindAt(std::wstring_view name, std::uint32_t hash) const {
  for (std::size_t at = hash & mMask;; at = (at + 1) & mMask) {
    const Slot& slot = mSlots[at];
    if (slot.device == nullptr ||
        (slot.hash == hash && std::wstring_view(slot.name, slot.size) == name)) {
      return at;
    }
  }
}

std::uint32_t CLinkTable::HashOf(std::wstring_view name) {
  // The library's hash of the bytes: a few characters per step.
  const std::size_t hash = std::hash<std::wstring_view>{}(name);
  return static_cast<std::uint32_t>(hash ^ (hash >> 32));
}
