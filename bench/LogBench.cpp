// The cost of one library log statement (every level on, one file logger on
// a file in /tmp, the real clock) against a synchronous file logger of a
// widely used logging library writing a similar line and flushing each one,
// measured in the same run. Prints both costs and their ratio at the end.
//
//   LogBench                       the comparison
//   LogBench --statements=N        only N library statements, then exit; for
//                                  counting system calls, e.g.
//                                  strace -f -c -e trace=write LogBench --statements=10000
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "CollectingReporter.h"
#include "Log/LogStatement.h"
#include "zivorivizo/Platform.h"

#ifdef ZIVO_HAVE_SPDLOG
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/spdlog.h>
#endif

namespace {

const std::wstring kDeviceName = L"\\\\.\\ThermalFan0";
const std::string kNarrowDeviceName = "\\\\.\\ThermalFan0";

std::filesystem::path& Folder() {
  static std::filesystem::path folder;
  return folder;
}

// Each run starts on an empty file: a file that grew over the earlier runs,
// with its pages still waiting to be written out, would make the cost of a
// line depend on which runs came before.
void EmptyFile(const std::filesystem::path& path) {
  std::error_code ignored;
  std::filesystem::resize_file(path, 0, ignored);
}

void StartLibraryLog() {
  CPlatform::Install(CreateLinuxPlatform("/sys"));
  const std::wstring path = (Folder() / "zivo.log").wstring();
  InitLog(path.c_str(), path.c_str());
}

void BM_LibraryStatement(benchmark::State& state) {
  EmptyFile(Folder() / "zivo.log");
  int n = 0;
  for (auto _ : state) {
    LOG_DEBUG("CParticipantMgr GetDevice called for %ls, state %d", kDeviceName.c_str(), ++n);
  }
}

#ifdef ZIVO_HAVE_SPDLOG
void BM_SpdlogLine(benchmark::State& state) {
  static const auto logger = [] {
    auto created = spdlog::basic_logger_mt("bench", (Folder() / "spdlog.log").string());
    // The same line shape: date, time with milliseconds, level, source, message.
    created->set_pattern("%Y:%m:%d %H:%M:%S:%e %^%L%$ : [%s:%#] %v");
    created->set_level(spdlog::level::trace);
    created->flush_on(spdlog::level::trace);
    return created;
  }();
  EmptyFile(Folder() / "spdlog.log");
  int n = 0;
  for (auto _ : state) {
    logger->log(spdlog::source_loc{__FILE__, __LINE__, ""}, spdlog::level::debug,
                "CParticipantMgr GetDevice called for {}, state {}", kNarrowDeviceName, ++n);
  }
}
#endif

// The two are registered in alternating rounds, so that a change in the load
// of a shared machine falls on both alike.
void RegisterRounds(int rounds) {
  for (int i = 0; i < rounds; ++i) {
    benchmark::RegisterBenchmark("library_statement", BM_LibraryStatement);
#ifdef ZIVO_HAVE_SPDLOG
    benchmark::RegisterBenchmark("baseline_line", BM_SpdlogLine);
#endif
  }
}

}  // namespace

int main(int argc, char** argv) {
  char pattern[] = "/tmp/zivo-logbench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    std::perror("mkdtemp");
    return 2;
  }
  Folder() = pattern;
  StartLibraryLog();

  if (argc == 2 && std::strncmp(argv[1], "--statements=", 13) == 0) {
    const long count = std::strtol(argv[1] + 13, nullptr, 10);
    for (long i = 0; i < count; ++i) {
      LOG_DEBUG("CParticipantMgr GetDevice called for %ls, state %d", kDeviceName.c_str(),
                static_cast<int>(i));
    }
  } else {
    benchmark::Initialize(&argc, argv);
    RegisterRounds(5);
    CCollectingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    CCollectingReporter::Cost ours{};
    CCollectingReporter::Cost theirs{};
    const bool haveOurs = reporter.Median("library_statement", ours);
    const bool haveTheirs = reporter.Median("baseline_line", theirs);
    std::printf("\nmedian of 5 alternating rounds, per line     CPU        real\n");
    if (haveOurs) {
      std::printf("library log statement:                  %8.0f ns %8.0f ns\n", ours.cpu,
                  ours.real);
    }
    if (haveTheirs) {
      std::printf("baseline synchronous file logger:       %8.0f ns %8.0f ns\n", theirs.cpu,
                  theirs.real);
    }
    if (haveOurs && haveTheirs) {
      const double ratio = ours.cpu / theirs.cpu;
      std::printf("ratio library / baseline:               %8.2f    %8.2f\n", ratio,
                  ours.real / theirs.real);
      std::printf("target: CPU ratio <= 1.00 ... %s\n", ratio <= 1.0 ? "met" : "NOT met");
    }
  }
  // The loggers keep their files open; on Linux the folder can go regardless.
  std::error_code ignored;
  std::filesystem::remove_all(Folder(), ignored);
  return 0;
}
