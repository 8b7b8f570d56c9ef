// The thermal class: ROOT/class/thermal/thermal_zoneN are driver-backed
// sensors (CSysfsZoneHandle), cooling_deviceN driver-backed devices
// (CSysfsCoolingHandle). Entries named like them that are no folder that
// opens (a dangling link, a file) are left out and counted.
#pragma once

#include "Platform/Linux/ParticipantSource.h"

class CThermalClassSource : public CParticipantSource {
 public:
  std::string_view Name() const override { return "thermal"; }
  void Scan(const std::string& root, LinuxParticipantNaming naming,
            _tagSThermalScan& scan) const override;
  std::unique_ptr<CSysfsHandle> Open(CSysfsLiveEntry live, CUniqueFd dir,
                                     std::shared_ptr<CSysfsValueWriter> writer,
                                     uint32_t& error) const override;

  // The one instance, which thermal-class entries point to.
  static const CThermalClassSource& Instance();
};
