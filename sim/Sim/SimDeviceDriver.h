// A simulated throttleable device driver, attached to a CSimDeviceIo path. It
// answers the device requests of DriverProtocol.h from a scripted state: the
// information block as given (any field, a class out of range) and the
// throttle state, which a set request replaces. A test can pin the state the
// driver reports, so that a set request is accepted but another state (or one
// above the maximum) is read back. Unknown codes fail with
// DEVICE_ERROR_INVALID_FUNCTION. Recording and fault injection come from
// CSimScriptedDriver; everything here is thread-safe.
//
// Defaults: maximum state 5, class 0, state 0, stopped, never shut down.
#pragma once

#include <cstdint>
#include <optional>

#include "Platform/DriverProtocol.h"
#include "Sim/SimScriptedDriver.h"

class CSimDeviceDriver : public CSimScriptedDriver {
 public:
  CSimDeviceDriver();

  _tagSDeviceInfoBlock Info();
  void SetInfo(const _tagSDeviceInfoBlock& info);
  void SetCaps(uint32_t caps);
  void SetMaxState(uint32_t max);
  void SetClass(uint32_t deviceClass);

  // The state the driver holds: the last one set, by a request or a test.
  uint32_t State();
  void SetState(uint32_t state);
  // While set, a get request reports `reported` whatever the held state is;
  // std::nullopt reports the held state again.
  void PinReportedState(std::optional<uint32_t> reported);

  bool Started();
  // The flag of the last shutdown request; nullopt before the first.
  std::optional<uint32_t> ShutdownFlag();

 protected:
  bool Handle(uint32_t code, std::span<const std::byte> in, std::span<std::byte> out,
              uint32_t& error) override;

 private:
  _tagSDeviceInfoBlock mInfo;
  uint32_t mState = 0;
  std::optional<uint32_t> mPinned;
  bool mStarted = false;
  std::optional<uint32_t> mShutdownFlag;
};
