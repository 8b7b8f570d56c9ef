#include "Platform/Linux/ThermalNetlinkReader.h"

#include <linux/thermal.h>
#include <netlink/genl/ctrl.h>
#include <netlink/genl/genl.h>
#include <netlink/netlink.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace {

int OnValid(nl_msg* message, void* self) {
  return static_cast<CThermalNetlinkReader*>(self)->Deliver(message);
}

// After a receive failure the thread waits before it reads again, longer each
// time up to this bound, so a socket that keeps failing is not read in a
// tight loop.
constexpr int kMaxBackoffMs = 1000;

}  // namespace

CThermalNetlinkReader::CThermalNetlinkReader(Handler handler) : mHandler(std::move(handler)) {}

CThermalNetlinkReader::~CThermalNetlinkReader() {
  Stop();
}

bool CThermalNetlinkReader::Start(std::string& why) {
  std::lock_guard<std::mutex> lock(mStartLock);
  if (mThread.joinable()) {
    return true;
  }
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
  // Multicast messages carry no sequence numbers of ours.
  nl_socket_disable_seq_check(mSocket);
  nl_socket_modify_cb(mSocket, NL_CB_VALID, NL_CB_CUSTOM, OnValid, this);
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
  if (const auto event = DecodeThermalEvent(message)) {
    mHandler(*event);
  }
  return NL_OK;
}

void CThermalNetlinkReader::Run() {
  int pauseMs = 0;
  for (;;) {
    pollfd fds[2] = {{nl_socket_get_fd(mSocket), POLLIN, 0}, {mStopFd, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) {
        continue;
      }
      return;
    }
    if (fds[1].revents != 0) {
      return;
    }
    if (fds[0].revents == 0) {
      continue;
    }
    const int error = nl_recvmsgs_default(mSocket);
    if (error >= 0 || error == -NLE_AGAIN) {
      pauseMs = 0;
      continue;
    }
    ++mReceiveFailures;
    // Each failure in a row doubles the pause, during which only Stop is
    // waited for.
    pauseMs = std::min(kMaxBackoffMs, pauseMs == 0 ? 10 : pauseMs * 2);
    pollfd stop = {mStopFd, POLLIN, 0};
    if (poll(&stop, 1, pauseMs) > 0) {
      return;
    }
  }
}
