// Requests to a participant driver through a device handle, for tests: typed
// reads and writes of the driver protocol's blocks.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "Platform/DeviceIo.h"

// Reads a `T` with `code`; false (and `error`) when the request fails.
template <typename T>
bool Read(CDeviceHandle& handle, uint32_t code, T& value, uint32_t& error) {
  std::array<std::byte, sizeof(T)> out{};
  const bool read = handle.Control(code, {}, out, error);
  std::memcpy(&value, out.data(), sizeof(T));
  return read;
}

// Reads a `T` with `code`, which must succeed.
template <typename T>
T Read(CDeviceHandle& handle, uint32_t code) {
  T value{};
  uint32_t error = 0;
  EXPECT_TRUE(Read(handle, code, value, error)) << std::hex << code << " error " << error;
  return value;
}

// Sends `value` with `code`.
template <typename T>
bool Send(CDeviceHandle& handle, uint32_t code, const T& value, uint32_t& error) {
  std::array<std::byte, sizeof(T)> in{};
  std::memcpy(in.data(), &value, sizeof(T));
  return handle.Control(code, in, {}, error);
}
template <typename T>
bool Send(CDeviceHandle& handle, uint32_t code, const T& value) {
  uint32_t error = 0;
  return Send(handle, code, value, error);
}

// Opens `path`, which must succeed.
template <typename Io>
std::unique_ptr<CDeviceHandle> OpenOrFail(Io& io, const std::wstring& path) {
  uint32_t error = 0;
  auto handle = io.Open(path, error);
  EXPECT_NE(handle, nullptr) << "error " << error;
  return handle;
}
