// Reads the kernel's thermal events: joins the "event" multicast group of the
// "thermal" generic-netlink family through libnl and hands every decoded
// event to a handler, on a thread of its own.
//
// Start resolves the family and the group; where either does not exist (an
// older kernel, a container without the family) it fails with the reason and
// starts nothing, so nothing waits or spins for events that cannot come. Stop
// (and the destructor) wakes the thread, waits for it to end and closes the
// socket; the handler is not called after Stop returns.
//
// What the thread does when reading goes wrong:
//   - the socket overran (ENOBUFS: the kernel dropped messages): the handler
//     gets an EventsLost event at once, with no pause, so its owner can look
//     at the tree again; the receive buffer is made large to keep this rare;
//   - a malformed message, or an error message, is skipped, with no pause;
//   - the socket or the wait itself fails: the reason goes to the report at
//     Error and the thread reads again after a pause, doubling from 10 ms up
//     to one second while the failures go on. The thread never ends but by
//     Stop.
//
// Deliver is the seam between the socket and the decoding: the thread calls
// it for every message it receives, and tests call it with messages built
// with libnl. It may be called whether or not the reader was started; it acts
// only on messages of the family id Start resolved (or ExpectFamily set).
#pragma once

#include <poll.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "Platform/Linux/Netlink/ThermalNetlinkEvent.h"
#include "Platform/PlatformEvents.h"

struct nl_msg;
struct nl_sock;

class CThermalNetlinkReader {
 public:
  using Handler = std::function<void(const ThermalKernelEvent&)>;
  // The wait of the thread, ::poll unless a test replaces it.
  using PollCall = int (*)(pollfd*, nfds_t, int);

  explicit CThermalNetlinkReader(Handler handler);
  ~CThermalNetlinkReader();
  CThermalNetlinkReader(const CThermalNetlinkReader&) = delete;
  CThermalNetlinkReader& operator=(const CThermalNetlinkReader&) = delete;

  // Opens the socket and starts the thread. False with `why` in words when
  // the events are not available; calling it again after a success does
  // nothing and returns true. `report` (may be empty) hears of failures of
  // the socket while the thread runs.
  bool Start(std::string& why, PlatformEventsReport report = {});
  void Stop();
  bool Running() const;

  // Decodes one message and calls the handler when it is of the thermal
  // family and carries an event the platform acts on. Returns the libnl
  // callback action (NL_OK).
  int Deliver(nl_msg* message);
  // The family id (nlmsg_type) of the thermal family's messages, as the
  // kernel numbered it; Start sets it.
  void ExpectFamily(int id) { mFamily = id; }
  // What the thread does when the socket overran.
  void ReportOverrun();
  // Replaces the thread's wait (before Start).
  void SetPollCall(PollCall call) { mPoll = call; }

  // Socket overruns since construction.
  uint64_t Overruns() const { return mOverruns.load(); }

 private:
  void Run();
  void Close();
  // Waits `ms` for Stop; true when Stop came.
  bool Pause(int ms);
  void Report(PlatformEventsLevel level, const std::string& text);

  Handler mHandler;
  mutable std::mutex mStartLock;
  nl_sock* mSocket = nullptr;
  int mStopFd = -1;  // an eventfd that Stop signals
  std::thread mThread;
  std::atomic<int> mFamily{-1};
  std::atomic<uint64_t> mOverruns{0};
  PollCall mPoll = ::poll;
  PlatformEventsReport mReport;
};
