// A host that sees only the shared library's exported interface: it must
// compile against zivorivizo.h alone and link against libzivorivizo.so.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "zivorivizo/zivorivizo.h"

int main() {
  char pattern[] = "/tmp/zivo-exported-XXXXXX";
  const char* dir = mkdtemp(pattern);
  if (dir == nullptr) {
    return 2;
  }
  const std::string path = std::string(dir) + "/host.log";
  const std::wstring wide(path.begin(), path.end());
  if (CPrint::pPrint != nullptr || myPrint.GetLogLevel() != 0) {
    std::puts("log active before InitLog");
    return 1;
  }
  InitLog(wide.c_str(), wide.c_str());
  if (myPrint.GetLogLevel() != LEVEL_ALL) {
    std::puts("InitLog did not enable every level");
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
  std::remove(path.c_str());
  std::remove(dir);
  std::puts("exported interface ok");
  return 0;
}
