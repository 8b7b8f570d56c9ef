// A reference-counted COM object that deletes itself on its last Release, for
// the stand-ins' objects that a caller owns through AddRef/Release.
#pragma once

#include <atomic>

#include "Platform/Com.h"

template <typename Base>
class CComCounted : public Base {
 public:
  ULONG AddRef() override { return ++mCount; }
  ULONG Release() override {
    const ULONG left = --mCount;
    if (left == 0) {
      delete this;
    }
    return left;
  }

 private:
  std::atomic<ULONG> mCount{0};
};
