#include "zivorivizo/Sensor.h"

CSensor::CSensor(int historyLength)
    : mSensor(historyLength),
      mHistoryCap(static_cast<std::size_t>(historyLength > 0 ? historyLength : 0) +
                  ZIVO_TEMP_HISTORY_HEADROOM) {}

CSensor::~CSensor() {
  mLinkedDevices.clear();
}

bool CSensor::RecordReading(int32_t temperature) {
  std::vector<_tagSTempSample>& history = mSensor.TempHistory;
  if (!history.empty() && history.front().Temp == temperature) {
    return false;
  }
  _tagSTempSample sample;
  sample.Temp = temperature;
  GetTimeStamp(sample.TimeStamp);
  if (history.size() >= mHistoryCap) {
    history.resize(mHistoryCap - 1);
  }
  history.insert(history.begin(), sample);
  return true;
}
