// The commands of the zivo host program. Each takes the arguments after its
// own name and returns the process exit status. Errors go to standard error.
#pragma once

#include <string>
#include <vector>

using ZivoArgs = std::vector<std::string>;

struct ZivoCommand {
  const char* name;     // "list", "config check", ...
  const char* summary;  // one line for the overview
  int (*run)(const ZivoArgs& args);
};

// Every command, in the order the overview lists them.
const std::vector<ZivoCommand>& ZivoCommands();
