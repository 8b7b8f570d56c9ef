// The kernel's side of the Linux participants, for zivo list: the sysfs
// folder a participant name stands for, its `type`, and for a zone its
// governor (`policy`), `mode` and every trip point, for a cooling device its
// `max_state`, read now. An attribute that cannot be read shows as null.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "ParticipantView.h"

class CLinuxSysfsView;

// {"path", "type", "policy", "mode", "trips"} for a zone, {"path", "type",
// "max_state"} for a cooling device, and for an hwmon fan channel also
// "channel" ("pwm2"), "rpm" (fanN_input, null without a tachometer), "pwm",
// "pwm_enable" and "readOnly"; null when the view lists no such name.
// "trips" lists every trip point in order, as {"id": K, "type": "passive",
// "temp": tenths of kelvin, "readOnly": false}: critical and hot trips (and a
// trip whose type cannot be read) are read-only, never written by the
// library. An hwmon input gives {"path" (its tempN_input), "type" (its
// label), "chip", "trips"}, its trips being the chip's limits (type "max",
// "crit", "emergency", id the input's N), all read-only; k10temp's Tctl
// also has a "note".
nlohmann::json SysfsDetailsOf(const CLinuxSysfsView& view, const std::wstring& name);
// The lowest critical trip of a zone's details, in tenths of kelvin: where
// the kernel powers the machine off itself. None when it has no readable one.
std::optional<int32_t> CriticalTripOf(const nlohmann::json& details);
// The critical limit (tempN_crit) of an hwmon input's details, in tenths of
// kelvin: where the chip's fan curve, or a fan controller, runs everything at
// full speed. None when it has no readable one.
std::optional<int32_t> ChipCriticalLimitOf(const nlohmann::json& details);

// Fills `sysfs` and `accessFailure` of every participant of `view`.
void FillSysfsDetails(ParticipantView& view, const CLinuxSysfsView& thermal);
