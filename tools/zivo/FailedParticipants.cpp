#include "FailedParticipants.h"

#include <set>
#include <string>
#include <vector>

#include "AccessFailure.h"
#include "zivorivizo/Diagnostics.h"
#include "zivorivizo/Text.h"

namespace {

// The paths listed for the kind that no record in `named` has.
std::vector<std::wstring> UnclaimedPaths(bool sensors, const std::set<std::wstring>& named) {
  std::vector<std::wstring> paths;
  for (std::wstring& path : ListedDriverPaths(sensors)) {
    if (named.count(path) == 0) {
      paths.push_back(std::move(path));
    }
  }
  return paths;
}

template <typename View>
void Label(std::vector<View>& views, bool sensors) {
  std::set<std::wstring> named;
  bool anyNameless = false;
  for (const View& view : views) {
    if (view.record.Name.empty()) {
      anyNameless = true;
    } else {
      named.insert(view.record.Name);
    }
  }
  if (!anyNameless) {
    return;
  }
  const std::vector<std::wstring> paths = UnclaimedPaths(sensors, named);
  std::size_t next = 0;
  for (View& view : views) {
    if (!view.record.Name.empty()) {
      continue;
    }
    const std::wstring listed = next < paths.size() ? paths[next++] : std::wstring();
    const std::string path = listed.empty() ? "an unknown path" : ToUtf8(listed);
    // On Linux the file and the errno of the access that failed say why.
    const std::string reason = listed.empty() ? std::string() : AccessFailureText(listed);
    view.failure = "listed as " + path + ": its driver did not open or did not describe itself" +
                   (reason.empty() ? " (the log has the call)" : ": " + reason);
    view.record.Valid = 0;
  }
}

}  // namespace

void LabelFailedParticipants(ParticipantView& view) {
  Label(view.devices, false);
  Label(view.sensors, true);
}
