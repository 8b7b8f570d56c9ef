#include "Platform/Linux/Netlink/ThermalNetlinkEvent.h"

#include <linux/thermal.h>
#include <netlink/genl/genl.h>
#include <netlink/netlink.h>

namespace {

// Attributes the decoder reads; anything else in a message is ignored.
nla_policy* Policy() {
  static nla_policy policy[THERMAL_GENL_ATTR_MAX + 1] = {};
  static const bool filled = [] {
    policy[THERMAL_GENL_ATTR_TZ_ID].type = NLA_U32;
    policy[THERMAL_GENL_ATTR_TZ_TRIP_ID].type = NLA_U32;
    policy[THERMAL_GENL_ATTR_CDEV_ID].type = NLA_U32;
    return true;
  }();
  (void)filled;
  return policy;
}

}  // namespace

std::optional<ThermalKernelEvent> DecodeThermalEvent(nl_msg* message) {
  if (message == nullptr) {
    return std::nullopt;
  }
  nlmsghdr* header = nlmsg_hdr(message);
  if (!genlmsg_valid_hdr(header, 0)) {
    return std::nullopt;
  }
  nlattr* attrs[THERMAL_GENL_ATTR_MAX + 1] = {};
  if (genlmsg_parse(header, 0, attrs, THERMAL_GENL_ATTR_MAX, Policy()) < 0) {
    return std::nullopt;
  }
  const genlmsghdr* generic = static_cast<const genlmsghdr*>(nlmsg_data(header));
  ThermalKernelEvent event;
  int idAttribute = THERMAL_GENL_ATTR_TZ_ID;
  switch (generic->cmd) {
    case THERMAL_GENL_EVENT_TZ_TRIP_UP:
      event.kind = ThermalKernelEvent::Kind::TripUp;
      break;
    case THERMAL_GENL_EVENT_TZ_TRIP_DOWN:
      event.kind = ThermalKernelEvent::Kind::TripDown;
      break;
    case THERMAL_GENL_EVENT_TZ_TRIP_CHANGE:
    case THERMAL_GENL_EVENT_TZ_TRIP_ADD:
    case THERMAL_GENL_EVENT_TZ_TRIP_DELETE:
      event.kind = ThermalKernelEvent::Kind::TripChanged;
      break;
    case THERMAL_GENL_EVENT_TZ_CREATE:
      event.kind = ThermalKernelEvent::Kind::ZoneCreated;
      break;
    case THERMAL_GENL_EVENT_TZ_DELETE:
      event.kind = ThermalKernelEvent::Kind::ZoneDeleted;
      break;
    case THERMAL_GENL_EVENT_CDEV_ADD:
      event.kind = ThermalKernelEvent::Kind::CoolingAdded;
      idAttribute = THERMAL_GENL_ATTR_CDEV_ID;
      break;
    case THERMAL_GENL_EVENT_CDEV_DELETE:
      event.kind = ThermalKernelEvent::Kind::CoolingDeleted;
      idAttribute = THERMAL_GENL_ATTR_CDEV_ID;
      break;
    default:
      return std::nullopt;
  }
  if (attrs[idAttribute] == nullptr) {
    return std::nullopt;
  }
  event.id = nla_get_u32(attrs[idAttribute]);
  return event;
}

const char* ThermalKernelEventName(ThermalKernelEvent::Kind kind) {
  switch (kind) {
    case ThermalKernelEvent::Kind::TripUp:
      return "trip up";
    case ThermalKernelEvent::Kind::TripDown:
      return "trip down";
    case ThermalKernelEvent::Kind::TripChanged:
      return "trip changed";
    case ThermalKernelEvent::Kind::ZoneCreated:
      return "zone created";
    case ThermalKernelEvent::Kind::ZoneDeleted:
      return "zone deleted";
    case ThermalKernelEvent::Kind::CoolingAdded:
      return "cooling device added";
    case ThermalKernelEvent::Kind::CoolingDeleted:
      return "cooling device deleted";
    case ThermalKernelEvent::Kind::EventsLost:
      return "events lost";
  }
  return "unknown";
}
