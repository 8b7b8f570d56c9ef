// The kernel's thermal events as the Linux platform reads them: messages of
// the thermal family built with libnl, fed through the reader's seam.
#include <gtest/gtest.h>
#include <linux/thermal.h>
#include <netlink/genl/genl.h>
#include <netlink/netlink.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Platform/Linux/ThermalNetlinkEvent.h"
#include "Platform/Linux/ThermalNetlinkReader.h"

namespace {

using Kind = ThermalKernelEvent::Kind;

struct MessageDeleter {
  void operator()(nl_msg* message) const { nlmsg_free(message); }
};
using Message = std::unique_ptr<nl_msg, MessageDeleter>;

// One attribute of a message under construction: a 32-bit value, or a
// shorter payload that a well-formed kernel message never has.
struct Attribute {
  int type;
  uint32_t value;
  bool truncated = false;
};

Message Build(uint8_t command, const std::vector<Attribute>& attributes, int family = 0x1d) {
  Message message(nlmsg_alloc());
  EXPECT_NE(genlmsg_put(message.get(), NL_AUTO_PORT, NL_AUTO_SEQ, family, 0, 0, command,
                        THERMAL_GENL_VERSION),
            nullptr);
  for (const Attribute& attribute : attributes) {
    if (attribute.truncated) {
      const uint16_t half = static_cast<uint16_t>(attribute.value);
      EXPECT_EQ(nla_put(message.get(), attribute.type, sizeof half, &half), 0);
    } else {
      EXPECT_EQ(nla_put_u32(message.get(), attribute.type, attribute.value), 0);
    }
  }
  return message;
}

struct DecodeCase {
  const char* what;
  uint8_t command;
  std::vector<Attribute> attributes;
  std::optional<Kind> kind;  // nothing: the message is not acted on
  uint32_t id = 0;
};

TEST(ThermalNetlinkTest, DecodesTheEventsThePlatformActsOn) {
  const std::vector<DecodeCase> cases = {
      {"trip up on zone 3",
       THERMAL_GENL_EVENT_TZ_TRIP_UP,
       {{THERMAL_GENL_ATTR_TZ_ID, 3},
        {THERMAL_GENL_ATTR_TZ_TRIP_ID, 1},
        {THERMAL_GENL_ATTR_TZ_TEMP, 71000}},
       Kind::TripUp,
       3},
      {"trip down on zone 0",
       THERMAL_GENL_EVENT_TZ_TRIP_DOWN,
       {{THERMAL_GENL_ATTR_TZ_ID, 0}, {THERMAL_GENL_ATTR_TZ_TRIP_ID, 0}},
       Kind::TripDown,
       0},
      {"zone created",
       THERMAL_GENL_EVENT_TZ_CREATE,
       {{THERMAL_GENL_ATTR_TZ_ID, 12}},
       Kind::ZoneCreated,
       12},
      {"zone deleted",
       THERMAL_GENL_EVENT_TZ_DELETE,
       {{THERMAL_GENL_ATTR_TZ_ID, 7}},
       Kind::ZoneDeleted,
       7},
      {"cooling device added",
       THERMAL_GENL_EVENT_CDEV_ADD,
       {{THERMAL_GENL_ATTR_CDEV_ID, 4}, {THERMAL_GENL_ATTR_CDEV_MAX_STATE, 10}},
       Kind::CoolingAdded,
       4},
      {"cooling device deleted",
       THERMAL_GENL_EVENT_CDEV_DELETE,
       {{THERMAL_GENL_ATTR_CDEV_ID, 9}},
       Kind::CoolingDeleted,
       9},
      // The zone id of a cooling device event is no cooling device id.
      {"cooling device added without its id",
       THERMAL_GENL_EVENT_CDEV_ADD,
       {{THERMAL_GENL_ATTR_TZ_ID, 4}},
       std::nullopt},
      {"trip up without a zone id",
       THERMAL_GENL_EVENT_TZ_TRIP_UP,
       {{THERMAL_GENL_ATTR_TZ_TRIP_ID, 1}},
       std::nullopt},
      {"zone id shorter than 32 bits",
       THERMAL_GENL_EVENT_TZ_CREATE,
       {{THERMAL_GENL_ATTR_TZ_ID, 5, true}},
       std::nullopt},
      {"trip changed",
       THERMAL_GENL_EVENT_TZ_TRIP_CHANGE,
       {{THERMAL_GENL_ATTR_TZ_ID, 1}},
       std::nullopt},
      {"cooling state update",
       THERMAL_GENL_EVENT_CDEV_STATE_UPDATE,
       {{THERMAL_GENL_ATTR_CDEV_ID, 1}},
       std::nullopt},
      {"zone enabled", THERMAL_GENL_EVENT_TZ_ENABLE, {{THERMAL_GENL_ATTR_TZ_ID, 1}}, std::nullopt},
      {"unknown command", 200, {{THERMAL_GENL_ATTR_TZ_ID, 1}}, std::nullopt},
  };
  for (const DecodeCase& c : cases) {
    SCOPED_TRACE(c.what);
    const Message message = Build(c.command, c.attributes);
    const auto event = DecodeThermalEvent(message.get());
    ASSERT_EQ(event.has_value(), c.kind.has_value());
    if (event) {
      EXPECT_EQ(event->kind, *c.kind);
      EXPECT_EQ(event->id, c.id);
    }
  }
}

TEST(ThermalNetlinkTest, RefusesMessagesTooShortForTheirHeaders) {
  EXPECT_FALSE(DecodeThermalEvent(nullptr).has_value());
  // A bare netlink header with no generic header behind it.
  Message bare(nlmsg_alloc_simple(0x1d, 0));
  EXPECT_FALSE(DecodeThermalEvent(bare.get()).has_value());
}

// Whether this machine has the thermal family or not, Start gives a clear
// answer and Stop ends the reader; both run again without harm.
TEST(ThermalNetlinkTest, StartsWhereTheFamilyExistsAndStopsCleanly) {
  CThermalNetlinkReader reader([](const ThermalKernelEvent&) {});
  for (int round = 0; round < 2; ++round) {
    std::string why;
    const bool started = reader.Start(why);
    EXPECT_EQ(started, reader.Running());
    EXPECT_EQ(started, why.empty()) << why;
    reader.Stop();
    EXPECT_FALSE(reader.Running());
  }
}

}  // namespace
