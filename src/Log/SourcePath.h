// The location piece of a log line names the source file the way the original
// module build named it: relative to the module folder, with backslashes. The
// module folder is src/Module, so src/SystemMgr/OSSystemManager.cpp is
// "..\SystemMgr\OSSystemManager.cpp"; the platform-independent sources were
// one level further away and keep their "..\..\OSIndep\..." form.
#pragma once

#include <cstddef>
#include <string_view>

struct _tagSSourcePath {
  char text[128];
};

consteval _tagSSourcePath MakeSourcePath(std::string_view file) {
  _tagSSourcePath out{};
  const std::size_t at = file.rfind("/src/");
  std::string_view relative = at == std::string_view::npos ? file : file.substr(at + 5);
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
