// InitLog and the logger table change process-wide state, so these tests live
// in a program of their own, and each one starts and ends with the log as the
// module leaves it at load: myPrint freshly constructed, no loggers, no
// CPrint::pPrint. The shared log capture of the other programs registers a
// logger for the whole process, so it has no place here.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <new>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "Log/LogStatement.h"
#include "support/SimPlatformTest.h"

namespace {

void ResetLogToModuleLoad() {
  CPrint::pPrint = nullptr;
  myPrint.~CPrint();
  new (&myPrint) CPrint();
  CPrint::m_iMaxLogger = 0;
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Keeps every piece it is given, in a list the test owns.
class CRecordingLogger : public CLogger {
 public:
  explicit CRecordingLogger(std::vector<std::string>& pieces) : mPieces(pieces) {}
  void Write(char* text) override { mPieces.emplace_back(text); }

 private:
  std::vector<std::string>& mPieces;
};

}  // namespace

class InitLogTest : public testing::Test {
 protected:
  void SetUp() override {
    mPlatform = InstallSimPlatform();
    mPlatform->SimClock().SetLocal({2026, 2, 3, 4, 5, 6, 7});
    ResetLogToModuleLoad();
    mDir = std::filesystem::temp_directory_path() /
           ("zivo-initlog-" + std::to_string(::getpid()) + "-" +
            testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(mDir);
    std::filesystem::create_directories(mDir);
  }
  void TearDown() override {
    ResetLogToModuleLoad();
    std::filesystem::remove_all(mDir);
  }

  std::wstring Wide(const std::filesystem::path& path) { return path.wstring(); }

  std::shared_ptr<CSimPlatform> mPlatform;
  std::filesystem::path mDir;
};

// A logger that logs from Write, registers a logger from Write or throws
// from Write neither deadlocks nor breaks the statement: what it says from
// inside is dropped, its registration refused, its exception kept in the
// library, and the other loggers get the line. Its destructor's statement is
// dropped too.
TEST_F(InitLogTest, ALoggerThatLogsOrThrowsNeitherDeadlocksNorBreaksTheStatement) {
  struct CUnrulyLogger : CLogger {
    explicit CUnrulyLogger(std::function<void()> f) : mOnWrite(std::move(f)) {}
    std::function<void()> mOnWrite;
    ~CUnrulyLogger() override { LOG_DEBUG("logger going"); }
    void Write(char* /*text*/) override { mOnWrite(); }
  };
  int added = -1;
  for (std::function<void()> misbehave :
       std::vector<std::function<void()>>{[] { LOG_ERROR("from inside"); },
                                          [&added] {
                                            CSystemLogger other;
                                            added = myPrint.AddLogger(&other);
                                          },
                                          [] { throw std::runtime_error("logger broke"); }}) {
    CPrint::pPrint = &myPrint;
    myPrint.SetLogLevel(LEVEL_ALL);
    std::vector<std::string> after;
    myPrint.AddLogger(new CUnrulyLogger(std::move(misbehave)));
    myPrint.AddLogger(new CRecordingLogger(after));
    LOG_ERROR("the statement");
    EXPECT_EQ(after.size(), 1u);
    EXPECT_EQ(CPrint::m_iMaxLogger, 2);
    ResetLogToModuleLoad();
  }
  EXPECT_EQ(added, 1);
}

// The log file is close-on-exec, created 0640 (less the umask), and never
// opened through a symbolic link: the fallback, usually in a folder every
// user can write, cannot be turned against another file.
TEST_F(InitLogTest, TheLogFileIsPrivateToTheProcessAndNeverALink) {
  std::ofstream(mDir / "precious") << "keep\n";
  std::filesystem::create_symlink(mDir / "precious", mDir / "link.log");
  const mode_t oldMask = ::umask(022);
  InitLog(Wide(mDir / "link.log").c_str(), Wide(mDir / "fallback.log").c_str());
  ::umask(oldMask);
  LOG_ERROR("where to");
  EXPECT_EQ(ReadFile(mDir / "precious"), "keep\n");
  EXPECT_EQ(std::filesystem::status(mDir / "fallback.log").permissions(),
            std::filesystem::perms(0640));
  int open = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    if (std::filesystem::read_symlink(entry.path(), error) == mDir / "fallback.log") {
      open += (::fcntl(std::stoi(entry.path().filename().string()), F_GETFD) & FD_CLOEXEC) ? 1 : 2;
    }
  }
  EXPECT_EQ(open, 1);
}

namespace {

// A sanitizer's runtime makes write calls of its own (it probes memory
// through a pipe), so the kernel's count of them is exact only without one.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kWriteCountIsExact = false;
#else
constexpr bool kWriteCountIsExact = true;
#endif

// The write calls this thread has made so far, as the kernel counts them.
long WriteCallsOfThisThread() {
  std::ifstream in("/proc/thread-self/io");
  std::string key;
  long value = 0;
  while (in >> key >> value) {
    if (key == "syscw:") {
      return value;
    }
  }
  return -1;
}

}  // namespace

// Each statement reaches the file with one write of its whole line, and the
// time stamp follows the clock through every field, also when only a minute
// or a day changes and the second stays.
TEST_F(InitLogTest, EachStatementIsOneWriteOfAWholeLine) {
  InitLog(Wide(mDir / "one.log").c_str(), Wide(mDir / "fallback.log").c_str());
  const std::wstring wide(3000, L'\u00e9');
  const std::vector<_tagSLocalTime> times = {
      {2026, 2, 3, 4, 5, 6, 7}, {2026, 2, 3, 4, 6, 6, 8}, {2026, 2, 4, 4, 6, 6, 9}};
  const long before = WriteCallsOfThisThread();
  ASSERT_GE(before, 0);
  for (const _tagSLocalTime& now : times) {
    mPlatform->SimClock().SetLocal(now);
    LOG_DEBUG("long %ls %d", wide.c_str(), -2147483647 - 1);
  }
  if (kWriteCountIsExact) {
    EXPECT_EQ(WriteCallsOfThisThread() - before, static_cast<long>(times.size()));
  }
  std::istringstream lines(ReadFile(mDir / "one.log"));
  std::vector<std::string> stamps;
  for (std::string line; std::getline(lines, line);) {
    stamps.push_back(line.substr(0, 23));
    // The message is cut to its piece, never inside a character.
    EXPECT_NE(static_cast<unsigned char>(line.back()) & 0xC0, 0xC0u) << line.size();
  }
  EXPECT_EQ(stamps, (std::vector<std::string>{"2026:02:03 04:05:06:007", "2026:02:03 04:06:06:008",
                                              "2026:02:04 04:06:06:009"}));
}
