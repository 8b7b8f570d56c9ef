#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "Platform/DeviceIo.h"
#include "Platform/Linux/SysfsAttribute.h"
#include "support/TempFolder.h"
#include "zivorivizo/SysfsUnits.h"

// An attribute holds one decimal line; anything else, a value beyond 64 bits
// included, is no value. The same file read twice through an attribute kept
// open reads its new text.
TEST(SysfsNumberTest, AValueIsOneWholeDecimalLineWithin64Bits) {
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
  struct Case {
    const char* text;
    bool read;
    int64_t value;
  };
  const Case cases[] = {
      {"45000\n", true, 45000},
      {"45000", true, 45000},
      {" \t-273150\n", true, -273150},
      {"007\n", true, 7},
      {"-0\n", true, 0},
      {"9\n", true, 9},
      {"1234567\n", true, 1234567},
      {"-7654321", true, -7654321},
      {"12345678\n", true, 12345678},
      {"999999999999999999\n", true, 999999999999999999},
      {"000000000000000000000045\n", true, 45},
      {"9223372036854775807\n", true, kMax},
      {"-9223372036854775808\n", true, kMin},
      {"9223372036854775808\n", false, 0},
      {"-9223372036854775809\n", false, 0},
      {"99999999999999999999\n", false, 0},
      {"-\n", false, 0},
      {"+5\n", false, 0},
      {"\n", false, 0},
      {"", false, 0},
      {"42 \n", false, 0},
      {"42 mC\n", false, 0},
      {"45:\n", false, 0},
      {"0000000000000000001:\n", false, 0},
      {"12345678:\n", false, 0},
      {"45/\n", false, 0},
      {"4\xb5\n", false, 0},
      {"0x10\n", false, 0},
      {"4.5\n", false, 0},
      {"123456789012345678901234567890123\n", false, 0},  // cut by the read buffer
  };
  CTempFolder folder;
  const int dir = ::open(folder.Path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(dir, 0);
  CSysfsAttribute kept(dir, "kept");
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("\"") + c.text + "\"");
    folder.Write("value", c.text);
    folder.Write("kept", c.text);
    int64_t value = -1;
    uint32_t error = 0;
    EXPECT_EQ(ReadSysfsNumber(dir, "value", value, error), c.read);
    EXPECT_EQ(value, c.read ? c.value : -1);
    EXPECT_EQ(error, c.read ? 0u : DEVICE_ERROR_GEN_FAILURE);
    int64_t keptValue = -1;
    EXPECT_EQ(kept.ReadNumber(keptValue, error), c.read);
    EXPECT_EQ(keptValue, c.read ? c.value : -1);
    EXPECT_EQ(TakeSysfsFailureNote().file, c.read ? "" : "kept");
    // A note cleared before it is taken is not handed out later.
    kept.ReadNumber(keptValue, error);
    ClearSysfsFailureNote();
    EXPECT_EQ(TakeSysfsFailureNote().file, "");
  }
  ::close(dir);
}

// Millidegrees to tenths of kelvin, truncated toward zero like the kernel's
// own integer values; below absolute zero or past the 32-bit field there is
// no reading, never a wrapped one.
TEST(SysfsUnitsTest, TemperaturesConvertUpToTheFieldsEdges) {
  constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
  const struct {
    int64_t milli;
    std::optional<int32_t> tenths;
  } cases[] = {
      {45000, 3182},
      {-50, 2732},
      {-150, 2731},
      {-273200, 0},
      {-273201, std::nullopt},
      {-274000, std::nullopt},
      {(kMax - 2732) * 100 + 99, static_cast<int32_t>(kMax)},
      {(kMax - 2731) * 100, std::nullopt},
      {std::numeric_limits<int64_t>::max(), std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.milli);
    EXPECT_EQ(TemperatureFromMilliCelsius(c.milli), c.tenths);
  }
}
