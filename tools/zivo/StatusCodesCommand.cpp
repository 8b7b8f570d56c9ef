// zivo status-codes [--json] [CODE...]: what the codes zivo prints mean, both
// the statuses the library's operations return and the values its managers
// throw when they cannot be created (16 is both, with two meanings).
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "Commands.h"
#include "JsonText.h"
#include "StatusText.h"
#include "TextTable.h"
#include "zivorivizo/StatusCodes.h"

namespace {

struct CodeRow {
  int code;
  const char* kind;  // "returned" or "thrown"
  std::string meaning;
};

const std::vector<int>& ThrownValues() {
  static const std::vector<int> values = {ZIVO_THROW_PM_INIT_FAILED, ZIVO_THROW_CONFIG_FAILED,
                                          ZIVO_THROW_SM_INIT_FAILED, ZIVO_THROW_LOG_OPEN_FAILED,
                                          ZIVO_THROW_PLATFORM_DISABLED};
  return values;
}

// The rows of one code; an unknown code gets one row that says so.
std::vector<CodeRow> RowsOf(int code) {
  std::vector<CodeRow> rows;
  for (const StatusMeaning& text : StatusTexts()) {
    if (text.code == code) {
      rows.push_back({code, "returned", text.meaning});
    }
  }
  for (int thrown : ThrownValues()) {
    if (thrown == code) {
      rows.push_back({code, "thrown", ThrownText(code)});
    }
  }
  if (rows.empty()) {
    rows.push_back({code, "unknown", "unknown status"});
  }
  return rows;
}

}  // namespace

int RunStatusCodes(const ZivoArgs& args) {
  bool json = false;
  std::vector<CodeRow> rows;
  bool anyCode = false;
  for (const std::string& arg : args) {
    if (arg == "--help" || arg == "-h") {
      std::printf(
          "usage: zivo status-codes [--json] [CODE...]\n\n"
          "Prints the meaning of the given codes, or of all of them: the statuses the\n"
          "library's operations return and the values its managers throw when they\n"
          "cannot be created.\n");
      return 0;
    }
    if (arg == "--json") {
      json = true;
      continue;
    }
    char* end = nullptr;
    const long code = std::strtol(arg.c_str(), &end, 10);
    if (arg.empty() || *end != '\0') {
      std::fprintf(stderr, "zivo status-codes: \"%s\" is not a number\n", arg.c_str());
      return 2;
    }
    anyCode = true;
    for (CodeRow& row : RowsOf(static_cast<int>(code))) {
      rows.push_back(std::move(row));
    }
  }
  if (!anyCode) {
    for (const StatusMeaning& text : StatusTexts()) {
      rows.push_back({text.code, "returned", text.meaning});
    }
    for (int thrown : ThrownValues()) {
      rows.push_back({thrown, "thrown", ThrownText(thrown)});
    }
  }
  if (json) {
    nlohmann::json list = nlohmann::json::array();
    for (const CodeRow& row : rows) {
      list.push_back({{"code", row.code}, {"kind", row.kind}, {"meaning", row.meaning}});
    }
    std::printf("%s\n", JsonText(list, 2).c_str());
    return 0;
  }
  CTextTable table;
  table.AddColumn("Code", CTextTable::Align::Right);
  table.AddColumn("Kind");
  table.AddColumn("Meaning");
  for (const CodeRow& row : rows) {
    table.AddRow({std::to_string(row.code), row.kind, row.meaning});
  }
  table.Print(stdout, "");
  return 0;
}
