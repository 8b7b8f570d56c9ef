#include "zivorivizo/Device.h"

CDevice::~CDevice() {
  mLinkedSensors.clear();
}
