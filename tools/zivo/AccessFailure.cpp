#include "AccessFailure.h"

#include "zivorivizo/Log.h"
#include "zivorivizo/Platform.h"
#include "zivorivizo/Text.h"

std::string AccessFailureText(const std::wstring& name) {
  LinuxAccessFailure failure;
  if (!GetLinuxAccessFailure(name, failure)) {
    return {};
  }
  return failure.file + ": " + failure.reason;
}

void LogAccessFailure(const std::string& what, const std::wstring& name) {
  const std::string reason = AccessFailureText(name);
  CPrint::Statement(LEVEL_ERROR, __FILE__, __LINE__, "%s %s%s%s", what.c_str(),
                    ToUtf8(name).c_str(), reason.empty() ? "" : ": ", reason.c_str());
}
