// The sensor type of an hwmon temperature input, from its chip's `name` and
// its label (docs/linux-platform.md keeps the table): CPU package or die,
// GPU, memory, disk, radio, or board and ambient for everything else.
#pragma once

#include <cstdint>
#include <string_view>

uint32_t HwmonSensorType(std::string_view chip, std::string_view label);
