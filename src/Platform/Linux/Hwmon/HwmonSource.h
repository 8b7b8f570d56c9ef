// hwmon chips: every readable tempN_input of ROOT/class/hwmon/hwmonN, or of
// hwmonN/device where older drivers keep their attributes, is a
// driver-backed sensor (CHwmonSensorHandle). A chip that copies a thermal
// zone is left out, and so is k10temp's `Tctl` where the chip also has
// `Tdie` (Tctl is a control value that may carry an offset above the die).
//
// Names: under the path naming the attribute's folder and file
// ("ROOT/class/hwmon/hwmon3/temp1_input"); under the stable naming
// "hwmon:CHIP-BUS:LABEL" ("hwmon:k10temp-pci-00c3:Tctl"), the label being
// tempN_label or "tempN", so a name survives the renumbering of hwmonN and
// two chips of one name are told apart by their bus.
#pragma once

#include "Platform/Linux/ParticipantSource.h"

class CHwmonSource : public CParticipantSource {
 public:
  std::string_view Name() const override { return "hwmon"; }
  void Scan(const std::string& root, LinuxParticipantNaming naming,
            _tagSThermalScan& scan) const override;
  std::unique_ptr<CSysfsHandle> Open(CSysfsLiveEntry live, CUniqueFd dir,
                                     std::shared_ptr<CSysfsValueWriter> writer,
                                     uint32_t& error) const override;

  // The one instance, which hwmon entries point to.
  static const CHwmonSource& Instance();
};

// The stable name of input `label` on chip `chip` at bus `busId`, at most
// 63 characters.
std::string HwmonStableName(std::string_view chip, std::string_view busId, std::string_view label);
