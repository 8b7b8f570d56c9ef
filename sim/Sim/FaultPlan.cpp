#include "Sim/FaultPlan.h"

#include <algorithm>

#include "Platform/Text.h"

namespace {

bool IsXml(FaultOp op) {
  return op >= FaultOp::XmlAny && op <= FaultOp::XmlAttributeText;
}

bool OpMatches(FaultOp armed, FaultOp call) {
  return armed == call || armed == FaultOp::Any || (armed == FaultOp::XmlAny && IsXml(call));
}

}  // namespace

bool FaultNameEquals(std::wstring_view a, std::wstring_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](wchar_t x, wchar_t y) { return FoldAsciiCase(x) == FoldAsciiCase(y); });
}

void CFaultPlan::Arm(SimFault fault) {
  fault.nth = std::max(fault.nth, 1);
  fault.count = std::max(fault.count, 0);
  std::lock_guard<std::mutex> hold(mLock);
  mArmed.push_back({std::move(fault), 0});
}

void CFaultPlan::Fail(FaultOp op, long status, std::wstring target, int nth, int count) {
  SimFault fault;
  fault.op = op;
  fault.status = status;
  fault.target = std::move(target);
  fault.nth = nth;
  fault.count = count;
  Arm(std::move(fault));
}

void CFaultPlan::Clear() {
  std::lock_guard<std::mutex> hold(mLock);
  mArmed.clear();
}

bool CFaultPlan::Take(FaultOp op, std::initializer_list<std::wstring_view> targets, long& status,
                      bool* proceed) {
  std::lock_guard<std::mutex> hold(mLock);
  ++mCalls[static_cast<std::size_t>(op)];
  ++mAllCalls;
  if (IsXml(op)) {
    ++mCalls[static_cast<std::size_t>(FaultOp::XmlAny)];
  }
  bool fired = false;
  for (auto it = mArmed.begin(); it != mArmed.end();) {
    const SimFault& fault = it->fault;
    const bool matches =
        OpMatches(fault.op, op) &&
        (fault.target.empty() || std::any_of(targets.begin(), targets.end(), [&](auto target) {
           return FaultNameEquals(fault.target, target);
         }));
    if (!matches) {
      ++it;
      continue;
    }
    // Every matching fault counts the call, so the nth of each is the nth
    // call it matches, whichever fault fires first.
    ++it->seen;
    if (fired || it->seen < fault.nth) {
      ++it;
      continue;
    }
    fired = true;
    ++mFired;
    status = fault.status;
    if (proceed != nullptr) {
      *proceed = fault.proceed;
    }
    if (fault.count != kAlways && it->seen >= fault.nth + fault.count - 1) {
      it = mArmed.erase(it);
      continue;
    }
    ++it;
  }
  return fired;
}

int CFaultPlan::Calls(FaultOp op) {
  std::lock_guard<std::mutex> hold(mLock);
  if (op == FaultOp::Any) {
    return mAllCalls;
  }
  return mCalls[static_cast<std::size_t>(op)];
}

int CFaultPlan::Fired() {
  std::lock_guard<std::mutex> hold(mLock);
  return mFired;
}

int CFaultPlan::Pending() {
  std::lock_guard<std::mutex> hold(mLock);
  return static_cast<int>(mArmed.size());
}
