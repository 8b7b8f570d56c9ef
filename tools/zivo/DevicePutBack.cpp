#include "DevicePutBack.h"

#include "Platform/Text.h"
#include "StatusText.h"
#include "zivorivizo/ParticipantMgr.h"

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
