// hwmon fan channels: every `pwmN` that has a `pwmN_enable`, in
// ROOT/class/hwmon/hwmonM/ or, for older drivers, hwmonM/device/, is a
// driver-backed active device (CHwmonFanHandle over a CHwmonFanChannel).
// Entries keep the chip folder as their path, `pwmN` as their channel and
// the chip's `name` as their type. Names: under path naming the attribute's
// folder and name ("/sys/class/hwmon/hwmon2/pwm2"); under stable naming the
// chip, its bus id and the channel ("fan:nct6798-isa-0290:pwm2"), which a
// renumbering of hwmonM leaves as it is and which tells two chips of one
// name apart.
#pragma once

#include <string>

#include "Platform/Linux/ParticipantSource.h"

class CHwmonFanSource : public CParticipantSource {
 public:
  std::string_view Name() const override { return "hwmon fans"; }
  void Scan(const std::string& root, LinuxParticipantNaming naming,
            _tagSThermalScan& scan) const override;
  std::unique_ptr<CSysfsHandle> Open(CSysfsLiveEntry live, CUniqueFd dir,
                                     std::shared_ptr<CSysfsValueWriter> writer,
                                     uint32_t& error) const override;

  static const CHwmonFanSource& Instance();
};
