// Filling and taking the driver protocol's blocks in the sysfs drivers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "Platform/DeviceIo.h"
#include "Platform/DriverProtocol.h"

template <typename T>
bool SysfsAnswer(const T& value, std::span<std::byte> out, uint32_t& error) {
  if (!WriteDriverBlock(value, out)) {
    error = DEVICE_ERROR_INSUFFICIENT_BUFFER;
    return false;
  }
  return true;
}

template <typename T>
bool SysfsTake(std::span<const std::byte> in, T& value, uint32_t& error) {
  if (!ReadDriverBlock(in, value)) {
    error = DEVICE_ERROR_INSUFFICIENT_BUFFER;
    return false;
  }
  return true;
}

inline bool SysfsCheckRoom(std::span<std::byte> out, std::size_t need, uint32_t& error) {
  if (out.size() < need) {
    error = DEVICE_ERROR_INSUFFICIENT_BUFFER;
    return false;
  }
  return true;
}
