// Device I/O stand-in: open a participant driver by path and send it control
// requests (a code, input bytes, output bytes), as DeviceIoControl does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

inline constexpr uint32_t DEVICE_ERROR_FILE_NOT_FOUND = 2;
inline constexpr uint32_t DEVICE_ERROR_ACCESS_DENIED = 5;
inline constexpr uint32_t DEVICE_ERROR_GEN_FAILURE = 31;
inline constexpr uint32_t DEVICE_ERROR_INVALID_FUNCTION = 1;
inline constexpr uint32_t DEVICE_ERROR_INSUFFICIENT_BUFFER = 122;

// An open driver; closes itself when destroyed. One handle is used by one
// thread at a time.
class CDeviceHandle {
 public:
  virtual ~CDeviceHandle() = default;
  // Sends one request. Returns true on success; on failure returns false and
  // sets `error` to a Windows error number. `out` must be at least as large as
  // the request's output layout.
  virtual bool Control(uint32_t code, std::span<const std::byte> in, std::span<std::byte> out,
                       uint32_t& error) = 0;
};

class CDeviceIo {
 public:
  virtual ~CDeviceIo() = default;
  // Opens an existing device only: nothing is ever created or truncated. On
  // failure returns null and sets `error`.
  virtual std::unique_ptr<CDeviceHandle> Open(const std::wstring& path, uint32_t& error) = 0;
};
