// "zivo watch" as a user runs it: the embedded handheld's timeline played
// fast, the kinds chosen, the ways it ends, and the mistakes it refuses.
#include <gtest/gtest.h>

#include <signal.h>
#include <fstream>

#include <set>
#include <sstream>
#include <string>
#include <tuple>

#include "support/FakeSysfs.h"
#include "support/TempFolder.h"
#include "support/ZivoProcess.h"

namespace {

using json = nlohmann::json;
using Event = std::tuple<std::string, std::string, int>;  // kind, name, id

std::multiset<Event> Events(const std::string& out) {
  std::multiset<Event> events;
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    const json event = json::parse(line, nullptr, false);
    EXPECT_FALSE(event.is_discarded()) << line;
    if (event.is_discarded()) {
      continue;
    }
    EXPECT_TRUE(event.contains("time")) << line;
    events.insert({event.value("kind", ""), event.value("name", ""), event.value("id", 0)});
  }
  return events;
}

// The kinds asked for, and exactly --count of them: the remove comes only
// after the add, so a count of one must end before it.
TEST(WatchCommandTest, PrintsOnlyTheKindsAskedForAndExactlyCountOfThem) {
  CTempFolder work;
  std::multiset<Event> expected;
  for (const std::string kind : {"add-device", "remove-device"}) {
    expected.insert({kind, "ACPI\\PNP0C14\\4_0", 1});
    const _tagSZivoRun run =
        RunZivo({"watch", "--platform", "sim", "--json", "--kinds", "add-device,remove-device",
                 "--count", std::to_string(expected.size()), "--speed", "1000", "--timeout", "30"},
                work.Path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Events(run.out), expected);
  }
}

// Without --config a watch reads no policy: not the velmarconfig.xml lying
// in its working folder, and its log says nothing of one.
TEST(WatchCommandTest, ReadsNoPolicyFromTheWorkingFolder) {
  CTempFolder work;
  work.Write("velmarconfig.xml", "<not a policy");
  const std::string log = work.Path() + "/watch.log";
  const _tagSZivoRun run =
      RunZivo({"watch", "--platform", "sim", "--timeout", "0.1", "--log", log}, work.Path());
  ASSERT_EQ(run.status, 0) << run.err;
  std::ifstream in(log);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("DEBUG"), std::string::npos) << "the log is on";
  EXPECT_EQ(text.find("velmarconfig.xml"), std::string::npos) << text;
}

// Each command's --help lists the shared options it takes and no other.
TEST(WatchCommandTest, HelpListsOnlyTheOptionsEachCommandTakes) {
  const struct {
    const char* command;
    std::vector<std::string> listed;
    std::vector<std::string> absent;
  } cases[] = {
      {"watch", {"--kinds", "--platform", "--log-level", "--json"}, {"--wide", "--config"}},
      {"add-device", {"--config", "--json", "--log"}, {"--wide"}},
      {"list", {"--wide", "--config", "--naming"}, {"--kinds"}},
      {"run",
       {"--apply", "--platform", "--sysfs-root", "--naming", "--config", "--log", "--log-level",
        "--json"},
       {"--wide", "--kinds"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    const _tagSZivoRun run = RunZivo({c.command, "--help"});
    ASSERT_EQ(run.status, 0) << run.err;
    for (const std::string& option : c.listed) {
      EXPECT_NE(run.out.find(option + " "), std::string::npos) << option << " in\n" << run.out;
    }
    for (const std::string& option : c.absent) {
      EXPECT_EQ(run.out.find(option), std::string::npos) << option << " in\n" << run.out;
    }
  }
  // An option a command does not offer is refused, not ignored.
  EXPECT_EQ(RunZivo({"run", "--platform", "sim", "--wide"}).status, 2);
}

}  // namespace
