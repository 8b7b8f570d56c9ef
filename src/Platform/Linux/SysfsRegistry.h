// The Linux platform's registry: an in-memory registry holding the keys that
// a driver installation writes on the original system, filled from a scan of
// the sysfs root's thermal zones and cooling devices:
//
//   SOFTWARE\Zelan\VOVUZER\Parameters
//     SensorCount (REG_DWORD), Sensor0.. (REG_SZ): zone folder paths
//     DeviceCount (REG_DWORD), Device0.. (REG_SZ): cooling device folder paths
//   Software\Zelan\VOVUZER\DriverNotify   (empty; sysfs zones never write it)
//
// Both lists are in numeric order of the folder names, and the device index
// is what the zone driver reports as a linked device number (see
// CSysfsDeviceIo), so a sensor's devices are found under "Device" + number.
//
// The scan runs once, on the first Open, not at construction: the log reads
// the clock through the default platform at any time, and making a platform
// must not touch the file system. Later changes under the root are not seen.
// Values may be read, written and waited on like any registry values.
//
// Thread-safe.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "Platform/Registry.h"

class CMemoryRegistry;

class CSysfsRegistry : public CRegistry {
 public:
  explicit CSysfsRegistry(std::string sysfsRoot);
  ~CSysfsRegistry() override;

  std::unique_ptr<CRegistryKey> Open(const std::wstring& path, uint32_t access,
                                     long& status) override;

 private:
  void Build();

  const std::string mRoot;
  std::once_flag mBuilt;
  std::shared_ptr<CMemoryRegistry> mView;
};

inline constexpr wchar_t SYSFS_PARAMETERS_KEY[] = L"SOFTWARE\\Zelan\\VOVUZER\\Parameters";
inline constexpr wchar_t SYSFS_DRIVER_NOTIFY_KEY[] = L"Software\\Zelan\\VOVUZER\\DriverNotify";
