#include "Commands.h"

// One declaration and one table row per command; each lives in its own file.

const std::vector<_tagSZivoCommand>& ZivoCommands() {
  static const std::vector<_tagSZivoCommand> commands = {
  };
  return commands;
}
