#include "StateFolder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "zivorivizo/Text.h"

namespace {

std::string Failure(const std::string& what, int error) {
  return what + ": " + std::strerror(error);
}

bool WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// The process id written in the lock file, or "unknown".
std::string LockHolder(int fd) {
  char text[32] = {};
  const ssize_t n = pread(fd, text, sizeof text - 1, 0);
  const long pid = n > 0 ? std::strtol(text, nullptr, 10) : 0;
  return pid > 0 ? std::to_string(pid) : "unknown";
}

}  // namespace

CStateFolder::CStateFolder(std::string folder) : mFolder(std::move(folder)) {}

CStateFolder::~CStateFolder() {
  if (mLockFd >= 0) {
    close(mLockFd);
  }
}

bool CStateFolder::Lock(std::string& error) {
  std::error_code failure;
  std::filesystem::create_directories(mFolder, failure);
  if (failure) {
    error = "cannot make the state folder " + mFolder + ": " + failure.message();
    return false;
  }
  const std::string path = mFolder + "/lock";
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0) {
    error = Failure("cannot open the lock " + path, errno);
    return false;
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int why = errno;
    error = why == EWOULDBLOCK ? "another zivo (pid " + LockHolder(fd) +
                                     ") controls the devices: it holds the lock " + path
                               : Failure("cannot take the lock " + path, why);
    close(fd);
    return false;
  }
  const std::string pid = std::to_string(getpid()) + "\n";
  if (ftruncate(fd, 0) != 0 || !WriteAll(fd, pid)) {
    error = Failure("cannot write the lock " + path, errno);
    close(fd);
    return false;
  }
  mLockFd = fd;
  return true;
}

bool CStateFolder::Read(std::optional<StateRecord>& record, std::string& error) const {
  record.reset();
  std::error_code failure;
  if (!std::filesystem::exists(StateFile(), failure) && !failure) {
    return true;
  }
  std::ifstream in(StateFile());
  if (!in) {
    error = Failure("cannot read " + StateFile(), errno);
    return false;
  }
  std::stringstream text;
  text << in.rdbuf();
  const nlohmann::json json = nlohmann::json::parse(text.str(), nullptr, false);
  try {
    if (json.is_discarded() || !json.is_object()) {
      throw std::runtime_error("not a JSON object");
    }
    StateRecord r;
    r.platform = json.at("platform").get<std::string>();
    r.sysfsRoot = json.value("sysfsRoot", "");
    r.naming = json.value("naming", "");
    r.pid = json.value("pid", 0L);
    for (const nlohmann::json& device : json.at("devices")) {
      r.devices[FromUtf8(device.at("name").get<std::string>())] = {
          device.at("found").get<uint32_t>(), device.at("written").get<uint32_t>()};
    }
    record = std::move(r);
    return true;
  } catch (const std::exception& e) {
    error = StateFile() + " is not a state record (" + e.what() + ")";
    return false;
  }
}

bool CStateFolder::Write(const StateRecord& record, std::string& error) const {
  nlohmann::json devices = nlohmann::json::array();
  for (const auto& [name, entry] : record.devices) {
    devices.push_back({{"name", ToUtf8(name)}, {"found", entry.found}, {"written", entry.written}});
  }
  const nlohmann::json json = {{"platform", record.platform},
                               {"sysfsRoot", record.sysfsRoot},
                               {"naming", record.naming},
                               {"pid", record.pid},
                               {"devices", devices}};
  const std::string temporary = StateFile() + ".new";
  const int fd =
      open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0) {
    error = Failure("cannot write " + temporary, errno);
    return false;
  }
  const bool written = WriteAll(fd, json.dump(1) + "\n") && fsync(fd) == 0;
  const int why = errno;
  close(fd);
  if (!written || rename(temporary.c_str(), StateFile().c_str()) != 0) {
    error = Failure("cannot write " + StateFile(), written ? errno : why);
    unlink(temporary.c_str());
    return false;
  }
  // The rename itself reaches the disk with the folder.
  const int dir = open(mFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
  return true;
}

bool CStateFolder::Remove(std::string& error) const {
  if (unlink(StateFile().c_str()) != 0 && errno != ENOENT) {
    error = Failure("cannot remove " + StateFile(), errno);
    return false;
  }
  return true;
}
