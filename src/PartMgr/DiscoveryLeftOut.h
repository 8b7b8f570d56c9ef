// What the participant manager's last Enumerate found listed but left out,
// counted by reason, for hosts that tell their user why a participant they
// expect is missing ("zivo list"). A tool reads this, never the log lines
// that accompany each case.
//
// Owned by the manager; reset at the start of every Enumerate. Run-time
// additions (AddSensor, AddDevice) look for one name and do not count here.
// Read it on the thread that calls the manager, as every other operation.
#pragma once

#include <array>
#include <cstddef>

class COSParticipantManager;

enum class LeftOutReason {
  CountPastLimit,   // a count above MAX_DRIVER_PARTICIPANTS: the entries beyond it
  PathTooLong,      // a path value longer than the 63 characters the buffer holds
  EntryUnreadable,  // a path value missing or of another type
  FirmwareInvalid,  // a firmware sensor whose description cannot be read
  FirmwareCut,      // the firmware's instance list broke off: the rest is unknown
};
inline constexpr std::size_t kLeftOutReasons = 5;

struct DiscoveryLeftOut {
  // How many participants each reason left out; FirmwareCut counts the walks
  // that broke off, each losing an unknown number.
  std::array<int, kLeftOutReasons> counts{};

  void Add(LeftOutReason reason, int count = 1) {
    counts[static_cast<std::size_t>(reason)] += count;
  }
  int Count(LeftOutReason reason) const { return counts[static_cast<std::size_t>(reason)]; }
  int Total() const;
};

// The reason in words, for people ("path longer than 63 characters").
const char* LeftOutReasonText(LeftOutReason reason);

// What `manager`'s last Enumerate left out; all zero before the first.
const DiscoveryLeftOut& LeftOutByLastEnumerate(const COSParticipantManager& manager);
