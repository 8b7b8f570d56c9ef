// What a thermal policy will control on a platform, and what in it will not
// work as its writer probably means: the one answer that zivo config check
// --against prints and that zivo run gives before it starts.
//
// For each sensor the policy manages (its <Sensor> record names it and
// enables its usage): the record and the devices it will throttle, that is
// its linked devices (a skin sensor also takes the devices its <DevicePath>
// entries name and the devices no sensor links) whose <Device> record
// enables their usage. Warnings, each with the
// record's element and line where there is one:
// - a record that matches no participant, and a participant with no record
//   (PolicyAgainstPlatform.h), a skin <DevicePath> naming no device;
// - a managed sensor with no device to throttle;
// - a device bound to a zone whose kernel governor (step_wise,
//   power_allocator, ...) runs: the kernel writes its cur_state too and
//   overwrites what the policy set;
// - a sensor whose shutdown temperature is at or above its zone's critical
//   trip: the kernel powers the machine off first.
// The last two need the kernel's side of the participants (the view's
// `sysfs`, FillSysfsDetails), present on the Linux platform only.
#pragma once

#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "ParticipantView.h"
#include "PlatformOption.h"
#include "PolicyAgainstPlatform.h"
#include "zivorivizo/Diagnostics.h"

struct PolicyControl {
  std::wstring sensor;
  long line = 0;                      // the line of its <Sensor> record
  std::vector<std::wstring> devices;  // the devices it will throttle, in view order
};

struct PolicyFindings {
  PolicyAgainst against;                // record by record
  std::vector<PolicyControl> controls;  // one per managed sensor, in view order
  std::vector<ConfigFinding> warnings;  // every warning, those of `against` first
  // No managed sensor has a device: zivo run --apply would throttle nothing
  // (with no managed sensor at all, `controls` empty, it would not even take
  // a power action, and it refuses to start).
  bool nothingToControl = true;
  std::string nothingReason;  // why, in words, when nothingToControl
};

// Compares the records of a loaded `report` with the participants of `view`
// (nameless ones are left out).
PolicyFindings FindPolicyFindings(const ConfigLoadReport& report, const ParticipantView& view);
// The same for the participants `manager` holds now, read as zivo list reads
// them, with the kernel's side when `chosen` is the Linux platform: what
// zivo run calls after its start-up, with CheckConfigFile(its --config).
PolicyFindings FindPolicyFindings(const ConfigLoadReport& report, CParticipantMgr& manager,
                                  const ChosenPlatform& chosen);

// "Controls:" then one line per managed sensor ("SENSOR (<Sensor> line N) ->
// DEVICE, DEVICE" or "-> no device"), then "Nothing to control: REASON" when
// so.
void PrintPolicyControls(FILE* out, const PolicyFindings& findings);
// One "warning: FILE:LINE: ELEMENT MESSAGE" line per warning.
void PrintPolicyWarnings(FILE* out, const std::string& file, const PolicyFindings& findings);
// {"controls": [{"sensor", "line", "devices"}], "nothingToControl": bool,
//  "nothingReason": text, "warnings": [{"line", "element", "message"}]}.
nlohmann::ordered_json PolicyFindingsJson(const PolicyFindings& findings);
