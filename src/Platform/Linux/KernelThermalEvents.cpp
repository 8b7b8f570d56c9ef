#include "Platform/Linux/KernelThermalEvents.h"

CKernelThermalEvents::CKernelThermalEvents(std::shared_ptr<CKernelThermalBridge> bridge, bool live)
    : mBridge(std::move(bridge)),
      mReader([bridge = mBridge](const ThermalKernelEvent& event) { bridge->Handle(event); }),
      mLive(live) {}

CKernelThermalEvents::~CKernelThermalEvents() {
  mReader.Stop();
}

bool CKernelThermalEvents::Start(std::string& why) {
  if (!mLive) {
    why = "they describe /sys, and the thermal tree read is another";
    return false;
  }
  return mReader.Start(why);
}

void CKernelThermalEvents::Stop() {
  mReader.Stop();
}
