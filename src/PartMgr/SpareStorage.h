// What a re-enumeration takes from the participants it replaces, so that the
// new ones reuse the storage rather than allocate it anew: the sensors' lists
// of device names and both sides' lists of links, each emptied with its room
// kept. Owned by Enumerate for the length of one call.
#pragma once

#include <string>
#include <utility>
#include <vector>

class CDevice;
class CSensor;

struct SpareStorage {
  std::vector<std::vector<std::wstring>> names;
  std::vector<std::vector<CDevice*>> sensorLinks;
  std::vector<std::vector<CSensor*>> deviceLinks;
};

// Moves `list`, storage and entries, to `spares` when it has storage; `list`
// ends empty. A list of links is emptied before it is spared; a list of names
// keeps its entries, so that names written over them reuse their room too.
template <typename T>
void Spare(std::vector<T>& list, std::vector<std::vector<T>>& spares) {
  if (list.capacity() != 0) {
    spares.push_back(std::move(list));
  }
}

// Gives `list`, which has no storage yet, a spare one whole, when one is left.
template <typename T>
void TakeSpare(std::vector<std::vector<T>>& spares, std::vector<T>& list) {
  if (list.capacity() == 0 && !spares.empty()) {
    list.swap(spares.back());
    spares.pop_back();
  }
}
