#include "Platform/Linux/SysfsHandle.h"

#include <cerrno>
#include <utility>

#include "Platform/Linux/SysfsFailureBook.h"

void CSysfsHandle::NoteFailuresIn(std::shared_ptr<CSysfsFailureBook> book, std::wstring name,
                                  std::string folder) {
  mNotes = std::make_unique<Notes>(Notes{std::move(book), std::move(name), std::move(folder)});
}

bool CSysfsHandle::Failed(uint32_t error) const {
  if (mNotes && mNotes->book) {
    NoteSysfsFailureIn(*mNotes->book, mNotes->name, mNotes->folder, error);
  }
  return false;
}

void NoteSysfsFailureIn(CSysfsFailureBook& book, const std::wstring& name,
                        const std::string& folder, uint32_t error) {
  const SysfsFailureNote note = TakeSysfsFailureNote();
  if (!note.file.empty()) {
    book.Record(name, {folder + "/" + note.file, note.error, SysfsFailureReason(note.error)});
  } else if (error == DEVICE_ERROR_FILE_NOT_FOUND) {
    book.Record(name, {folder, ENOENT, SysfsFailureReason(ENOENT)});
  }
}
