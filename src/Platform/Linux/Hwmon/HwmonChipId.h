// What identifies an hwmon chip across boots, where hwmonN does not: its
// `name` and the bus id of the device it hangs on, written as
// "name-bus-address" ("k10temp-pci-00c3", "nct6798-isa-0290",
// "nvme-pci-0100", "lm75-i2c-1-48"), taken from the chip's `device` link.
#pragma once

#include <string>
#include <string_view>

// The bus id ("pci-00c3") of the device whose folder is `devicePath` (the
// target of a chip's `device` link, resolved) on subsystem `subsystem`
// ("pci", "platform", "i2c", ...). "virtual-0" for a chip with no device.
std::string HwmonBusId(std::string_view subsystem, std::string_view deviceName);

// The chip's bus id as its folder `chipPath` (ROOT/class/hwmon/hwmonN) says.
std::string HwmonBusIdOfChip(const std::string& chipPath);

// Whether the chip copies a thermal zone into hwmon (its `device` link, or
// the folder itself, lies under virtual/thermal/thermal_zoneN): the zone is
// already a participant.
bool HwmonChipMirrorsZone(const std::string& chipPath);
