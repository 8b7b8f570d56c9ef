#include "Commands.h"

// One declaration and one table row per command; each lives in its own file.

int RunConfigCheck(const ZivoArgs& args);

const std::vector<_tagSZivoCommand>& ZivoCommands() {
  static const std::vector<_tagSZivoCommand> commands = {
      {"config check", "check a thermal policy file before deploying it", RunConfigCheck},
  };
  return commands;
}
