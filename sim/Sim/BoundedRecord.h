// The simulator's records of what the library asked (driver requests,
// firmware calls) are read by tests, and a host left running on the handheld
// keeps adding to them: each is kept to its newest entries.
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

// Appends `entry` to `record`; once `record` holds `bound` entries, its
// oldest half is dropped first, so it keeps the newest bound / 2 at least.
template <typename Entry>
void AppendBounded(std::vector<Entry>& record, Entry entry, std::size_t bound) {
  if (record.size() >= bound) {
    record.erase(record.begin(), record.begin() + static_cast<std::ptrdiff_t>(bound / 2));
  }
  record.push_back(std::move(entry));
}
