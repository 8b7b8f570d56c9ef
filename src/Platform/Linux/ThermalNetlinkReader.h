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
// Deliver is the seam between the socket and the decoding: the thread calls
// it for every message it receives, and tests call it with messages built
// with libnl. It may be called whether or not the reader was started.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "Platform/Linux/ThermalNetlinkEvent.h"

struct nl_msg;
struct nl_sock;

class CThermalNetlinkReader {
 public:
  using Handler = std::function<void(const ThermalKernelEvent&)>;

  explicit CThermalNetlinkReader(Handler handler);
  ~CThermalNetlinkReader();
  CThermalNetlinkReader(const CThermalNetlinkReader&) = delete;
  CThermalNetlinkReader& operator=(const CThermalNetlinkReader&) = delete;

  // Opens the socket and starts the thread. False with `why` in words when
  // the events are not available; calling it again after a success does
  // nothing and returns true.
  bool Start(std::string& why);
  void Stop();
  bool Running() const;

  // Decodes one message and calls the handler when it carries an event the
  // platform acts on. Returns the libnl callback action (NL_OK).
  int Deliver(nl_msg* message);

  // Receive failures since construction (a full socket buffer drops events).
  uint64_t ReceiveFailures() const { return mReceiveFailures.load(); }

 private:
  void Run();
  void Close();

  Handler mHandler;
  mutable std::mutex mStartLock;
  nl_sock* mSocket = nullptr;
  int mStopFd = -1;  // an eventfd that Stop signals
  std::thread mThread;
  std::atomic<uint64_t> mReceiveFailures{0};
};
