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
