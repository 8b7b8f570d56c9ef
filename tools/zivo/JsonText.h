// JSON as zivo prints it. Names and kernel texts come from sysfs and may hold
// bytes that are not UTF-8 (a zone `type`, a root path): they are written as
// U+FFFD instead of ending the command.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

// `indent` as nlohmann's dump: -1 for one line.
std::string JsonText(const nlohmann::json& value, int indent = -1);
std::string JsonText(const nlohmann::ordered_json& value, int indent = -1);
