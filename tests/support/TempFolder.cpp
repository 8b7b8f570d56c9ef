#include "support/TempFolder.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

CTempFolder::CTempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "zivo-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    ADD_FAILURE() << "cannot make a temporary folder from " << pattern;
  }
  mPath = pattern;
}

CTempFolder::~CTempFolder() {
  std::error_code error;
  std::filesystem::remove_all(mPath, error);
}

std::string CTempFolder::Write(const std::string& name, const std::string& text) const {
  const std::string path = mPath + "/" + name;
  std::ofstream out(path, std::ios::binary);
  out << text;
  if (!out) {
    ADD_FAILURE() << "cannot write " << path;
  }
  return path;
}
