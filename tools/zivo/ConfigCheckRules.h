// Explains a thermal policy file to the person who wrote it: reads the file
// with the platform's XML parser the way the configuration loader does and
// lists, with the element and its line, every rule the loader rejects the file
// for and every value it would silently read differently from what the writer
// probably meant. The loader's own result stays the authority on whether the
// file loads; these findings say why and where.
#pragma once

#include <string>
#include <vector>

#include "Platform/Xml.h"

struct _tagSConfigFinding {
  bool error = false;   // a rule the loader rejects the file for
  long line = 0;        // 0 when unknown
  std::string element;  // e.g. <Device Path="PNP0C14\1_0">
  std::string message;
};

struct _tagSConfigInspection {
  bool parsed = false;            // false: see parseError
  _tagSXmlParseError parseError;  // why the file did not load
  std::vector<_tagSConfigFinding> findings;
};

_tagSConfigInspection InspectConfigFile(CXml& xml, const std::wstring& path);
