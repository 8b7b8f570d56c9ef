#include "FailedParticipants.h"

#include <set>
#include <string>
#include <vector>

#include "AccessFailure.h"
#include "Platform/DriverProtocol.h"
#include "Platform/Registry.h"
#include "zivorivizo/Platform.h"
#include "zivorivizo/Text.h"

namespace {

constexpr std::size_t kPathBytes = 128;  // as the library reads them

// The paths listed as PREFIX0, PREFIX1, ... that no record in `named` has.
std::vector<std::wstring> UnclaimedPaths(CRegistryKey& key, const std::wstring& prefix,
                                         const std::set<std::wstring>& named) {
  std::vector<std::wstring> paths;
  uint32_t count = 0;
  if (key.QueryDword(prefix + L"Count", count) != REG_STATUS_SUCCESS) {
    return paths;
  }
  for (uint32_t i = 0; i < count && i < 1024; ++i) {
    std::wstring path;
    if (key.QueryString(prefix + std::to_wstring(i), kPathBytes, path) != REG_STATUS_SUCCESS) {
      continue;
    }
    path = std::wstring(path.c_str());
    if (named.count(path) == 0) {
      paths.push_back(path);
    }
  }
  return paths;
}

template <typename View>
void Label(std::vector<View>& views, CRegistryKey* key, const wchar_t* prefix) {
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
  const std::vector<std::wstring> paths =
      key ? UnclaimedPaths(*key, prefix, named) : std::vector<std::wstring>();
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

void LabelFailedParticipants(_tagSParticipantView& view) {
  long status = 0;
  std::unique_ptr<CRegistryKey> key =
      CPlatform::Current()->Registry().Open(DRIVER_PARAMETERS_KEY, REG_ACCESS_READ, status);
  Label(view.devices, key.get(), L"Device");
  Label(view.sensors, key.get(), L"Sensor");
}
