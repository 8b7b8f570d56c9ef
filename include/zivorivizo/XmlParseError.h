// Why a policy file (or the DTD it draws in) did not load: the records the
// library's XML loader fills, which hosts read through ConfigLoadReport
// (zivorivizo/Diagnostics.h). Plain values; the caller owns them.
#pragma once

#include <string>
#include <vector>

// One thing a load found wrong: where it is (`file`, the policy file or a
// file it draws in such as its DTD; `line` 1-based, 0 when it has no place in
// the text), the text of that line, and what is wrong.
struct XmlProblem {
  long code = 0;
  std::wstring reason;
  std::wstring file;
  long line = 0;
  std::wstring srcText;
};

// Why a file did not load. `code` 0 means it loaded; otherwise `reason` says
// what is wrong, `srcText` is the text of the offending line (empty when the
// file could not be read at all), `line` its number (1-based, 0 when the
// failure has no place in the text) and `file` the file it is in. These four
// describe the first problem, the cause; `problems` lists every problem the
// load found, in order, the first included.
struct _tagSXmlParseError {
  long code = 0;
  std::wstring reason;
  std::wstring srcText;
  long line = 0;
  std::wstring file;
  std::vector<XmlProblem> problems;
};
