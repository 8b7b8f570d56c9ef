// The location piece of a log line names the source file relative to the
// library's module folder, with backslashes, so log lines read the same on
// every build machine and tools that parse them need no path rules of their
// own. The module folder is src/Module, so src/SystemMgr/OSSystemManager.cpp
// is "..\SystemMgr\OSSystemManager.cpp"; the platform-independent sources
// are named from one level further down, "..\..\OSIndep\...", which keeps
// their lines apart from the platform's at a glance.
#pragma once

#include <cstddef>
#include <string_view>

struct _tagSSourcePath {
  char text[128];
};

consteval _tagSSourcePath MakeSourcePath(std::string_view file) {
  _tagSSourcePath out{};
  // The compiler may name the file absolutely or relative to the source root.
  const std::size_t at = file.rfind("/src/");
  std::string_view relative = file;
  if (at != std::string_view::npos) {
    relative = file.substr(at + 5);
  } else if (file.starts_with("src/")) {
    relative = file.substr(4);
  }
  const std::string_view prefix =
      relative.starts_with("OSIndep/") ? std::string_view("..\\..\\") : std::string_view("..\\");
  std::size_t n = 0;
  for (char c : prefix) {
    out.text[n++] = c;
  }
  for (char c : relative) {
    if (n + 1 >= sizeof(out.text)) {
      break;
    }
    out.text[n++] = c == '/' ? '\\' : c;
  }
  out.text[n] = '\0';
  return out;
}
