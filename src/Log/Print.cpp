#include <cxxabi.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <mutex>

#include "Log/MessageFormat.h"
#include "zivorivizo/Clock.h"
#include "zivorivizo/Log.h"
#include "zivorivizo/Platform.h"

int CPrint::m_iMaxLogger = 0;
CPrint* CPrint::pPrint = nullptr;

namespace {

// Size of one formatted piece, as the loggers have always received it.
constexpr int kPieceSize = 1024;
// Room for the prefix of a statement (time stamp, level and location); a
// longer prefix is cut to this.
constexpr int kPrefixSize = 1024;
// A whole statement: the prefix, a message of up to one piece and the line
// end with its terminator.
constexpr int kStatementSize = kPrefixSize + kPieceSize + 1;

const char* const kLevelNames[7] = {" ", "INFO", "DEBUG", "WARNING", "ERROR", "FATAL", "ALL"};

// 1 plus the position of the highest set bit, 0 for no bit.
const char* LevelName(uint32_t level) {
  int index = 0;
  while (level != 0) {
    ++index;
    level >>= 1;
  }
  return kLevelNames[std::min(index, 6)];
}

// Serialises every write to the loggers and every change of the logger table.
// Never destroyed: myPrint's destructor and late statements of other static
// objects take it during the host's static destruction.
std::mutex& WriteLock() {
  static auto* lock = new std::mutex;
  return *lock;
}

// Set while this thread writes to the loggers or destroys them. The write
// lock is then held, so a statement a logger makes from inside (from Write or
// from its destructor) is dropped rather than waiting on itself.
thread_local bool tWriting = false;

class CWritingScope {
 public:
  CWritingScope() { tWriting = true; }
  ~CWritingScope() { tWriting = false; }
  CWritingScope(const CWritingScope&) = delete;
  CWritingScope& operator=(const CWritingScope&) = delete;
};

// Formats into [buffer, buffer + capacity) and returns the length written,
// truncated to the capacity. A message that cannot be formatted at all is
// replaced by its format text.
int FormatInto(char* buffer, int capacity, const char* format, va_list args) {
  if (capacity <= 0) {
    return 0;
  }
  const int n = FormatLogMessage(buffer, capacity, format, args);
  if (n < 0) {
    const int length = static_cast<int>(strnlen(format, static_cast<size_t>(capacity - 1)));
    memcpy(buffer, format, static_cast<size_t>(length));
    buffer[length] = '\0';
    return length;
  }
  return std::min(n, capacity - 1);
}

// Fills a bounded buffer from the front; what does not fit is dropped and the
// text stays terminated.
class CPieceWriter {
 public:
  CPieceWriter(char* buffer, int capacity)
      : mBegin(buffer), mAt(buffer), mEnd(buffer + capacity - 1) {}

  void Text(const char* text) {
    while (*text != '\0' && mAt < mEnd) {
      *mAt++ = *text++;
    }
  }

  // As "%0<width>d" would write it.
  void Number(int value, int width) {
    char digits[16];
    const std::to_chars_result made = std::to_chars(digits, digits + sizeof(digits), value);
    const char* first = digits;
    if (*first == '-') {
      Char('-');
      ++first;
      --width;
    }
    for (int pad = width - static_cast<int>(made.ptr - first); pad > 0; --pad) {
      Char('0');
    }
    while (first < made.ptr) {
      Char(*first++);
    }
  }

  void Char(char c) {
    if (mAt < mEnd) {
      *mAt++ = c;
    }
  }

  // Terminates the text and returns its length.
  int Finish() {
    *mAt = '\0';
    return static_cast<int>(mAt - mBegin);
  }

 private:
  char* mBegin;
  char* mAt;
  char* mEnd;
};

// The date and time to the second, "YYYY:MM:DD hh:mm:ss:", kept per thread:
// the statements of one second share it, so it is formatted once a second.
class CStampCache {
 public:
  // Writes the stamp of `now` (without its milliseconds) to `out`.
  void Write(CPieceWriter& out, const _tagSLocalTime& now) {
    if (!Same(now)) {
      CPieceWriter made(mText, sizeof(mText));
      made.Number(now.year, 4);
      made.Char(':');
      made.Number(now.month, 2);
      made.Char(':');
      made.Number(now.day, 2);
      made.Char(' ');
      made.Number(now.hour, 2);
      made.Char(':');
      made.Number(now.minute, 2);
      made.Char(':');
      made.Number(now.second, 2);
      made.Char(':');
      made.Finish();
      mFor = now;
      mValid = true;
    }
    out.Text(mText);
  }

 private:
  bool Same(const _tagSLocalTime& now) const {
    return mValid && now.second == mFor.second && now.minute == mFor.minute &&
           now.hour == mFor.hour && now.day == mFor.day && now.month == mFor.month &&
           now.year == mFor.year;
  }

  _tagSLocalTime mFor;
  bool mValid = false;
  char mText[64] = {};
};

thread_local CStampCache tStamp;

// "YYYY:MM:DD hh:mm:ss:mmm LEVEL : [source:line] ". Written by hand: this runs
// for every statement, and the general formatter costs several times as much.
int FormatPrefix(char* buffer, int capacity, const _tagSLocalTime& now, const char* level,
                 const char* source, int line) {
  CPieceWriter out(buffer, capacity);
  tStamp.Write(out, now);
  out.Number(now.milliseconds, 3);
  out.Char(' ');
  out.Text(level);
  out.Text(" : [");
  out.Text(source);
  out.Char(':');
  out.Number(line, 0);
  out.Text("] ");
  return out.Finish();
}

}  // namespace

CLogger::~CLogger() = default;
void CLogger::Write(char* /*text*/) {}

void CSystemLogger::Write(char* /*text*/) {}

CPrint::~CPrint() {
  if (!mOwnsLoggers) {
    return;
  }
  std::lock_guard<std::mutex> hold(WriteLock());
  CWritingScope writing;
  bool owned = false;
  for (int i = 0; i < m_iMaxLogger && i < MAX_LOGGER_SUPPORTED; ++i) {
    if (mLoggers[i] != nullptr) {
      delete mLoggers[i];
      mLoggers[i] = nullptr;
      owned = true;
    }
  }
  if (owned) {
    m_iMaxLogger = 0;
  }
}

CPrint::CPrint(const CPrint& other)
    : mMask(other.mMask.load()), mCurrentLevel(other.mCurrentLevel.load()), mOwnsLoggers(false) {
  std::copy(std::begin(other.mLoggers), std::end(other.mLoggers), std::begin(mLoggers));
}

CPrint& CPrint::operator=(const CPrint& other) {
  if (this != &other) {
    mMask = other.mMask.load();
    mCurrentLevel = other.mCurrentLevel.load();
    std::copy(std::begin(other.mLoggers), std::end(other.mLoggers), std::begin(mLoggers));
    mOwnsLoggers = false;
  }
  return *this;
}

#define ZIVO_LEVEL_OPERATION(Name, Level)      \
  void CPrint::Name(const char* format, ...) { \
    if (pPrint == nullptr) {                   \
      return;                                  \
    }                                          \
    va_list args;                              \
    va_start(args, format);                    \
    pPrint->Print(Level, format, args);        \
    va_end(args);                              \
  }

ZIVO_LEVEL_OPERATION(Info, LEVEL_INFO)
ZIVO_LEVEL_OPERATION(Debug, LEVEL_DEBUG)
ZIVO_LEVEL_OPERATION(Warn, LEVEL_WARN)
ZIVO_LEVEL_OPERATION(Error, LEVEL_ERROR)
ZIVO_LEVEL_OPERATION(Fatal, LEVEL_FATAL)

#undef ZIVO_LEVEL_OPERATION

void CPrint::Print(LEVEL level, const char* format, va_list args) {
  mCurrentLevel.store(level, std::memory_order_relaxed);
  if ((level & mMask.load(std::memory_order_relaxed)) == 0) {
    return;
  }
  char buffer[kPieceSize];
  int n = snprintf(buffer, sizeof(buffer), "%s : ", LevelName(level));
  n = std::clamp(n, 0, kPieceSize - 1);
  FormatInto(buffer + n, kPieceSize - n, format, args);
  WriteAll(buffer);
}

void CPrint::Print(const char* format, ...) {
  CPrint* print = pPrint;
  if (print == nullptr) {
    return;
  }
  if ((print->mCurrentLevel.load(std::memory_order_relaxed) &
       print->mMask.load(std::memory_order_relaxed)) == 0) {
    return;
  }
  char buffer[kPieceSize];
  va_list args;
  va_start(args, format);
  FormatInto(buffer, kPieceSize, format, args);
  va_end(args);
  print->WriteAll(buffer);
}

void CPrint::Statement(LEVEL level, const char* source, int line, const char* format, ...) {
  CPrint* print = pPrint;
  if (print == nullptr) {
    return;
  }
  print->mCurrentLevel.store(level, std::memory_order_relaxed);
  if ((level & print->mMask.load(std::memory_order_relaxed)) == 0) {
    return;
  }
  const _tagSLocalTime now = CPlatform::Current()->Clock().LocalNow();
  char buffer[kStatementSize];
  int n = FormatPrefix(buffer, kPrefixSize, now, LevelName(level), source == nullptr ? "" : source,
                       line);
  va_list args;
  va_start(args, format);
  // The message keeps at most what one piece holds, and the line end always
  // fits behind it.
  n += FormatInto(buffer + n, kPieceSize, format, args);
  va_end(args);
  buffer[n++] = '\n';
  buffer[n] = '\0';
  print->WriteAll(buffer);
}

int CPrint::AddLogger(CLogger* logger) {
  if (tWriting) {
    // From inside a logger, with the lock held: refused like a full table.
    return 1;
  }
  std::lock_guard<std::mutex> hold(WriteLock());
  if (m_iMaxLogger >= MAX_LOGGER_SUPPORTED) {
    return 1;
  }
  mLoggers[m_iMaxLogger] = logger;
  ++m_iMaxLogger;
  return 0;
}

LEVEL CPrint::SetLogLevel(LEVEL mask) {
  return static_cast<LEVEL>(mMask.exchange(mask));
}

LEVEL CPrint::GetLogLevel() {
  return static_cast<LEVEL>(mMask.load());
}

void CPrint::WriteAll(char* text) {
  if (tWriting) {
    return;
  }
  std::lock_guard<std::mutex> hold(WriteLock());
  CWritingScope writing;
  for (int i = 0; i < m_iMaxLogger && i < MAX_LOGGER_SUPPORTED; ++i) {
    if (mLoggers[i] == nullptr) {
      continue;
    }
    // Logging never fails the operation that logs: a logger that throws
    // loses its piece, and the other loggers still get theirs.
    try {
      mLoggers[i]->Write(text);
    } catch (abi::__forced_unwind&) {
      throw;  // a cancelled thread must finish unwinding
    } catch (...) {
    }
  }
}
