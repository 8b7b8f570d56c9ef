#include "CommandReport.h"

#include <cerrno>
#include <cstring>

#include "HostSession.h"
#include "StatusText.h"
#include "zivorivizo-sim/SimPower.h"
#include "zivorivizo/Text.h"

std::string PolicyFailure(const std::string& file, int status) {
  FILE* probe = std::fopen(file.c_str(), "r");
  if (probe == nullptr) {
    return std::strerror(errno);
  }
  std::fclose(probe);
  return "status " + std::to_string(status) + ": " + StatusText(status) +
         " (the library's log says where)";
}

bool ReportPolicy(FILE* out, const PlatformOptions& options, const CHostSession& session) {
  if (options.configFile.empty()) {
    std::fprintf(out, "Policy: none given (built-in defaults)\n");
    return true;
  }
  if (session.ConfigResult() == 0) {
    std::fprintf(out, "Policy: %s\n", options.configFile.c_str());
    return true;
  }
  std::fprintf(out, "Policy: NOT loaded from %s: %s\n", options.configFile.c_str(),
               PolicyFailure(options.configFile, session.ConfigResult()).c_str());
  return false;
}

std::size_t ReportPowerRequests(FILE* out, const ChosenPlatform& chosen) {
  if (!chosen.power) {
    return 0;
  }
  std::size_t count = 0;
  for (const _tagSPowerRequest& request : chosen.power->Requests()) {
    if (request.kind == _tagSPowerRequest::Kind::Shutdown) {
      std::fprintf(out,
                   "Power: the library asked for a %s in %u s (force %s), recorded and not "
                   "carried out; message: \"%s\"\n",
                   request.reboot ? "reboot" : "shutdown", request.timeoutSeconds,
                   request.force ? "yes" : "no", ToUtf8(request.message).c_str());
      ++count;
    } else if (request.kind == _tagSPowerRequest::Kind::SetPowerState) {
      std::fprintf(out, "Power: the library asked to %s (force %s), recorded and not carried out\n",
                   request.suspend ? "suspend" : "hibernate", request.force ? "yes" : "no");
      ++count;
    }
  }
  return count;
}
