// An ordered list of the participants of one kind, found by name.
//
// The list holds pointers and owns nothing: the manager that holds the list
// owns the participants. It is edited as a std::list is (push_back, insert,
// erase, remove, assign, clear); an element is never replaced in place, so
// every edit goes through the list.
//
// Find answers the first participant of a name, names compared exactly
// (case counts), in constant time: a name index is kept up by push_back,
// dropped by every other edit and rebuilt by the next Find. The participant
// found last is tried first, then the one after it in the list, so a host's
// run of calls for one participant (read it, refresh it, list its devices),
// and a walk of the list in its order, cost one or two name compares each. A
// hit is checked against the participant's own name, so a participant
// renamed in place is found under its new name and no longer under its old
// one; only a rename that gives a participant a name another one holds is not
// seen until the next edit (names stay fixed while a participant is listed).
// The index is no help for an absent name: that Find walks the list, as a
// search must.
// Edits() counts the edits, so a caller that keeps what it listed can tell
// when to list again.
//
// Not thread-safe: even Find updates the index, so callers serialise every
// call.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

// `Record` is the participant's record member, whose Name is the
// participant's name.
template <typename Participant, auto Record>
class CParticipantList {
 public:
  using value_type = Participant*;
  using const_iterator = typename std::vector<Participant*>::const_iterator;
  using iterator = const_iterator;

  const_iterator begin() const { return mItems.begin(); }
  const_iterator end() const { return mItems.end(); }
  std::size_t size() const { return mItems.size(); }
  bool empty() const { return mItems.empty(); }
  // Edits since the list was made: any change of its entries raises it.
  std::uint64_t Edits() const { return mEdits; }
  Participant* front() const { return mItems.front(); }
  Participant* back() const { return mItems.back(); }

  void push_back(Participant* participant) {
    ++mEdits;
    mItems.push_back(participant);
    if (mIndexed) {
      // A name already indexed keeps its earlier, first holder.
      mFirst.push_back(mIndex.emplace(NameOf(participant), mItems.size() - 1).second);
    }
  }
  const_iterator insert(const_iterator at, Participant* participant) {
    Edited();
    return mItems.insert(at, participant);
  }
  const_iterator erase(const_iterator at) {
    Edited();
    return mItems.erase(at);
  }
  // Takes out every entry that holds `participant`.
  void remove(Participant* participant) {
    Edited();
    mItems.erase(std::remove(mItems.begin(), mItems.end(), participant), mItems.end());
  }
  template <typename Iterator>
  void assign(Iterator first, Iterator last) {
    Edited();
    mItems.assign(first, last);
  }
  void clear() {
    Edited();
    mItems.clear();
  }

  // The entry at `position`, which is below size(). A name lookup that
  // follows for the same participant finds it at its first try, unless an
  // earlier entry holds its name: that lookup answers the earlier one.
  Participant* At(std::size_t position) const {
    if (mIndexed && mFirst[position]) {
      Remember(position);
    }
    return mItems[position];
  }

  // The first participant named `name`; null when none is. Inline, and the
  // participant found last is all it tries: that hit, the common case, costs
  // one name compare and no call but the compare's.
  Participant* Find(const std::wstring& name) const {
    // mLastHit is null whenever the index is down: every edit that moves an
    // entry drops the index and it. It is kept as the pointer itself, so
    // that the compare waits for no read of the list's entries.
    if (mLastHit != nullptr && SameName(NameOf(mLastHit), name)) {
      return mLastHit;
    }
    return FindAfterLast(name);
  }

 private:
  [[gnu::noinline]] Participant* FindAfterLast(const std::wstring& name) const {
    if (mIndexed) {
      // The next entry, when it is the first of its name (kNone + 1 is the
      // first entry): a walk in list order needs no hashing.
      const std::size_t next = mLast + 1;
      if (next < mItems.size() && mFirst[next] && SameName(NameOf(mItems[next]), name)) {
        Remember(next);
        return mItems[next];
      }
    }
    return FindIndexed(name);
  }

  Participant* FindIndexed(const std::wstring& name) const {
    if (!mIndexed) {
      Rebuild();
    }
    const auto hit = mIndex.find(name);
    if (hit != mIndex.end() && NameOf(mItems[hit->second]) == name) {
      Remember(hit->second);
      return mLastHit;
    }
    // Not indexed under that name, or its holder was renamed: the list
    // decides, and a name found there means the index is out of date.
    for (std::size_t i = 0; i < mItems.size(); ++i) {
      if (NameOf(mItems[i]) == name) {
        Rebuild();
        Remember(i);
        return mItems[i];
      }
    }
    return nullptr;
  }

  // Names of one folder or bus differ at their end ("thermal_zone3" and
  // "thermal_zone4"): the last character is compared first.
  static bool SameName(const std::wstring& held, const std::wstring& name) {
    return held.size() == name.size() && (name.empty() || held.back() == name.back()) &&
           held == name;
  }

  static const std::wstring& NameOf(const Participant* participant) {
    return (participant->*Record).Name;
  }

  void Edited() {
    ++mEdits;
    mIndexed = false;
    Forget();
  }

  void Remember(std::size_t position) const {
    mLast = position;
    mLastHit = mItems[position];
  }
  void Forget() const {
    mLast = kNone;
    mLastHit = nullptr;
  }

  void Rebuild() const {
    Forget();
    mIndex.clear();
    mIndex.reserve(mItems.size());
    mFirst.assign(mItems.size(), false);
    for (std::size_t i = 0; i < mItems.size(); ++i) {
      mFirst[i] = mIndex.emplace(NameOf(mItems[i]), i).second;
    }
    mIndexed = true;
  }

  std::vector<Participant*> mItems;
  mutable std::unordered_map<std::wstring, std::size_t> mIndex;
  // Whether each entry is the first of its name; kept with the index.
  mutable std::vector<bool> mFirst;
  mutable bool mIndexed = false;
  std::uint64_t mEdits = 0;
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  // The entry the last lookup answered, or that a read by position gave as
  // the first of its name; kNone after a rebuild and after every edit.
  mutable std::size_t mLast = kNone;
  // The participant at mLast; null when mLast is kNone.
  mutable Participant* mLastHit = nullptr;
};
