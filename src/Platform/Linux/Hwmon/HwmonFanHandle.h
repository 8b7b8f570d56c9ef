// An hwmon fan channel answering the device requests of
// Platform/DriverProtocol.h: an active device (type 9) with throttle states
// 0..L (see CHwmonFanChannel). Stop, a shutdown and the end of the handle
// give the channel back to the chip's own mode; a read-only channel answers
// every request but refuses a set. Every request first asks `present`
// whether the chip is still listed, so a handle on a chip that went fails
// instead of writing to a newcomer. Owns its channel. Used by one thread at
// a time.
#pragma once

#include <functional>
#include <memory>

#include "Platform/DeviceIo.h"
#include "Platform/Linux/Hwmon/HwmonFanChannel.h"
#include "Platform/Linux/SysfsHandle.h"

// The device type of every fan channel: an active device.
inline constexpr uint32_t kHwmonFanClass = 9;

// Writes a channel's warnings and errors to the library's log, under `name`,
// and keeps them for the host (TakeLinuxFanNotes).
HwmonFanReport LogHwmonFanNotes(std::wstring name);

class CHwmonFanHandle : public CSysfsHandle {
 public:
  using Presence = std::function<bool(uint32_t& error)>;
  CHwmonFanHandle(std::unique_ptr<CHwmonFanChannel> channel, Presence present);

  bool Control(uint32_t code, std::span<const std::byte> in, std::span<std::byte> out,
               uint32_t& error) override;
  const CHwmonFanChannel& Channel() const { return *mChannel; }

 private:
  // The request itself; Control notes its failure.
  bool Serve(uint32_t code, std::span<const std::byte> in, std::span<std::byte> out,
             uint32_t& error);
  std::unique_ptr<CHwmonFanChannel> mChannel;
  Presence mPresent;
};
