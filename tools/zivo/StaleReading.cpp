#include "StaleReading.h"

#include "AccessFailure.h"
#include "StatusText.h"
#include "zivorivizo/Text.h"

std::string StaleReadingText(const std::wstring& sensor, int status) {
  const std::string failure = AccessFailureText(sensor);
  return ToUtf8(sensor) + ": its reading failed (" + std::to_string(status) + ": " +
         StatusText(status) + ")" + (failure.empty() ? "" : ": " + failure);
}
