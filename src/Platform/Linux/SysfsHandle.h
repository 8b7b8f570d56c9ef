// A device handle on one folder a participant source listed: a zone, a
// cooling device, an hwmon input or fan channel. A failed request is noted
// in the device I/O's failure book under the participant's name, with the
// attribute and errno behind it, so a host can say which file failed and
// why; the device error number keeps only the kind of failure.
//
// The noting is part of each handle's own request, not a wrapper around the
// handle, so that a request costs one virtual call: every Control starts with
// ClearSysfsFailureNote() (no earlier access's note is taken for this
// request's) and ends a failed request with `|| Failed(error)`.
//
// Owned by the sensor or device that opened it; used by one thread at a time.
#pragma once

#include <memory>
#include <string>

#include "Platform/DeviceIo.h"
#include "Platform/Linux/SysfsAttribute.h"

class CSysfsFailureBook;

class CSysfsHandle : public CDeviceHandle {
 public:
  // Where this handle's failures are noted: set once, by the device I/O that
  // opened it, with the name it was opened under and its folder's path. A
  // handle never given a book notes nothing.
  void NoteFailuresIn(std::shared_ptr<CSysfsFailureBook> book, std::wstring name,
                      std::string folder);

 protected:
  // Notes why the request that just failed with `error` failed; false.
  bool Failed(uint32_t error) const;

 private:
  // Read only when a request fails, so kept off the handle's own block: the
  // members every request reads then follow the vtable closely, within the
  // handle's first two cache lines.
  struct Notes {
    std::shared_ptr<CSysfsFailureBook> book;
    std::wstring name;
    std::string folder;
  };
  std::unique_ptr<Notes> mNotes;
};

// Notes in `book`, under `name`, why this thread's latest access failed; the
// file's path is the folder's plus the attribute's name. A failure that
// touched no file (a request the handle does not know, a buffer too small)
// is not the file's and is left out, unless the folder itself is gone.
void NoteSysfsFailureIn(CSysfsFailureBook& book, const std::wstring& name,
                        const std::string& folder, uint32_t error);
