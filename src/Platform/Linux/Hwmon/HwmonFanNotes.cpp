#include "Platform/Linux/Hwmon/HwmonFanNotes.h"

#include <iterator>
#include <utility>

CHwmonFanNotes& CHwmonFanNotes::Instance() {
  static CHwmonFanNotes notes;
  return notes;
}

void CHwmonFanNotes::Keep(LinuxFanNote note) {
  std::lock_guard<std::mutex> hold(mLock);
  if (mNotes.size() >= kCapacity) {
    mNotes.pop_front();
  }
  mNotes.push_back(std::move(note));
}

std::vector<LinuxFanNote> CHwmonFanNotes::Take() {
  std::lock_guard<std::mutex> hold(mLock);
  std::vector<LinuxFanNote> taken(std::make_move_iterator(mNotes.begin()),
                                  std::make_move_iterator(mNotes.end()));
  mNotes.clear();
  return taken;
}

std::vector<LinuxFanNote> TakeLinuxFanNotes() {
  return CHwmonFanNotes::Instance().Take();
}
