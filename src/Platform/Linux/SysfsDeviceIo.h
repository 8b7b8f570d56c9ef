// Device I/O on Linux: the participant drivers are what the participant
// sources list (ParticipantSource.h): thermal zones and hwmon temperature
// inputs (sensors), cooling devices (devices). Opening a participant name, as the
// registry view lists it (a folder path, or a stable name), gives a handle
// that answers the sensor or device requests of Platform/DriverProtocol.h
// from the folder's attribute files; what each code does is described in
// docs/linux-platform.md.
//
// Only the participants of the platform's own tree open: the name is looked up in the thermal view
// (a name it does not know makes it rescan once), so any other path fails with
// DEVICE_ERROR_FILE_NOT_FOUND, even a folder with a `temp` file elsewhere
// (a power supply's battery, whose temperature has another scale). Opening
// only opens existing files for reading, without blocking: nothing is
// created or truncated.
//
// Every failed open and every failed request of a handle that touched a
// file is noted in Failures() under the participant's name: the file and
// errno, which the device error number alone does not keep.
//
// Open is thread-safe; each handle is used by one thread at a time.
#pragma once

#include <memory>
#include <string>

#include "Platform/DeviceIo.h"

class CSysfsFailureBook;
class CSysfsThermalView;
class CSysfsValueWriter;

class CSysfsDeviceIo : public CDeviceIo {
 public:
  // `writer` null: values are written to the files as they are.
  explicit CSysfsDeviceIo(std::shared_ptr<CSysfsThermalView> view,
                          std::shared_ptr<CSysfsValueWriter> writer = nullptr);
  // Device I/O with a view of its own, with path names.
  explicit CSysfsDeviceIo(std::string sysfsRoot);

  std::unique_ptr<CDeviceHandle> Open(const std::wstring& name, uint32_t& error) override;

  const CSysfsFailureBook& Failures() const { return *mFailures; }

 private:
  std::unique_ptr<CDeviceHandle> TryOpen(const std::wstring& name, bool& retry, uint32_t& error);

  const std::shared_ptr<CSysfsThermalView> mView;
  const std::shared_ptr<CSysfsValueWriter> mWriter;
  const std::shared_ptr<CSysfsFailureBook> mFailures;
};
