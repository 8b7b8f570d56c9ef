// The kernel's thermal events that the Linux platform acts on, decoded from
// the messages of the thermal generic-netlink family's "event" group.
#pragma once

#include <cstdint>
#include <optional>

struct nl_msg;

struct ThermalKernelEvent {
  // TripChanged: a trip of the zone was added, deleted or moved. EventsLost:
  // no message of the kernel but the reader's own report that its socket
  // overran and messages were dropped (id 0).
  enum class Kind {
    TripUp,
    TripDown,
    TripChanged,
    ZoneCreated,
    ZoneDeleted,
    CoolingAdded,
    CoolingDeleted,
    EventsLost
  };
  Kind kind = Kind::TripUp;
  // The N of thermal_zoneN (trips, zones) or of cooling_deviceN (cooling
  // devices).
  uint32_t id = 0;
};

// The event a message carries, or nothing for a message the platform does not
// act on (another command, a message that is no thermal family message, or
// one without the zone or cooling device id). Never reads past the message.
std::optional<ThermalKernelEvent> DecodeThermalEvent(nl_msg* message);

// "trip up", "zone created", ... for people and logs.
const char* ThermalKernelEventName(ThermalKernelEvent::Kind kind);
