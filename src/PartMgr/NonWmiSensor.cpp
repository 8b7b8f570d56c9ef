// STUB: replaced by the real driver-backed sensor.
#include "PartMgr/NonWmiSensor.h"

#include "zivorivizo/Platform.h"
#include "zivorivizo/StatusCodes.h"

CNonWmiSensor::CNonWmiSensor(int historyLength, std::wstring /*path*/)
    : CSensor(historyLength), mPlatform(CPlatform::Current()) {}
CNonWmiSensor::~CNonWmiSensor() = default;
int CNonWmiSensor::SetSensorTripValue() {
  return ZIVO_IOCTL_FAILED;
}
int CNonWmiSensor::Refresh() {
  return ZIVO_IOCTL_FAILED;
}
int CNonWmiSensor::Start() {
  return ZIVO_IOCTL_FAILED;
}
int CNonWmiSensor::Stop() {
  return ZIVO_IOCTL_FAILED;
}
int CNonWmiSensor::GetCurrentTemp(int32_t&) {
  return ZIVO_IOCTL_FAILED;
}
int CNonWmiSensor::GetSensorTripValue() {
  return ZIVO_IOCTL_FAILED;
}
int CNonWmiSensor::GetTimeStamp(uint32_t& seconds) {
  seconds = 0;
  return 0;
}
