// Device I/O on Linux: the participant drivers are sysfs thermal zones
// (sensors) and cooling devices (devices). Opening the folder path of either,
// as the registry view lists it, gives a handle that answers the sensor or
// device requests of Platform/DriverProtocol.h from the folder's attribute
// files; what each code does is described in docs/linux-platform.md.
//
// A folder is a zone when it has a `temp` file and a cooling device when it
// has a `cur_state` file; any other path fails with
// DEVICE_ERROR_FILE_NOT_FOUND. Opening only opens existing files for reading:
// nothing is created or truncated, so a wrong path never leaves a file behind.
//
// The zone's information block reports its linked cooling devices by their
// registry device index (their position among the cooling devices under the
// same root), so this class scans `sysfsRoot` when that block is asked for.
//
// Open is thread-safe; each handle is used by one thread at a time.
#pragma once

#include <string>

#include "Platform/DeviceIo.h"

class CSysfsDeviceIo : public CDeviceIo {
 public:
  explicit CSysfsDeviceIo(std::string sysfsRoot);

  std::unique_ptr<CDeviceHandle> Open(const std::wstring& path, uint32_t& error) override;

 private:
  const std::string mRoot;
};
