// zivo report FILE [-o OUT] [--csv]: draws a run record (zivo run --record)
// as one HTML page, or writes its samples as CSV. The page goes to OUT, by
// default beside FILE with the extension .html (.csv with --csv); "-o -"
// writes to standard output. The path written is printed.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "Commands.h"
#include "OptionReader.h"
#include "ReportCsv.h"
#include "ReportHtml.h"
#include "RunRecord.h"

namespace {

const char* ReportHelp() {
  return "usage: zivo report FILE [-o OUT] [--csv]\n\n"
         "Draws the record of a run (zivo run --record FILE, zivo demo --report) as one\n"
         "self-contained HTML page: per managed sensor its temperature over time against\n"
         "its throttle start, release and shutdown temperatures and its zone's critical\n"
         "trip, each decision as a marker whose tooltip gives its reason, the stretches\n"
         "without a reading shaded, and under it each of its devices' state and a fan's\n"
         "RPM; then a summary table. The page needs no script and fetches nothing.\n\n"
         "  -o OUT   where to write (default: FILE with .html, or .csv); - for standard\n"
         "           output\n"
         "  --csv    one row per sample instead: time, seconds, each sensor's degrees\n"
         "           Celsius, each device's state, each fan's RPM\n";
}

bool WriteFile(const std::string& path, const std::string& text, std::string& error) {
  if (path == "-") {
    return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() &&
           std::fflush(stdout) == 0;
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) {
    error = path + " cannot be written";
    return false;
  }
  return true;
}

}  // namespace

int RunReport(const ZivoArgs& args) {
  std::string input, output;
  bool csv = false;
  COptionReader reader(args);
  while (reader.More()) {
    const std::string& arg = reader.Current();
    if (arg == "--help" || arg == "-h") {
      std::printf("%s", ReportHelp());
      return 0;
    }
    if (reader.TakeFlag("--csv")) {
      csv = true;
      continue;
    }
    if (reader.TakeValue("-o", output) || reader.TakeValue("--output", output)) {
      continue;
    }
    if (arg.size() > 1 && arg[0] == '-') {
      reader.Fail("unknown option \"" + arg + "\"");
    } else if (input.empty()) {
      input = reader.Skip();
    } else {
      reader.Fail("unexpected argument \"" + arg + "\"");
    }
  }
  if (reader.Failed()) {
    std::fprintf(stderr, "zivo report: %s\n", reader.Error().c_str());
    return 2;
  }
  if (input.empty() || (output.empty() && input == "-")) {
    std::fprintf(stderr, "%s", ReportHelp());
    return 2;
  }
  if (output.empty()) {
    output = std::filesystem::path(input).replace_extension(csv ? ".csv" : ".html").string();
    if (output == input) {
      output += csv ? ".csv" : ".html";
    }
  }
  RunRecord record;
  std::string error;
  if (!ReadRunRecord(input, record, error)) {
    std::fprintf(stderr, "zivo report: %s\n", error.c_str());
    return 1;
  }
  const std::string title =
      "zivo run on " +
      (record.header.platform.empty() ? std::string("a platform") : record.header.platform);
  if (!WriteFile(output, csv ? ReportCsv(record) : ReportHtml(record, title), error)) {
    std::fprintf(stderr, "zivo report: %s\n", error.c_str());
    return 1;
  }
  if (output != "-") {
    std::printf("%s\n", output.c_str());
  }
  return 0;
}
