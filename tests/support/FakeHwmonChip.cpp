#include "support/FakeHwmonChip.h"

#include <sys/stat.h>

#include <fstream>

CFakeHwmonChip::CFakeHwmonChip() {
  Put("name", "nct6798");
  Put("pwm2", "90");
  Put("pwm2_enable", "5");
  Put("pwm2_mode", "1");
  Put("fan2_input", "812");
}

void CFakeHwmonChip::Put(const std::string& name, const std::string& text, unsigned mode) {
  const std::string path = mFolder.Write(name, text + "\n");
  chmod(path.c_str(), mode);
}

int64_t CFakeHwmonChip::Get(const std::string& name) const {
  std::ifstream in(mFolder.Path() + "/" + name);
  int64_t value = -1;
  in >> value;
  return in ? value : -1;
}
