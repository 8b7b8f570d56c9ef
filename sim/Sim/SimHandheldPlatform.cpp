#include "zivorivizo-sim/SimHandheldPlatform.h"

#include "Sim/SimPlatform.h"
#include "zivorivizo-sim/SimHandheld.h"

std::shared_ptr<CPlatform> CreateSimHandheldPlatform(const std::string& descriptionFile,
                                                     std::shared_ptr<CPower> power,
                                                     std::string& error) {
  _tagSHandheldError refusal;
  std::unique_ptr<CSimHandheld> handheld = descriptionFile.empty()
                                               ? CSimHandheld::Default()
                                               : CSimHandheld::Load(descriptionFile, refusal);
  if (!handheld) {
    error = refusal.Text();
    return nullptr;
  }
  return handheld->CreatePlatform(std::move(power));
}

std::shared_ptr<CPlatform> CSimHandheld::CreatePlatform(std::shared_ptr<CPower> power) {
  auto platform = std::make_shared<CSimPlatform>(std::move(power));
  Install(platform);
  return platform;
}
