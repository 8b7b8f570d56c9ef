// The file a run record is written to. Each line goes out in one write(2)
// the moment it is appended, so a run that crashes loses at most the line it
// was writing; the reader leaves out a last line cut short. Opening empties
// the file: one record is one run. Not thread-safe: the run's one thread
// appends. Closes the file when it goes.
#pragma once

#include <string>

class CRecordFile {
 public:
  CRecordFile() = default;
  ~CRecordFile();
  CRecordFile(const CRecordFile&) = delete;
  CRecordFile& operator=(const CRecordFile&) = delete;

  // False with a one-line `error` (the path and the errno text).
  bool Open(const std::string& path, std::string& error);
  bool IsOpen() const { return mFd >= 0; }
  // `line` and a newline; false, and nothing more is written, once a write
  // fails (the disk is full): `Error` says why.
  bool Append(const std::string& line);
  const std::string& Error() const { return mError; }

 private:
  int mFd = -1;
  std::string mPath;
  std::string mError;
};
