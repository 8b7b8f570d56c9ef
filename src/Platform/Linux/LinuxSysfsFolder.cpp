#include "zivorivizo/LinuxSysfsFolder.h"

#include <fcntl.h>
#include <unistd.h>

#include "Platform/Linux/SysfsAttribute.h"

CLinuxSysfsFolder::CLinuxSysfsFolder(const std::string& path)
    : mFd(open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK)) {}

CLinuxSysfsFolder::~CLinuxSysfsFolder() {
  if (mFd >= 0) {
    close(mFd);
  }
}

bool CLinuxSysfsFolder::ReadText(const std::string& name, std::string& text) const {
  uint32_t error = 0;
  return IsOpen() && ReadSysfsText(mFd, name.c_str(), text, error);
}

bool CLinuxSysfsFolder::ReadNumber(const std::string& name, int64_t& value) const {
  uint32_t error = 0;
  return IsOpen() && ReadSysfsNumber(mFd, name.c_str(), value, error);
}

bool CLinuxSysfsFolder::Exists(const std::string& name) const {
  return IsOpen() && SysfsFileExists(mFd, name.c_str());
}

bool CLinuxSysfsFolder::Writable(const std::string& name) const {
  uint32_t error = 0;
  return IsOpen() && CSysfsAttribute(mFd, name).CheckWritable(error);
}
