// Fail-on-the-Nth-call counters for the simulated COM and WMI: a test arms a
// fault for one kind of call, optionally only for calls naming one target (a
// class, property, method or object path), and the Nth such call fails with
// the chosen HRESULT, once or from then on. Thread-safe.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "Platform/Com.h"

// Case-insensitive (ASCII) equality, as COM and WMI compare names.
bool SimNameEquals(const std::wstring& a, const std::wstring& b);

template <typename Op>
class CSimFaultTable {
 public:
  struct _tagSFault {
    Op op;
    HRESULT hr = E_FAIL;
    std::wstring target;   // empty: any call of `op`
    int nth = 1;           // the first call that fails, counted from arming
    bool always = false;   // false: only the nth call; true: it and every later one
    bool deliver = false;  // Next only: still hand out the object with the failure
    int seen = 0;
  };

  void Arm(Op op, HRESULT hr, std::wstring target = L"", int nth = 1, bool always = false,
           bool deliver = false) {
    std::lock_guard<std::mutex> hold(mLock);
    _tagSFault fault;
    fault.op = op;
    fault.hr = hr;
    fault.target = std::move(target);
    fault.nth = nth < 1 ? 1 : nth;
    fault.always = always;
    fault.deliver = deliver;
    mFaults.push_back(std::move(fault));
  }

  void Clear() {
    std::lock_guard<std::mutex> hold(mLock);
    mFaults.clear();
  }

  // Counts the call; true (with `hr` and `deliver` set) when it is to fail.
  bool Take(Op op, const std::wstring& target, HRESULT& hr, bool* deliver = nullptr) {
    std::lock_guard<std::mutex> hold(mLock);
    ++mCalls[op];
    bool fired = false;
    for (auto it = mFaults.begin(); it != mFaults.end();) {
      if (it->op != op || (!it->target.empty() && !SimNameEquals(it->target, target))) {
        ++it;
        continue;
      }
      ++it->seen;
      if (!fired && it->seen >= it->nth) {
        fired = true;
        hr = it->hr;
        if (deliver != nullptr) {
          *deliver = it->deliver;
        }
        if (!it->always) {
          it = mFaults.erase(it);
          continue;
        }
      }
      ++it;
    }
    return fired;
  }

  // Calls of `op` seen so far, failed or not.
  int Calls(Op op) {
    std::lock_guard<std::mutex> hold(mLock);
    auto it = mCalls.find(op);
    return it == mCalls.end() ? 0 : it->second;
  }

 private:
  std::mutex mLock;
  std::vector<_tagSFault> mFaults;
  std::map<Op, int> mCalls;
};
