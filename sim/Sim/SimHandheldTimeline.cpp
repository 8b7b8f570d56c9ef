// The scripted timeline of a handheld: events played in order on the
// simulated clock.
#include "Platform/Memory/MemoryWmi.h"
#include "Sim/SimClock.h"
#include "Sim/SimFirmware.h"
#include "Sim/SimPlatform.h"
#include "zivorivizo-sim/SimHandheld.h"

const char* SimTimelineKindName(SimTimelineEvent::Kind kind) {
  switch (kind) {
    case SimTimelineEvent::Kind::Thermal:
      return "thermal";
    case SimTimelineEvent::Kind::Notify:
      return "notify";
    case SimTimelineEvent::Kind::Arrive:
      return "arrive";
    case SimTimelineEvent::Kind::Leave:
      return "leave";
  }
  return "unknown";
}

std::vector<SimTimelineEvent> CSimHandheld::PlayUntil(uint64_t elapsedMs) {
  std::vector<SimTimelineEvent> played;
  if (!mPlatform) {
    return played;
  }
  while (mPlayed < mTimeline.size() && mTimeline[mPlayed].atMs <= elapsedMs) {
    const SimTimelineEvent& event = mTimeline[mPlayed++];
    AdvanceTo(event.atMs);
    Play(event);
    played.push_back(event);
  }
  AdvanceTo(elapsedMs);
  return played;
}

std::optional<uint64_t> CSimHandheld::NextDue() const {
  if (mPlayed < mTimeline.size()) {
    return mTimeline[mPlayed].atMs;
  }
  return std::nullopt;
}

void CSimHandheld::AdvanceTo(uint64_t elapsedMs) {
  if (elapsedMs > mElapsedMs) {
    mPlatform->SimClock().Advance(elapsedMs - mElapsedMs);
    mElapsedMs = elapsedMs;
  }
}

void CSimHandheld::Play(const SimTimelineEvent& event) {
  switch (event.kind) {
    case SimTimelineEvent::Kind::Thermal:
      RaiseThermalEvent(event.name, event.code);
      break;
    case SimTimelineEvent::Kind::Notify:
      NotifyDriver(event.name, event.value);
      break;
    case SimTimelineEvent::Kind::Arrive:
      Publish(event.name);
      break;
    case SimTimelineEvent::Kind::Leave:
      Withdraw(event.name);
      break;
  }
}

void CSimHandheld::RaiseThermalEvent(const std::wstring& name, int32_t code) {
  if (mPlatform) {
    mPlatform->SimWmi().RaiseThermalEvent(name, code);
  }
}

bool CSimHandheld::WaitDelivered(int timeoutMs) {
  return !mPlatform || mPlatform->SimWmi().WaitDelivered(timeoutMs);
}
