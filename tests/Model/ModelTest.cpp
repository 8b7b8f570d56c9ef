#include <gtest/gtest.h>

#include <cstdint>
#include <functional>

#include "support/FakeParticipants.h"
#include "zivorivizo/TempConversion.h"

TEST(TemperatureUnitTest, ConversionsUseTheLibrarysZeroAndTruncateTowardZero) {
  using Convert = std::function<int64_t(int32_t)>;
  auto out = [](int (*f)(int32_t, int32_t*)) {
    return Convert([f](int32_t in) {
      int32_t result = -1;
      EXPECT_EQ(f(in, &result), 0);
      return result;
    });
  };
  auto raw = [](int base) {
    return Convert([base](int32_t in) { return RawToTenthsKelvin(base, in); });
  };
  auto back = [](int base) {
    return Convert([base](int32_t in) { return TenthsKelvinToRaw(base, in); });
  };
  const struct {
    Convert convert;
    int32_t in;
    int64_t expected;
  } cases[] = {
      {out(KelvinToTenthsKelvin), 300, 3000},
      {out(TenthsKelvinToKelvin), 3009, 300},
      {out(TenthsKelvinToKelvin), -15, -1},
      {out(CelsiusToTenthsKelvin), 25, 2982},
      {out(CelsiusToTenthsKelvin), -40, 2332},
      {out(TenthsKelvinToCelsius), 3232, 50},
      {out(TenthsKelvinToCelsius), 2725, 0},  // -0.7 degrees: toward zero, not -1
      {out(TenthsKelvinToCelsius), 2712, -2},
      // By a sensor's Base: 0 kelvin, 1 tenths of kelvin, 2 Celsius, anything
      // else taken as tenths of kelvin.
      {raw(0), 300, 3000},
      {raw(1), 2990, 2990},
      {raw(2), 25, 2982},
      {raw(7), 2990, 2990},
      {back(0), 3009, 300},
      {back(1), 3232, 3232},
      {back(2), 3232, 50},
      {back(7), 3232, 3232},
      // A garbage reading saturates instead of overflowing.
      {raw(0), INT32_MAX, INT32_MAX},
      {raw(2), INT32_MIN, INT32_MIN},
      {back(2), INT32_MIN, (int64_t{INT32_MIN} - 2732) / 10},
  };
  for (std::size_t k = 0; k < std::size(cases); ++k) {
    EXPECT_EQ(cases[k].convert(cases[k].in), cases[k].expected) << "row " << k;
  }
}
TEST(SensorHistoryTest, StartsWithZeroSamplesAndGrowsOnlyWhenTheReadingChanges) {
  CFakeSensor sensor(L"Cpu", 0, 3);
  ASSERT_EQ(sensor.mSensor.TempHistory.size(), 3u);
  for (const _tagSTempSample& sample : sensor.mSensor.TempHistory) {
    EXPECT_EQ(sample.Temp, 0);
    EXPECT_EQ(sample.TimeStamp, 0u);
  }
  EXPECT_EQ(sensor.mSensor.Valid, 0);

  sensor.mTemperature = 3000;
  sensor.mTimeStamp = 1767268800;
  EXPECT_EQ(sensor.Refresh(), 0);
  ASSERT_EQ(sensor.mSensor.TempHistory.size(), 4u);
  EXPECT_EQ(sensor.mSensor.TempHistory[0].Temp, 3000);
  EXPECT_EQ(sensor.mSensor.TempHistory[0].TimeStamp, 1767268800u);
  EXPECT_EQ(sensor.Refresh(), 0);
  EXPECT_EQ(sensor.mSensor.TempHistory.size(), 4u);

  // A reading equal to the zero samples is no change either; on an empty
  // history any reading is.
  CFakeSensor cold(L"Cold", 0, 3);
  EXPECT_FALSE(cold.RecordReading(0));
  CFakeSensor fresh(L"Fresh", 0, 0);
  EXPECT_TRUE(fresh.RecordReading(0));
  EXPECT_EQ(fresh.mSensor.TempHistory.size(), 1u);
}

TEST(SensorHistoryTest, DropsTheOldestSamplesBeyondTheCap) {
  CFakeSensor sensor(L"Cpu", 0, 3);
  const std::size_t cap = 3 + ZIVO_TEMP_HISTORY_HEADROOM;
  ASSERT_EQ(sensor.HistoryCap(), cap);
  EXPECT_EQ(CFakeSensor(L"One", 0, 1).HistoryCap(), 1 + ZIVO_TEMP_HISTORY_HEADROOM);
  const int readings = static_cast<int>(cap) + 40;
  for (int t = 1; t <= readings; ++t) {
    sensor.mTimeStamp = static_cast<uint32_t>(t);
    ASSERT_TRUE(sensor.RecordReading(3000 + t));
  }
  const std::vector<_tagSTempSample>& history = sensor.mSensor.TempHistory;
  ASSERT_EQ(history.size(), cap);
  EXPECT_EQ(history[0].Temp, 3000 + readings);
  EXPECT_EQ(history[0].TimeStamp, static_cast<uint32_t>(readings));
  EXPECT_EQ(history[1].Temp, 3000 + readings - 1);
  EXPECT_EQ(history.back().Temp, 3000 + readings - static_cast<int>(cap) + 1);
}
