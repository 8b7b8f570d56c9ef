// A host that sees only the shared library's exported interface: it must
// compile against zivorivizo.h alone and link against libzivorivizo.so.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "zivorivizo/zivorivizo.h"

// A host's listener, called through the exported dispatch.
class CHostListener : public CEventListener {
 public:
  using CEventListener::CEventListener;
  int ProcessEvent(VelmarEventListenerType kind, std::wstring name, int eventId,
                   void* context) override {
    *static_cast<int*>(context) += kind == THERMAL_EVENT && name == L"zone" ? eventId : 1000;
    return 0;
  }
};

int main() {
  char pattern[] = "/tmp/zivo-exported-XXXXXX";
  const char* dir = mkdtemp(pattern);
  if (dir == nullptr) {
    return 2;
  }
  const std::string path = std::string(dir) + "/host.log";
  const std::wstring wide(path.begin(), path.end());
  // What loading the library leaves: a silent log front end with no loggers.
  if (CPrint::pPrint != nullptr || myPrint.GetLogLevel() != 0 || CPrint::m_iMaxLogger != 0) {
    std::puts("log active before InitLog");
    return 1;
  }
  CPrint::Error("before InitLog %d", 1);
  CPrint::Print("before InitLog");
  if (myPrint.SetLogLevel(static_cast<LEVEL>(0)) != 0) {
    std::puts("mask not 0 before InitLog");
    return 1;
  }
  InitLog(wide.c_str(), wide.c_str());
  if (myPrint.GetLogLevel() != LEVEL_ALL || CPrint::m_iMaxLogger != 2) {
    std::puts("InitLog did not enable every level with a file and a system logger");
    return 1;
  }
  CPrint::Error("host says %d", 42);
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  if (text.str() != "ERROR : host says 42") {
    std::printf("unexpected log text: [%s]\n", text.str().c_str());
    return 1;
  }
  int32_t out = 0;
  CelsiusToTenthsKelvin(25, &out);
  if (out != 2982) {
    return 1;
  }
  int heard = 0;
  CHostListener listener(&heard);
  CEventManager events;
  events.AddEventListener(&listener, static_cast<VelmarEventListenerType>(THERMAL_EVENT | 2));
  events.NotifyEvent(THERMAL_EVENT, L"zone", 7);
  if (heard != 7 || events.isEmpty(ADD_SENSOR_EVENT)) {
    std::puts("the exported event manager did not dispatch");
    return 1;
  }
  // What a host can explain to a person: a policy file that is not there,
  // the reasons discovery gives, names in UTF-8.
  const ConfigLoadReport report = CheckConfigFile(FromUtf8(std::string(dir) + "/missing.xml"));
  if (report.loaded || report.result == 0 || report.parseError.code == 0) {
    std::puts("a missing policy file was reported as loaded");
    return 1;
  }
  const DiscoveryLeftOut& (*leftOut)(const COSParticipantManager&) = &LeftOutByLastEnumerate;
  if (leftOut == nullptr || std::string(LeftOutReasonText(LeftOutReason::PathTooLong)).empty() ||
      ToUtf8(L"z\u00e9") != "z\xc3\xa9") {
    std::puts("the diagnostics are not exported");
    return 1;
  }
  // The platform's manager is reachable (not created here: that would start
  // watching the real machine).
  void (*deleteEvents)() = &COSEventManager::DeleteInstance;
  deleteEvents();
  std::remove(path.c_str());
  std::remove(dir);
  std::puts("exported interface ok");
  return 0;
}
