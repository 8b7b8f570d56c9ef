#include "Platform/Linux/Netlink/ThermalNetlinkReader.h"

#include <linux/thermal.h>
#include <netlink/genl/ctrl.h>
#include <netlink/genl/genl.h>
#include <netlink/netlink.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

int OnValid(nl_msg* message, void* self) {
  return static_cast<CThermalNetlinkReader*>(self)->Deliver(message);
}

// Error and malformed messages are passed over; the reader goes on.
int Skip(nl_msg* /*message*/, void* /*self*/) {
  return NL_SKIP;
}
int SkipError(sockaddr_nl* /*who*/, nlmsgerr* /*error*/, void* /*self*/) {
  return NL_SKIP;
}

// After a failure of the socket or the wait the thread waits before it reads
// again, longer each time up to this bound, so a socket that keeps failing is
// not read in a tight loop.
constexpr int kMaxBackoffMs = 1000;

int NextPause(int pauseMs) {
  return std::min(kMaxBackoffMs, pauseMs == 0 ? 10 : pauseMs * 2);
}

// A burst of zone and trip events fits: the kernel's default buffer of a few
// hundred KiB can overrun while a busy machine creates its zones.
constexpr int kReceiveBufferBytes = 4 << 20;

void EnlargeReceiveBuffer(nl_sock* socket) {
  const int fd = nl_socket_get_fd(socket);
  // Past the system's limit only with the right to; otherwise up to it.
  if (setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &kReceiveBufferBytes,
                 sizeof kReceiveBufferBytes) != 0) {
    nl_socket_set_buffer_size(socket, kReceiveBufferBytes, 0);
  }
}

// Failures of one message, not of the socket: the next message may be fine.
bool MessageFailure(int error) {
  switch (-error) {
    case NLE_MSG_TRUNC:
    case NLE_MSG_TOOSHORT:
    case NLE_MSG_OVERFLOW:
    case NLE_PARSE_ERR:
    case NLE_MSGTYPE_NOSUPPORT:
    case NLE_INVAL:
    case NLE_RANGE:
      return true;
  }
  return false;
}

}  // namespace

CThermalNetlinkReader::CThermalNetlinkReader(Handler handler) : mHandler(std::move(handler)) {}

CThermalNetlinkReader::~CThermalNetlinkReader() {
  Stop();
}

bool CThermalNetlinkReader::Start(std::string& why, PlatformEventsReport report) {
  std::lock_guard<std::mutex> lock(mStartLock);
  if (mThread.joinable()) {
    return true;
  }
  mReport = std::move(report);
  mSocket = nl_socket_alloc();
  if (mSocket == nullptr) {
    why = "no memory for a netlink socket";
    return false;
  }
  int error = genl_connect(mSocket);
  if (error < 0) {
    why = std::string("the generic netlink socket cannot be opened: ") + nl_geterror(error);
    Close();
    return false;
  }
  const int family = genl_ctrl_resolve(mSocket, THERMAL_GENL_FAMILY_NAME);
  if (family < 0) {
    why = std::string("the kernel has no \"" THERMAL_GENL_FAMILY_NAME "\" netlink family: ") +
          nl_geterror(family);
    Close();
    return false;
  }
  const int group =
      genl_ctrl_resolve_grp(mSocket, THERMAL_GENL_FAMILY_NAME, THERMAL_GENL_EVENT_GROUP_NAME);
  if (group < 0) {
    why = std::string("the \"" THERMAL_GENL_FAMILY_NAME
                      "\" netlink family has no \"" THERMAL_GENL_EVENT_GROUP_NAME "\" group: ") +
          nl_geterror(group);
    Close();
    return false;
  }
  mFamily = family;
  // Multicast messages carry no sequence numbers of ours.
  nl_socket_disable_seq_check(mSocket);
  nl_socket_modify_cb(mSocket, NL_CB_VALID, NL_CB_CUSTOM, OnValid, this);
  nl_socket_modify_cb(mSocket, NL_CB_INVALID, NL_CB_CUSTOM, Skip, this);
  nl_socket_modify_cb(mSocket, NL_CB_OVERRUN, NL_CB_CUSTOM, Skip, this);
  nl_socket_modify_err_cb(mSocket, NL_CB_CUSTOM, SkipError, this);
  EnlargeReceiveBuffer(mSocket);
  error = nl_socket_add_membership(mSocket, group);
  if (error >= 0) {
    error = nl_socket_set_nonblocking(mSocket);
  }
  if (error < 0) {
    why = std::string("the thermal event group cannot be joined: ") + nl_geterror(error);
    Close();
    return false;
  }
  mStopFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (mStopFd < 0) {
    why = "no event descriptor to stop the reader with";
    Close();
    return false;
  }
  try {
    mThread = std::thread([this] { Run(); });
  } catch (const std::system_error&) {
    why = "the thread that reads thermal events cannot be started";
    Close();
    return false;
  }
  return true;
}

void CThermalNetlinkReader::Stop() {
  std::lock_guard<std::mutex> lock(mStartLock);
  if (mThread.joinable()) {
    const uint64_t one = 1;
    // An eventfd write of 1 cannot fail short of overflow, which one write
    // per Stop never reaches.
    [[maybe_unused]] const ssize_t written = write(mStopFd, &one, sizeof one);
    mThread.join();
  }
  Close();
}

bool CThermalNetlinkReader::Running() const {
  std::lock_guard<std::mutex> lock(mStartLock);
  return mThread.joinable();
}

void CThermalNetlinkReader::Close() {
  if (mSocket != nullptr) {
    nl_socket_free(mSocket);
    mSocket = nullptr;
  }
  if (mStopFd >= 0) {
    close(mStopFd);
    mStopFd = -1;
  }
}

int CThermalNetlinkReader::Deliver(nl_msg* message) {
  // Only the thermal family's messages: another family's commands and
  // attributes mean other things under the same numbers.
  if (message == nullptr || nlmsg_hdr(message)->nlmsg_type != mFamily.load()) {
    return NL_OK;
  }
  if (const auto event = DecodeThermalEvent(message)) {
    mHandler(*event);
  }
  return NL_OK;
}

void CThermalNetlinkReader::ReportOverrun() {
  ++mOverruns;
  mHandler(ThermalKernelEvent{ThermalKernelEvent::Kind::EventsLost, 0});
}

void CThermalNetlinkReader::Report(PlatformEventsLevel level, const std::string& text) {
  if (mReport) {
    mReport(level, text);
  }
}

bool CThermalNetlinkReader::Pause(int ms) {
  pollfd stop = {mStopFd, POLLIN, 0};
  return poll(&stop, 1, ms) > 0;
}

void CThermalNetlinkReader::Run() {
  int pauseMs = 0;
  for (;;) {
    if (pauseMs > 0 && Pause(pauseMs)) {
      return;
    }
    pollfd fds[2] = {{nl_socket_get_fd(mSocket), POLLIN, 0}, {mStopFd, POLLIN, 0}};
    if (mPoll(fds, 2, -1) < 0) {
      const int failure = errno;
      if (failure == EINTR) {
        continue;
      }
      pauseMs = NextPause(pauseMs);
      Report(PlatformEventsLevel::Error, std::string("waiting for netlink messages failed: ") +
                                             std::strerror(failure) + "; waiting again in " +
                                             std::to_string(pauseMs) + " ms");
      continue;
    }
    if (fds[1].revents != 0) {
      return;
    }
    if (fds[0].revents == 0) {
      continue;
    }
    errno = 0;
    const int error = nl_recvmsgs_default(mSocket);
    const int failure = errno;
    if (error >= 0 || error == -NLE_AGAIN || MessageFailure(error)) {
      pauseMs = 0;
      continue;
    }
    if (failure == ENOBUFS) {
      // Messages were dropped: the owner looks at the tree again now; a
      // pause would only drop more.
      pauseMs = 0;
      ReportOverrun();
      continue;
    }
    pauseMs = NextPause(pauseMs);
    Report(PlatformEventsLevel::Error, std::string("reading netlink messages failed: ") +
                                           nl_geterror(error) + "; reading again in " +
                                           std::to_string(pauseMs) + " ms");
  }
}
