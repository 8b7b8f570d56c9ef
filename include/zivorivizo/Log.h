// The process-wide diagnostic log.
//
// CPrint is the front end: the static level operations (Info, Debug, Warn,
// Error, Fatal) and the raw Print forward to the one instance `myPrint` through
// CPrint::pPrint, which stays null until the host calls InitLog. Before that
// every log call does nothing. CPrint owns the loggers registered with
// AddLogger and deletes them when it is destroyed.
//
// Thread safety: every write to the loggers happens under one process-wide
// lock, and a library log statement is formatted into one piece of text and
// written with one Write per logger, so lines from different threads never
// interleave. The mask may be changed at any time with SetLogLevel.
//
// Wide-string and wide-character arguments (%ls, %lc) are written as UTF-8,
// whatever the process locale.
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string>

#include "zivorivizo/Export.h"

// One bit per level; a mask is the OR of the levels it lets through.
enum LEVEL : uint32_t {
  LEVEL_INFO = 0x01,
  LEVEL_DEBUG = 0x02,
  LEVEL_WARN = 0x04,
  LEVEL_ERROR = 0x08,
  LEVEL_FATAL = 0x10,
  LEVEL_ALL = 0xFFFF,
};

// A log target. The base accepts text and does nothing with it.
class ZIVO_EXPORT CLogger {
 public:
  virtual ~CLogger();
  // Writes one piece of already formatted text. Called only by CPrint, under
  // its lock, so an implementation needs no lock of its own. A statement the
  // logger makes itself, from Write or from its destructor, is dropped (it
  // would wait on that lock), and AddLogger called from there returns 1. An
  // exception thrown by Write is swallowed: the piece is lost for this
  // logger, the others still get it, and the caller never sees it.
  virtual void Write(char* text);
};

// Appends to a text file, each piece with one write call as it comes (nothing
// is held in a buffer). Owns the stream.
class ZIVO_EXPORT CFileLogger : public CLogger {
 public:
  // Opens `path` for appending (created with mode 0640 less the umask if
  // absent, never truncated), close-on-exec so that child processes do not
  // inherit it. A path whose last component is a symbolic link is refused.
  // On failure writes "file open failed\n" to standard error and throws the
  // int 254.
  explicit CFileLogger(const wchar_t* path);
  ~CFileLogger() override;
  CFileLogger(const CFileLogger&) = delete;
  CFileLogger& operator=(const CFileLogger&) = delete;
  void Write(char* text) override;

 private:
  FILE* mStream = nullptr;
};

// Sends each log line to the systemd journal (sd_journal_send), for a host
// run by systemd: the message, the priority of its level (DEBUG 7, INFO 6,
// WARNING 4, ERROR 3, FATAL 2) and the location piece as the fields
// CODE_FILE and CODE_LINE; the journal keeps its own time stamp. Pieces are
// gathered up to their line end, so raw pieces written with CPrint::Print
// make one entry too. Without a journal to reach, lines are dropped.
class ZIVO_EXPORT CJournalLogger : public CLogger {
 public:
  void Write(char* text) override;

 private:
  std::string mPending;  // the start of a line whose end has not come yet
};

// Accepts text and discards it.
class ZIVO_EXPORT CSystemLogger : public CLogger {
 public:
  void Write(char* text) override;
};

class ZIVO_EXPORT CPrint {
 public:
  static const int MAX_LOGGER_SUPPORTED = 5;
  // Number of loggers registered so far (class-wide).
  static int m_iMaxLogger;
  // Null until InitLog sets it to &myPrint.
  static CPrint* pPrint;

  // Mask 0, no loggers. Constant, so that myPrint is in this state before any
  // code of the process runs, static initialisers of a host included.
  constexpr CPrint() : mMask(0), mCurrentLevel(0), mLoggers{} {}
  virtual ~CPrint();
  // Copies share the logger objects; they are not duplicated.
  CPrint(const CPrint& other);
  CPrint& operator=(const CPrint& other);

  static void Info(const char* format, ...) __attribute__((format(printf, 1, 2)));
  static void Debug(const char* format, ...) __attribute__((format(printf, 1, 2)));
  static void Warn(const char* format, ...) __attribute__((format(printf, 1, 2)));
  static void Error(const char* format, ...) __attribute__((format(printf, 1, 2)));
  static void Fatal(const char* format, ...) __attribute__((format(printf, 1, 2)));
  // Raw piece: written under the level of the most recent level operation,
  // with no prefix and no line end.
  static void Print(const char* format, ...) __attribute__((format(printf, 1, 2)));

  // One whole log line: time stamp, level name, [source:line], message, line
  // end. Every piece passes or fails by `level` alone, and the line reaches
  // each logger as one Write. Used by the library's own log statements.
  static void Statement(LEVEL level, const char* source, int line, const char* format, ...)
      __attribute__((format(printf, 4, 5)));
  // Whether a statement at `level` would be written now; leaves `level` as the
  // current level either way, as Statement does. Lets a statement that the
  // mask drops skip its arguments and the call.
  static bool Admits(LEVEL level) {
    CPrint* print = pPrint;
    if (print == nullptr) {
      return false;
    }
    print->mCurrentLevel.store(level, std::memory_order_relaxed);
    return (level & print->mMask.load(std::memory_order_relaxed)) != 0;
  }

  // Registers a logger and returns 0; CPrint then owns it. Returns 1 when
  // MAX_LOGGER_SUPPORTED loggers are already registered: the logger is not
  // used and stays the caller's.
  int AddLogger(CLogger* logger);
  // Stores a new mask and returns the previous one.
  LEVEL SetLogLevel(LEVEL mask);
  LEVEL GetLogLevel();

 protected:
  // Level piece: "<NAME> : " followed by the formatted message.
  void Print(LEVEL level, const char* format, va_list args);

 private:
  void WriteAll(char* text);

  std::atomic<uint32_t> mMask;
  std::atomic<uint32_t> mCurrentLevel;
  CLogger* mLoggers[MAX_LOGGER_SUPPORTED];
  // A copy shares the loggers of its source but never deletes them, so that
  // destroying both cannot delete a logger twice.
  bool mOwnsLoggers = true;
};

// The one front-end instance of the module.
ZIVO_EXPORT extern CPrint myPrint;

// Switches logging on: all levels, a file logger on `primaryPath` (or, if it
// cannot be opened, on `fallbackPath`) and the discarding system logger.
ZIVO_EXPORT void InitLog(const wchar_t* primaryPath, const wchar_t* fallbackPath);

// Switches logging on as InitLog does (all levels) and adds a journal logger
// (CJournalLogger) beside whatever loggers are registered already: a host
// under systemd calls it instead of, or after, InitLog.
ZIVO_EXPORT void InitJournalLog();
