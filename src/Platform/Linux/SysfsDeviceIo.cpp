#include "Platform/Linux/SysfsDeviceIo.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "Platform/Linux/ParticipantSource.h"
#include "Platform/Linux/SysfsFailureBook.h"
#include "Platform/Linux/SysfsThermalView.h"
#include "Platform/Linux/SysfsValueWriter.h"

namespace {

// Notes in the book why this thread's latest access failed, under `name`;
// the file's path is the folder's plus the attribute's name. A failure that
// touched no file (a request the handle does not know, a buffer too small)
// is not the file's and is left out, unless the folder itself is gone.
void NoteFailure(CSysfsFailureBook& book, const std::wstring& name, const std::string& folder,
                 uint32_t error) {
  const SysfsFailureNote note = TakeSysfsFailureNote();
  if (!note.file.empty()) {
    book.Record(name, {folder + "/" + note.file, note.error, SysfsFailureReason(note.error)});
  } else if (error == DEVICE_ERROR_FILE_NOT_FOUND) {
    book.Record(name, {folder, ENOENT, SysfsFailureReason(ENOENT)});
  }
}

// A zone or cooling device handle whose failures go to the book.
class CNotingHandle : public CDeviceHandle {
 public:
  CNotingHandle(std::unique_ptr<CDeviceHandle> handle, std::shared_ptr<CSysfsFailureBook> book,
                std::wstring name, std::string folder)
      : mHandle(std::move(handle)),
        mBook(std::move(book)),
        mName(std::move(name)),
        mFolder(std::move(folder)) {}

  bool Control(uint32_t code, std::span<const std::byte> in, std::span<std::byte> out,
               uint32_t& error) override {
    ClearSysfsFailureNote();
    if (mHandle->Control(code, in, out, error)) {
      return true;
    }
    NoteFailure(*mBook, mName, mFolder, error);
    return false;
  }

 private:
  std::unique_ptr<CDeviceHandle> mHandle;
  std::shared_ptr<CSysfsFailureBook> mBook;
  std::wstring mName;
  std::string mFolder;
};

}  // namespace

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
    NoteFailure(*mFailures, name, entry->path, error);
    return nullptr;
  }
  return std::make_unique<CNotingHandle>(std::move(handle), mFailures, name, entry->path);
}
