#include "Platform/Linux/KernelThermalEvents.h"

CKernelThermalEvents::CKernelThermalEvents(std::shared_ptr<CKernelThermalBridge> bridge)
    : mBridge(std::move(bridge)),
      mReader([bridge = mBridge](const ThermalKernelEvent& event) { bridge->Handle(event); }) {}

CKernelThermalEvents::~CKernelThermalEvents() {
  mReader.Stop();
}

bool CKernelThermalEvents::Start(std::string& why) {
  return mReader.Start(why);
}

void CKernelThermalEvents::Stop() {
  mReader.Stop();
}
