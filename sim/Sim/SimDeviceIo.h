// Simulated device I/O: drivers are objects attached at a path. Opening a path
// with no driver fails with DEVICE_ERROR_FILE_NOT_FOUND.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "Platform/DeviceIo.h"

// A simulated participant driver. Implementations are called by one handle at
// a time but may be scripted by a test from another thread, so they lock.
class CSimDriver {
 public:
  virtual ~CSimDriver() = default;
  virtual bool Control(uint32_t code, std::span<const std::byte> in, std::span<std::byte> out,
                       uint32_t& error) = 0;
};

class CSimDeviceIo : public CDeviceIo {
 public:
  std::unique_ptr<CDeviceHandle> Open(const std::wstring& path, uint32_t& error) override;

  void Attach(const std::wstring& path, std::shared_ptr<CSimDriver> driver);
  void Detach(const std::wstring& path);
  std::shared_ptr<CSimDriver> Driver(const std::wstring& path);
  // Handles opened and not yet closed.
  int OpenHandleCount();

  // Shared with the handles, which may outlive this object.
  struct _tagSHandleCount {
    std::mutex lock;
    int open = 0;
  };

 private:
  std::mutex mLock;
  std::unordered_map<std::wstring, std::shared_ptr<CSimDriver>> mDrivers;
  std::shared_ptr<_tagSHandleCount> mHandles = std::make_shared<_tagSHandleCount>();
};
