// zivo: a host for the thermal library, for people who run it on a machine and
// for scripts. "zivo --help" lists the commands; each has its own --help.
#include <cstdio>
#include <cstring>
#include <string>

#include "Commands.h"
#include "OutputPipe.h"

namespace {

void PrintOverview(FILE* out) {
  std::fprintf(out, "usage: zivo COMMAND [OPTIONS]\n\ncommands:\n");
  for (const ZivoCommand& command : ZivoCommands()) {
    std::fprintf(out, "  %-22s %s\n", command.name, command.summary);
  }
  std::fprintf(out, "\nRun \"zivo COMMAND --help\" for the options of one command.\n");
}

}  // namespace

int main(int argc, char** argv) {
  IgnoreBrokenPipe();
  ZivoArgs args(argv + 1, argv + argc);
  if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    PrintOverview(args.empty() ? stderr : stdout);
    return args.empty() ? 2 : 0;
  }
  if (args[0] == "--version" || args[0] == "version") {
    std::printf("zivo %s\n", ZIVO_VERSION);
    return 0;
  }
  // A command name may be two words ("config check"): the longest match wins.
  const ZivoCommand* best = nullptr;
  std::size_t bestWords = 0;
  for (const ZivoCommand& command : ZivoCommands()) {
    std::string joined;
    std::size_t words = 0;
    for (std::size_t i = 0; i < args.size(); ++i) {
      joined += (i == 0 ? "" : " ") + args[i];
      if (joined == command.name) {
        words = i + 1;
        break;
      }
    }
    if (words > bestWords) {
      best = &command;
      bestWords = words;
    }
  }
  if (best == nullptr) {
    std::fprintf(stderr, "zivo: unknown command \"%s\"\n\n", args[0].c_str());
    PrintOverview(stderr);
    return 2;
  }
  return best->run(ZivoArgs(args.begin() + static_cast<long>(bestWords), args.end()));
}
