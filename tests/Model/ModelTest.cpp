#include <gtest/gtest.h>

#include <cstdint>

#include "support/FakeParticipants.h"
#include "zivorivizo/TempConversion.h"

TEST(TemperatureUnitTest, ConversionsUseTheLibrarysZeroAndTruncateTowardZero) {
  int32_t out = -1;
  EXPECT_EQ(KelvinToTenthsKelvin(300, &out), 0);
  EXPECT_EQ(out, 3000);
  EXPECT_EQ(TenthsKelvinToKelvin(3009, &out), 0);
  EXPECT_EQ(out, 300);
  EXPECT_EQ(TenthsKelvinToKelvin(-15, &out), 0);
  EXPECT_EQ(out, -1);
  EXPECT_EQ(CelsiusToTenthsKelvin(25, &out), 0);
  EXPECT_EQ(out, 2982);
  EXPECT_EQ(CelsiusToTenthsKelvin(-40, &out), 0);
  EXPECT_EQ(out, 2332);
  EXPECT_EQ(TenthsKelvinToCelsius(3232, &out), 0);
  EXPECT_EQ(out, 50);
  // -0.7 degrees: toward zero gives 0 where flooring would give -1.
  EXPECT_EQ(TenthsKelvinToCelsius(2725, &out), 0);
  EXPECT_EQ(out, 0);
  EXPECT_EQ(TenthsKelvinToCelsius(2712, &out), 0);
  EXPECT_EQ(out, -2);

  // By a sensor's Base: 0 kelvin, 1 tenths of kelvin, 2 Celsius, anything
  // else taken as tenths of kelvin.
  EXPECT_EQ(RawToTenthsKelvin(0, 300), 3000);
  EXPECT_EQ(RawToTenthsKelvin(1, 2990), 2990);
  EXPECT_EQ(RawToTenthsKelvin(2, 25), 2982);
  EXPECT_EQ(RawToTenthsKelvin(7, 2990), 2990);
  EXPECT_EQ(TenthsKelvinToRaw(0, 3009), 300);
  EXPECT_EQ(TenthsKelvinToRaw(1, 3232), 3232);
  EXPECT_EQ(TenthsKelvinToRaw(2, 3232), 50);
  EXPECT_EQ(TenthsKelvinToRaw(7, 3232), 3232);

  // A garbage reading saturates instead of overflowing.
  EXPECT_EQ(RawToTenthsKelvin(0, INT32_MAX), INT32_MAX);
  EXPECT_EQ(RawToTenthsKelvin(2, INT32_MIN), INT32_MIN);
  EXPECT_EQ(TenthsKelvinToRaw(2, INT32_MIN), (int64_t{INT32_MIN} - 2732) / 10);
}

TEST(ParticipantRecordTest, CopiesShareNothingWithTheirSource) {
  _tagSSensor sensor(2);
  sensor.Name = L"Cpu";
  sensor.Devices = {L"Fan"};
  sensor.TripPoints = {{0, 3000}};
  sensor.Reserved[1] = 5;
  _tagSSensor copy = sensor;
  EXPECT_EQ(copy.Reserved[1], 5);
  copy.Name += L"2";
  copy.Devices[0] = L"Gpu";
  copy.TripPoints[0].Temp = 3100;
  copy.TempHistory[0].Temp = 3200;
  copy.TempHistory.push_back({});
  EXPECT_EQ(sensor.Name, L"Cpu");
  EXPECT_EQ(sensor.Devices[0], L"Fan");
  EXPECT_EQ(sensor.TripPoints[0].Temp, 3000);
  EXPECT_EQ(sensor.TempHistory.size(), 2u);
  EXPECT_EQ(sensor.TempHistory[0].Temp, 0);

  _tagSDevice device;
  EXPECT_TRUE(device.Name.empty());
  EXPECT_EQ(device.Caps + device.Current + device.Max + device.Class, 0u);
  EXPECT_EQ(device.Valid, 0);
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
