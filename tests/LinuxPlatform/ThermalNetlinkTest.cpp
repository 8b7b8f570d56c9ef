// The kernel's thermal events as the Linux platform reads them: messages of
// the thermal family built with libnl, fed through the reader's seam.
#include <gtest/gtest.h>
#include <linux/thermal.h>
#include <netlink/genl/genl.h>
#include <netlink/netlink.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "Platform/Linux/Netlink/ThermalNetlinkEvent.h"
#include "Platform/Linux/Netlink/ThermalNetlinkReader.h"

namespace {

using Kind = ThermalKernelEvent::Kind;
using Message = std::unique_ptr<nl_msg, decltype(&nlmsg_free)>;

// An attribute: a 32-bit value, or (short) a 16-bit payload that a
// well-formed kernel message never has.
struct Attribute {
  int type;
  uint32_t value;
  bool shortPayload = false;
};

constexpr int kFamily = 0x1d;  // the id the kernel gave the thermal family

Message Build(uint8_t command, const std::vector<Attribute>& attributes, int family = kFamily) {
  Message message(nlmsg_alloc(), &nlmsg_free);
  EXPECT_NE(genlmsg_put(message.get(), NL_AUTO_PORT, NL_AUTO_SEQ, family, 0, 0, command,
                        THERMAL_GENL_VERSION),
            nullptr);
  for (const Attribute& a : attributes) {
    const uint16_t half = static_cast<uint16_t>(a.value);
    EXPECT_EQ(a.shortPayload ? nla_put(message.get(), a.type, sizeof half, &half)
                             : nla_put_u32(message.get(), a.type, a.value),
              0);
  }
  return message;
}

TEST(ThermalNetlinkTest, DecodesTheEventsThePlatformActsOn) {
  constexpr int kZone = THERMAL_GENL_ATTR_TZ_ID, kTrip = THERMAL_GENL_ATTR_TZ_TRIP_ID;
  constexpr int kCdev = THERMAL_GENL_ATTR_CDEV_ID;
  struct Case {
    const char* what;
    uint8_t command;
    std::vector<Attribute> attributes;
    std::optional<Kind> kind;  // nothing: the message is not acted on
    uint32_t id = 0;
  };
  const std::vector<Case> cases = {
      {"trip up",
       THERMAL_GENL_EVENT_TZ_TRIP_UP,
       {{kZone, 3}, {kTrip, 1}, {THERMAL_GENL_ATTR_TZ_TEMP, 71000}},
       Kind::TripUp,
       3},
      {"trip down", THERMAL_GENL_EVENT_TZ_TRIP_DOWN, {{kZone, 0}, {kTrip, 0}}, Kind::TripDown, 0},
      {"zone created", THERMAL_GENL_EVENT_TZ_CREATE, {{kZone, 12}}, Kind::ZoneCreated, 12},
      {"zone deleted", THERMAL_GENL_EVENT_TZ_DELETE, {{kZone, 7}}, Kind::ZoneDeleted, 7},
      {"cooling device added",
       THERMAL_GENL_EVENT_CDEV_ADD,
       {{kCdev, 4}, {THERMAL_GENL_ATTR_CDEV_MAX_STATE, 10}},
       Kind::CoolingAdded,
       4},
      {"cooling device deleted",
       THERMAL_GENL_EVENT_CDEV_DELETE,
       {{kCdev, 9}},
       Kind::CoolingDeleted,
       9},
      // The zone id of a cooling device event is no cooling device id.
      {"cooling device without its id", THERMAL_GENL_EVENT_CDEV_ADD, {{kZone, 4}}, std::nullopt},
      {"trip up without a zone id", THERMAL_GENL_EVENT_TZ_TRIP_UP, {{kTrip, 1}}, std::nullopt},
      {"zone id of 16 bits", THERMAL_GENL_EVENT_TZ_CREATE, {{kZone, 5, true}}, std::nullopt},
      {"trip changed", THERMAL_GENL_EVENT_TZ_TRIP_CHANGE, {{kZone, 1}}, Kind::TripChanged, 1},
      {"trip added", THERMAL_GENL_EVENT_TZ_TRIP_ADD, {{kZone, 2}}, Kind::TripChanged, 2},
      {"trip deleted", THERMAL_GENL_EVENT_TZ_TRIP_DELETE, {{kZone, 3}}, Kind::TripChanged, 3},
      {"cooling state", THERMAL_GENL_EVENT_CDEV_STATE_UPDATE, {{kCdev, 1}}, std::nullopt},
      {"zone enabled", THERMAL_GENL_EVENT_TZ_ENABLE, {{kZone, 1}}, std::nullopt},
      {"unknown command", 200, {{kZone, 1}}, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const auto event = DecodeThermalEvent(Build(c.command, c.attributes).get());
    ASSERT_EQ(event.has_value(), c.kind.has_value());
    if (event) {
      EXPECT_EQ(event->kind, *c.kind);
      EXPECT_EQ(event->id, c.id);
    }
  }
  // Messages too short for their headers: none, or no generic header.
  EXPECT_FALSE(DecodeThermalEvent(nullptr).has_value());
  Message bare(nlmsg_alloc_simple(0x1d, 0), &nlmsg_free);
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

// Only messages of the thermal family's id are acted on: another family's
// command 1 with attribute 1 means something else.
TEST(ThermalNetlinkTest, MessagesOfAnotherFamilyAreIgnored) {
  int heard = 0;
  CThermalNetlinkReader reader([&](const ThermalKernelEvent&) { ++heard; });
  const auto trip = [](int family) {
    return Build(THERMAL_GENL_EVENT_TZ_TRIP_UP, {{THERMAL_GENL_ATTR_TZ_ID, 1}}, family);
  };
  reader.Deliver(trip(kFamily).get());  // no family known yet: nothing
  reader.ExpectFamily(kFamily);
  reader.Deliver(trip(kFamily + 1).get());
  reader.Deliver(trip(GENL_ID_CTRL).get());
  EXPECT_EQ(heard, 0);
  reader.Deliver(trip(kFamily).get());
  EXPECT_EQ(heard, 1);
}

// A wait that fails is reported at Error, and the reader goes on (and still
// stops cleanly). Needs the kernel's thermal family.
std::atomic<int> gFailedPolls{0};
int FailOnce(pollfd* fds, nfds_t count, int timeout) {
  if (gFailedPolls.fetch_add(1) == 0) {
    errno = EBADF;
    return -1;
  }
  return poll(fds, count, timeout);
}

TEST(ThermalNetlinkTest, AFailedWaitIsReportedAndTheReaderGoesOn) {
  CThermalNetlinkReader reader([](const ThermalKernelEvent&) {});
  reader.SetPollCall(FailOnce);
  std::promise<std::string> reported;
  std::string why;
  if (!reader.Start(why, [&](PlatformEventsLevel level, const std::string& text) {
        EXPECT_EQ(level, PlatformEventsLevel::Error);
        reported.set_value(text);  // once: the next waits succeed
      })) {
    GTEST_SKIP() << "no thermal netlink family here: " << why;
  }
  auto text = reported.get_future();
  ASSERT_EQ(text.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_EQ(text.get(),
            "waiting for netlink messages failed: Bad file descriptor; waiting again in 10 ms");
  // The thread waits again (the second poll) rather than ending.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (gFailedPolls < 2 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::yield();
  }
  EXPECT_TRUE(reader.Running());
  reader.Stop();
  EXPECT_GE(gFailedPolls, 2);
}

}  // namespace
