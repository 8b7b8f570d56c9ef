#include "Platform/Linux/KernelThermalEvents.h"

CKernelThermalEvents::CKernelThermalEvents(std::shared_ptr<CKernelThermalBridge> bridge, bool live,
                                           std::chrono::milliseconds compareInterval)
    : mBridge(std::move(bridge)),
      mReader([bridge = mBridge](const ThermalKernelEvent& event) { bridge->Handle(event); }),
      mUevents([bridge = mBridge](const UeventRecord&) { bridge->Compare(); }),
      mPeriodic(compareInterval, [bridge = mBridge] { bridge->Compare(); }),
      mLive(live) {}

CKernelThermalEvents::~CKernelThermalEvents() {
  Stop();
}

bool CKernelThermalEvents::Start(std::string& why, PlatformEventsReport report) {
  mBridge->SetReport(report);
  // What changes from now on is reported, whichever source sees it first.
  mBridge->Baseline();
  if (!mLive) {
    why = "they describe /sys, and the thermal tree read is another";
    return false;
  }
  std::string netlinkWhy, ueventWhy;
  const bool netlink = mReader.Start(netlinkWhy, report);
  const bool uevents = mUevents.Start(ueventWhy);
  mPeriodic.Start();
  why = netlinkWhy + (!netlinkWhy.empty() && !ueventWhy.empty() ? "; " : "") + ueventWhy;
  return netlink && uevents;
}

void CKernelThermalEvents::Stop() {
  mPeriodic.Stop();
  mUevents.Stop();
  mReader.Stop();
  mBridge->SetReport({});
}
