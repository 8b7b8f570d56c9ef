// A recorded run of the simulated handheld (its deterministic load model, the
// simulated clock) gives the same page and the same CSV every time: the files
// in golden/. After a deliberate change to the page, rewrite them with
// ZIVO_UPDATE_GOLDEN=1 and look at the difference before committing it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "support/TempFolder.h"
#include "support/ZivoProcess.h"

namespace {

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The page and the CSV of one recorded run of 150 simulated seconds.
std::pair<std::string, std::string> RecordedRun(const CTempFolder& work) {
  const std::string record = work.Path() + "/run.jsonl";
  const _tagSZivoRun run = RunZivo({"run", "--platform", "sim", "--config", "docs/velmarconfig.xml",
                                    "--speed", "100000", "--duration", "150", "--record", record},
                                   ZIVO_SOURCE_DIR);
  EXPECT_EQ(run.status, 0) << run.err;
  const std::string html = work.Path() + "/run.html";
  const std::string csv = work.Path() + "/run.csv";
  const _tagSZivoRun page = RunZivo({"report", record, "-o", html});
  EXPECT_EQ(page.status, 0) << page.err;
  EXPECT_EQ(page.out, html + "\n");
  const _tagSZivoRun rows = RunZivo({"report", record, "--csv"});
  EXPECT_EQ(rows.status, 0) << rows.err;
  EXPECT_EQ(rows.out, csv + "\n");  // beside the record by default
  return {Read(html), Read(csv)};
}

TEST(ReportGolden, ARecordedHandheldRunDrawsTheSameEveryTime) {
  const std::string golden = std::string(ZIVO_SOURCE_DIR) + "/tests/Report/golden/handheld";
  CTempFolder first, second;
  const auto [html, csv] = RecordedRun(first);
  ASSERT_FALSE(html.empty());
  ASSERT_FALSE(csv.empty());
  if (std::getenv("ZIVO_UPDATE_GOLDEN") != nullptr) {
    std::ofstream(golden + ".html", std::ios::binary) << html;
    std::ofstream(golden + ".csv", std::ios::binary) << csv;
  }
  EXPECT_EQ(html, Read(golden + ".html"));
  EXPECT_EQ(csv, Read(golden + ".csv"));
  const auto again = RecordedRun(second);
  EXPECT_EQ(again.first, html);
  EXPECT_EQ(again.second, csv);
}

TEST(ReportCommand, RefusesWhatItCannotDraw) {
  CTempFolder work;
  const std::string notRecord = work.Write("notes.txt", "hello\n");
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string err;
  } cases[] = {
      {{"report"}, 2, "usage: zivo report FILE"},
      {{"report", "a", "b"}, 2, "unexpected argument \"b\""},
      {{"report", "a", "--svg"}, 2, "unknown option \"--svg\""},
      {{"report", "a", "-o"}, 2, "-o needs a value"},
      {{"report", work.Path() + "/missing.jsonl"}, 1, "missing.jsonl cannot be opened"},
      {{"report", notRecord}, 1, "notes.txt:1: not a JSON object"},
      {{"report", notRecord, "-o", work.Path() + "/no/such/folder.html"}, 1, "not a JSON object"},
  };
  for (const Case& c : cases) {
    const _tagSZivoRun run = RunZivo(c.args);
    EXPECT_EQ(run.status, c.status) << c.args.size() << run.err;
    EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
  }
}

}  // namespace
