#include "DevicePutBack.h"

#include <algorithm>
#include <optional>

#include "StateFolder.h"
#include "StatusText.h"
#include "zivorivizo/ParticipantMgr.h"
#include "zivorivizo/Text.h"

namespace {

std::string Failed(int status) {
  return std::to_string(status) + ": " + StatusText(status);
}

}  // namespace

std::vector<PutBackResult> PutBackDevices(CParticipantMgr& participants,
                                          const LedgerEntries& entries) {
  std::vector<PutBackResult> results;
  for (const auto& [name, entry] : entries) {
    if (entry.written == entry.found) {
      continue;
    }
    PutBackResult result;
    result.device = name;
    const std::string device = ToUtf8(name);
    _tagSDevice record;
    int status = participants.GetDevice(name, record);
    if (status != 0) {
      result.failed = true;
      result.text = device + " (cannot read its state, " + Failed(status) + ")";
    } else if (record.Current != entry.written) {
      result.text = device + " at " + std::to_string(record.Current) +
                    " (set by someone else after run wrote " + std::to_string(entry.written) + ")";
    } else {
      record.Current = entry.found;
      status = participants.SetDevice(record);
      result.putBack = status == 0;
      result.failed = status != 0;
      result.text = device + " " + std::to_string(entry.written) + " -> " +
                    std::to_string(entry.found) +
                    (status == 0 ? "" : " failed with " + Failed(status));
    }
    results.push_back(std::move(result));
  }
  return results;
}

std::string PutBackText(const std::vector<PutBackResult>& results) {
  std::string back;
  std::string left;
  for (const PutBackResult& r : results) {
    std::string& list = r.putBack ? back : left;
    list += (list.empty() ? "" : ", ") + r.text;
  }
  if (back.empty() && left.empty()) {
    return "nothing to put back";
  }
  std::string text = back.empty() ? "" : "put back " + back;
  if (!left.empty()) {
    text += (text.empty() ? "" : "; ") + std::string("left ") + left;
  }
  return text;
}

bool AnyFailed(const std::vector<PutBackResult>& results) {
  return std::any_of(results.begin(), results.end(),
                     [](const PutBackResult& r) { return r.failed; });
}

bool PutBackLeftOver(const CStateFolder& folder, const StateRecord& here,
                     CParticipantMgr& participants, std::string& said, std::string& error) {
  std::optional<StateRecord> left;
  if (!folder.Read(left, error)) {
    return false;
  }
  if (!left) {
    return true;
  }
  if (left->platform != here.platform || left->sysfsRoot != here.sysfsRoot ||
      left->naming != here.naming) {
    error = folder.StateFile() + " holds the devices of a run on another platform (" +
            left->platform + " " + left->sysfsRoot + "); put them back with zivo restore first";
    return false;
  }
  const std::vector<PutBackResult> back = PutBackDevices(participants, left->devices);
  said = "the run " + std::to_string(left->pid) + " did not end cleanly: " + PutBackText(back);
  if (AnyFailed(back)) {
    error =
        "some devices of " + folder.StateFile() + " could not be put back: " + PutBackText(back);
    return false;
  }
  return folder.Remove(error);
}

std::string PutBackAtEnd(const CStateFolder& folder, CParticipantMgr& participants,
                         const LedgerEntries& entries) {
  const std::vector<PutBackResult> back = PutBackDevices(participants, entries);
  std::string text = PutBackText(back);
  std::string error;
  if (AnyFailed(back)) {
    text += "; " + folder.StateFile() + " kept for zivo restore";
  } else if (!folder.Remove(error)) {
    text += "; " + error;
  }
  return text;
}
