#include "Platform/Linux/SysfsValueWriter.h"

#include "Platform/Linux/SysfsAttribute.h"

bool CSysfsValueWriter::Write(int dirFd, const std::string& name, int64_t value, uint32_t& error) {
  return CSysfsAttribute(dirFd, name).WriteNumber(value, error);
}
