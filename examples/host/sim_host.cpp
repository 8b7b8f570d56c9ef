// A host's own test without hardware: the simulated handheld from the
// simulation library, a power that only records, and one shutdown asked for
// through the system manager, which reaches no machine.
//
//   zivo-example-sim-host
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "zivorivizo-sim/SimHandheldPlatform.h"
#include "zivorivizo/zivorivizo.h"

int main() {
  auto power = std::make_shared<CSimPower>();
  std::string error;
  std::shared_ptr<CPlatform> platform = CreateSimHandheldPlatform("", power, error);
  if (!platform) {
    std::fprintf(stderr, "no handheld: %s\n", error.c_str());
    return 1;
  }
  CPlatform::Install(platform);
  COSParticipantManager* participants = nullptr;
  try {
    participants = COSParticipantManager::GetInstance();
  } catch (int thrown) {
    std::fprintf(stderr, "the participant manager did not start: %d\n", thrown);
    return 1;
  }
  const int enumerated = participants->Enumerate();
  std::vector<_tagSSensor> sensors;
  participants->GetAllSensors(sensors);
  std::printf("sensors: %zu\n", sensors.size());
  COSSystemManager::GetInstance()->SystemShutdown(30, nullptr);
  std::printf("shutdowns recorded: %zu\n", power->Shutdowns().size());
  COSSystemManager::DeleteInstance();
  COSParticipantManager::DeleteInstance();
  return enumerated != 0 || sensors.empty() || power->Shutdowns().size() != 1 ? 1 : 0;
}
