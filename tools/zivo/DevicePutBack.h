// Puts devices back in the state found, from a ledger (DeviceLedger.h): a
// device whose state is still what run wrote last goes back to the state
// found; one that someone else set since is left as it is. Used when zivo
// run stops, when it finds the record of a run that did not end cleanly, and
// by zivo restore.
#pragma once

#include <string>
#include <vector>

#include "DeviceLedger.h"

class CParticipantMgr;
class CStateFolder;
struct StateRecord;

struct PutBackResult {
  std::wstring device;
  bool putBack = false;  // written back to the state found
  bool failed = false;   // its state could not be read or written
  std::string text;      // "NAME 2 -> 0", or why it was left
};

// One result for each entry with something to put back (written != found).
std::vector<PutBackResult> PutBackDevices(CParticipantMgr& participants,
                                          const LedgerEntries& entries);
// "put back A 2 -> 0, B 1 -> 0; left C at 4 (...)", or "nothing to put back".
std::string PutBackText(const std::vector<PutBackResult>& results);
// True when one of them could not be read or written.
bool AnyFailed(const std::vector<PutBackResult>& results);

// At start, with the lock held: the record a run that did not end cleanly
// left in `folder` is put back on `participants`, then removed. `said` gets
// the line to show ("" when there was no record). False with `error` when
// the record cannot be read, belongs to another platform than `here`, or a
// device could not be put back (the record is then kept).
bool PutBackLeftOver(const CStateFolder& folder, const StateRecord& here,
                     CParticipantMgr& participants, std::string& said, std::string& error);
// At a clean end: `entries` put back and the record removed, unless a device
// could not be put back (it is then kept for zivo restore). The text of the
// last line.
std::string PutBackAtEnd(const CStateFolder& folder, CParticipantMgr& participants,
                         const LedgerEntries& entries);
