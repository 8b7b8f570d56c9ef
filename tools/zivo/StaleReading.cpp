#include "StaleReading.h"

#include "Platform/Text.h"
#include "StatusText.h"

std::string StaleReadingText(const std::wstring& sensor, int status) {
  return ToUtf8(sensor) + ": its reading failed (" + std::to_string(status) + ": " +
         StatusText(status) + ")";
}
