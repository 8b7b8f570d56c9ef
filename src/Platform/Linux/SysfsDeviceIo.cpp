#include "Platform/Linux/SysfsDeviceIo.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "Platform/Linux/ParticipantSource.h"
#include "Platform/Linux/SysfsFailureBook.h"
#include "Platform/Linux/SysfsHandle.h"
#include "Platform/Linux/SysfsThermalView.h"
#include "Platform/Linux/SysfsValueWriter.h"

CSysfsDeviceIo::CSysfsDeviceIo(std::shared_ptr<CSysfsThermalView> view,
                               std::shared_ptr<CSysfsValueWriter> writer)
    : mView(std::move(view)),
      mWriter(writer ? std::move(writer) : std::make_shared<CSysfsValueWriter>()),
      mFailures(std::make_shared<CSysfsFailureBook>()) {}

CSysfsDeviceIo::CSysfsDeviceIo(std::string sysfsRoot)
    : CSysfsDeviceIo(std::make_shared<CSysfsThermalView>(std::move(sysfsRoot),
                                                         LinuxParticipantNaming::Path)) {}

std::unique_ptr<CDeviceHandle> CSysfsDeviceIo::Open(const std::wstring& name, uint32_t& error) {
  // A name the view does not know, or a folder that changed since the scan:
  // the tree changed, so rescan once and look again.
  bool retry = false;
  TakeSysfsFailureNote();
  auto handle = TryOpen(name, retry, error);
  if (!handle && retry) {
    mView->Refresh();
    handle = TryOpen(name, retry, error);
  }
  return handle;
}

std::unique_ptr<CDeviceHandle> CSysfsDeviceIo::TryOpen(const std::wstring& name, bool& retry,
                                                       uint32_t& error) {
  retry = false;
  error = DEVICE_ERROR_FILE_NOT_FOUND;
  const uint64_t generation = mView->Generation();
  const auto snapshot = mView->Current();
  const _tagSThermalEntry* entry = snapshot->FindSensor(name);
  const bool sensor = entry != nullptr;
  if (!sensor) {
    entry = snapshot->FindDevice(name);
  }
  if (entry == nullptr || entry->source == nullptr) {
    retry = true;
    return nullptr;
  }
  CUniqueFd dir(open(entry->path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK));
  struct stat info {};
  if (!dir.Valid() || fstat(dir.Get(), &info) != 0 || info.st_dev != entry->device ||
      info.st_ino != entry->inode) {
    retry = true;
    return nullptr;
  }
  using Kind = CSysfsLiveEntry::Kind;
  CSysfsLiveEntry live(mView, sensor ? Kind::Sensor : Kind::Device, *entry, generation);
  auto handle = entry->source->Open(std::move(live), std::move(dir), mWriter, error);
  if (!handle) {
    NoteSysfsFailureIn(*mFailures, name, entry->path, error);
    return nullptr;
  }
  handle->NoteFailuresIn(mFailures, name, entry->path);
  return handle;
}
