// The Linux platform's registry: an in-memory registry holding the keys the
// library reads to find its driver-backed participants and their
// notifications, the parameters key taken from the live thermal view
// (SysfsThermalView.h):
//
//   SOFTWARE\Zelan\VOVUZER\Parameters
//     SensorCount (REG_DWORD), Sensor0.. (REG_SZ): zone names, then hwmon
//                                                  input names
//     DeviceCount (REG_DWORD), Device0.. (REG_SZ): cooling device names
//   Software\Zelan\VOVUZER\DriverNotify   (empty until the kernel event
//                                          bridge reports a trip crossed)
//
// The names are the folder paths, or the stable names when the platform was
// made with them. Both lists are in numeric order of the folder names, and
// the device index is what the zone driver reports as a linked device number
// (see CSysfsDeviceIo), so a sensor's devices are found under "Device" +
// number.
//
// A key opened on the parameters key reads the snapshot that was current when
// it was opened, whole, even if the view is refreshed meanwhile; Refresh
// rescans the tree. Values may be read, written and waited on like any
// registry values; values written to the parameters key last until a refresh
// that changes the picture.
//
// Thread-safe.
#pragma once

#include <memory>
#include <string>

#include "Platform/DriverProtocol.h"
#include "Platform/Registry.h"

class CMemoryRegistry;
class CSysfsThermalView;

class CSysfsRegistry : public CRegistry {
 public:
  explicit CSysfsRegistry(std::shared_ptr<CSysfsThermalView> view);
  // A registry with a view of its own, with path names.
  explicit CSysfsRegistry(std::string sysfsRoot);
  ~CSysfsRegistry() override;

  std::unique_ptr<CRegistryKey> Open(const std::wstring& path, uint32_t access,
                                     long& status) override;
  void Refresh() override;

 private:
  const std::shared_ptr<CSysfsThermalView> mView;
  const std::shared_ptr<CMemoryRegistry> mOther;  // every key but the parameters key
};

// The driver keys under the names the Linux platform has given them.
inline constexpr const wchar_t* SYSFS_PARAMETERS_KEY = DRIVER_PARAMETERS_KEY;
inline constexpr const wchar_t* SYSFS_DRIVER_NOTIFY_KEY = DRIVER_NOTIFY_KEY;
