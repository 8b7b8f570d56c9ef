// What the simulated participant drivers share: every request received is
// recorded (code and input bytes), and any request can be made to fail on
// demand. A concrete driver answers the requests that get through in Handle.
//
// Thread-safe: the library sends requests on its threads while a test scripts
// and inspects the driver from its own. One lock (mLock) guards the record,
// the faults and the concrete driver's state; Handle runs under it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <vector>

#include "Platform/Sim/SimDeviceIo.h"

// Matches every request code in FailRequest and CountRequests.
inline constexpr uint32_t SIM_ANY_REQUEST = 0;

struct _tagSDriverRequest {
  uint32_t code = 0;
  std::vector<std::byte> input;
};

class CSimScriptedDriver : public CSimDriver {
 public:
  // Records the request, fails it when a fault is armed for its code, and
  // otherwise lets Handle answer it.
  bool Control(uint32_t code, std::span<const std::byte> in, std::span<std::byte> out,
               uint32_t& error) final;

  // The next `count` requests with `code` (any code for SIM_ANY_REQUEST) fail
  // with `error`, after `skip` matching requests have gone through; count 0
  // means every matching request from then on. Faults are checked in the
  // order they were armed; a failed request changes no driver state.
  void FailRequest(uint32_t code, uint32_t error, int count = 1, int skip = 0);
  void ClearFaults();

  // Every request received, failed ones included, oldest first.
  std::vector<_tagSDriverRequest> Requests();
  // The requests with `code`, oldest first.
  std::vector<_tagSDriverRequest> RequestsWith(uint32_t code);
  int CountRequests(uint32_t code);
  void ClearRequests();

 protected:
  // Answers a request that is not failed by a fault, under mLock. Returns
  // false and sets `error` to refuse it.
  virtual bool Handle(uint32_t code, std::span<const std::byte> in, std::span<std::byte> out,
                      uint32_t& error) = 0;

  std::mutex mLock;

 private:
  struct _tagSFault {
    uint32_t code;
    uint32_t error;
    int remaining;  // 0: always
    int skip;
  };

  std::vector<_tagSDriverRequest> mRequests;
  std::vector<_tagSFault> mFaults;
};
