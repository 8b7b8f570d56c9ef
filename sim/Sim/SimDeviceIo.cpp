#include "Sim/SimDeviceIo.h"

namespace {

class CSimDeviceHandle : public CDeviceHandle {
 public:
  using Count = CSimDeviceIo::_tagSHandleCount;

  CSimDeviceHandle(std::shared_ptr<CSimDriver> driver, std::shared_ptr<Count> count)
      : mDriver(std::move(driver)), mCount(std::move(count)) {}
  ~CSimDeviceHandle() override {
    std::lock_guard<std::mutex> hold(mCount->lock);
    --mCount->open;
  }
  bool Control(uint32_t code, std::span<const std::byte> in, std::span<std::byte> out,
               uint32_t& error) override {
    return mDriver->Control(code, in, out, error);
  }

 private:
  std::shared_ptr<CSimDriver> mDriver;
  std::shared_ptr<Count> mCount;
};

}  // namespace

std::unique_ptr<CDeviceHandle> CSimDeviceIo::Open(const std::wstring& path, uint32_t& error) {
  std::lock_guard<std::mutex> hold(mLock);
  auto it = mDrivers.find(path);
  if (it == mDrivers.end()) {
    error = DEVICE_ERROR_FILE_NOT_FOUND;
    return nullptr;
  }
  {
    std::lock_guard<std::mutex> count(mHandles->lock);
    ++mHandles->open;
  }
  return std::make_unique<CSimDeviceHandle>(it->second, mHandles);
}

void CSimDeviceIo::Attach(const std::wstring& path, std::shared_ptr<CSimDriver> driver) {
  std::lock_guard<std::mutex> hold(mLock);
  mDrivers[path] = std::move(driver);
}

void CSimDeviceIo::Detach(const std::wstring& path) {
  std::lock_guard<std::mutex> hold(mLock);
  mDrivers.erase(path);
}

std::shared_ptr<CSimDriver> CSimDeviceIo::Driver(const std::wstring& path) {
  std::lock_guard<std::mutex> hold(mLock);
  auto it = mDrivers.find(path);
  return it == mDrivers.end() ? nullptr : it->second;
}

int CSimDeviceIo::OpenHandleCount() {
  std::lock_guard<std::mutex> hold(mHandles->lock);
  return mHandles->open;
}
