// The simulation library for an integrator's own tests: a platform that runs
// a host on the simulated handheld, with no hardware and nothing ever asked of
// the machine's power.
//
//   auto power = std::make_shared<CSimPower>();
//   std::string error;
//   auto platform = CreateSimHandheldPlatform("", power, error);
//   CPlatform::Install(platform);
//   COSParticipantManager* pm = COSParticipantManager::GetInstance();
//   ...  // power->Shutdowns() holds what the host asked for
//
// Link libzivorivizo-sim (find_package(zivorivizo COMPONENTS sim) gives
// zivorivizo::sim; pkg-config zivorivizo-sim). It builds on libzivorivizo and
// adds no second copy of it.
#pragma once

#include <memory>
#include <string>

#include "zivorivizo-sim/Export.h"
#include "zivorivizo-sim/SimPower.h"
#include "zivorivizo/Platform.h"

// Builds a simulated platform seeded with a handheld: the reference handheld
// built into the library when `descriptionFile` is empty, else the JSON
// description in that file (docs/simulated-handheld.md). `power` stands for
// the machine's power; a CSimPower that only records when null. On a refused
// description returns null and sets `error` ("file: place: problem").
ZIVO_SIM_EXPORT std::shared_ptr<CPlatform> CreateSimHandheldPlatform(
    const std::string& descriptionFile, std::shared_ptr<CPower> power, std::string& error);
