// zivo status-codes [CODE...]: what the library's status codes mean.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Commands.h"
#include "StatusText.h"
#include "TextTable.h"

int RunStatusCodes(const ZivoArgs& args) {
  CTextTable table;
  table.AddColumn("Code", CTextTable::Align::Right);
  table.AddColumn("Meaning");
  for (const std::string& arg : args) {
    if (arg == "--help" || arg == "-h") {
      std::printf(
          "usage: zivo status-codes [CODE...]\n\n"
          "Prints the meaning of the given status codes, or of all of them.\n");
      return 0;
    }
    char* end = nullptr;
    const long code = std::strtol(arg.c_str(), &end, 10);
    if (arg.empty() || *end != '\0') {
      std::fprintf(stderr, "zivo status-codes: \"%s\" is not a number\n", arg.c_str());
      return 2;
    }
    table.AddRow({std::to_string(code), StatusText(static_cast<int>(code))});
  }
  if (args.empty()) {
    for (const _tagSStatusText& text : StatusTexts()) {
      table.AddRow({std::to_string(text.code), text.meaning});
    }
  }
  table.Print(stdout, "");
  return 0;
}
