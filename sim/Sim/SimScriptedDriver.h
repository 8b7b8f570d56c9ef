// What the simulated participant drivers share: every request received is
// recorded (code and input bytes), up to a bound, and a concrete driver
// answers it in Handle. A host that never reads the record, as a benchmark,
// can have it kept no more.
// Requests are made to fail with a fault plan on the device I/O (FaultOp::
// DeviceControl), in front of the driver.
//
// Thread-safe: the library sends requests on its threads while a test scripts
// and inspects the driver from its own. One lock (mLock) guards the record and
// the concrete driver's state; Handle runs under it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <vector>

#include "Sim/SimDeviceIo.h"

// Matches every request code in CountRequests.
inline constexpr uint32_t SIM_ANY_REQUEST = 0;

struct _tagSDriverRequest {
  uint32_t code = 0;
  std::vector<std::byte> input;
};

class CSimScriptedDriver : public CSimDriver {
 public:
  // Records the request and lets Handle answer it.
  bool Control(uint32_t code, std::span<const std::byte> in, std::span<std::byte> out,
               uint32_t& error) final;

  // At most this many requests are kept: when it is reached, the oldest half
  // is dropped, so a host left running on the handheld keeps a bounded record
  // of its newest requests.
  static constexpr std::size_t kMaxRecordedRequests = 2048;
  // Every request received, failed ones included, oldest first (the newest
  // kMaxRecordedRequests / 2 at least, once that many were received).
  std::vector<_tagSDriverRequest> Requests();
  // The requests with `code`, oldest first.
  std::vector<_tagSDriverRequest> RequestsWith(uint32_t code);
  int CountRequests(uint32_t code);
  void ClearRequests();
  // Whether requests are recorded from now on (they are unless told not).
  void KeepRequests(bool keep);

 protected:
  // Answers a request, under mLock. Returns
  // false and sets `error` to refuse it.
  virtual bool Handle(uint32_t code, std::span<const std::byte> in, std::span<std::byte> out,
                      uint32_t& error) = 0;

  std::mutex mLock;

 private:
  std::vector<_tagSDriverRequest> mRequests;
  bool mKeep = true;
};
