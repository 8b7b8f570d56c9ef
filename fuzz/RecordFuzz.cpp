// Fuzzes the run record reader and the report: each input is read as a
// record (RunRecord.h), and when it reads, it is drawn as the HTML page (its
// summary included) and the CSV. Nothing is written: the record is parsed from
// memory and the page and CSV are only built.
#include <cstddef>
#include <cstdint>
#include <string>

#include "ReportCsv.h"
#include "ReportHtml.h"
#include "RunRecord.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  RunRecord record;
  std::string error;
  if (!ParseRunRecord(std::string(reinterpret_cast<const char*>(data), size), "input", record,
                      error)) {
    return 0;
  }
  const std::string html = ReportHtml(record, "fuzz");
  const std::string csv = ReportCsv(record);
  // A page always ends; a CSV always has its header row.
  if (html.find("</html>") == std::string::npos || csv.find('\n') == std::string::npos) {
    __builtin_trap();
  }
  return 0;
}
