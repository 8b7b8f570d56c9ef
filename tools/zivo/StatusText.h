// Short meanings of the library's status codes and of the values its
// constructors throw, for people reading zivo's output.
#pragma once

#include <vector>

struct StatusMeaning {
  int code;
  const char* meaning;
};

// Every status code an operation of the library returns, in ascending order.
const std::vector<StatusMeaning>& StatusTexts();
// The meaning of a returned status; "unknown status" for a code not listed.
const char* StatusText(int code);
// The meaning of an int thrown by a manager's construction (13, 1000, ...).
const char* ThrownText(int value);
