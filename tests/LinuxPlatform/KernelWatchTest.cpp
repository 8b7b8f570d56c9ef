// "zivo watch" on this machine's real kernel: the thermal netlink family
// exists even where there are no zones, and the watch subscribes to it
// without a warning. It only reads: nothing is written under /sys.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "Platform/Linux/Netlink/ThermalNetlinkReader.h"
#include "support/TempFolder.h"
#include "support/ZivoProcess.h"

namespace {

TEST(KernelWatchTest, WatchSubscribesToTheRealKernelWithoutAWarning) {
  std::string why;
  CThermalNetlinkReader probe([](const ThermalKernelEvent&) {});
  if (!std::filesystem::is_directory("/sys/class/thermal") || !probe.Start(why)) {
    GTEST_SKIP() << "no thermal class or no thermal netlink family here: " << why;
  }
  probe.Stop();
  CTempFolder work;
  const std::string log = work.Path() + "/watch.log";
  const _tagSZivoRun run = RunZivo(
      {"watch", "--platform", "linux", "--json", "--timeout", "1", "--log", log}, work.Path());
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err.find("arning"), std::string::npos) << run.err;
  std::stringstream text;
  text << std::ifstream(log).rdbuf();
  EXPECT_NE(text.str().find("Event Registration done..."), std::string::npos) << text.str();
  EXPECT_EQ(text.str().find("WARNING"), std::string::npos) << text.str();
}

}  // namespace
