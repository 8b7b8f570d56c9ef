// A fresh temporary folder for the files one test writes, removed with
// everything in it when the object is destroyed.
#pragma once

#include <string>

class CTempFolder {
 public:
  CTempFolder();
  ~CTempFolder();
  CTempFolder(const CTempFolder&) = delete;
  CTempFolder& operator=(const CTempFolder&) = delete;

  const std::string& Path() const { return mPath; }
  // Writes `text` to `name` in the folder and returns the file's path.
  std::string Write(const std::string& name, const std::string& text) const;

 private:
  std::string mPath;
};
