#include "Platform/Linux/SysfsDeviceIo.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <utility>
#include <vector>

#include "Platform/DriverProtocol.h"
#include "Platform/Linux/SysfsAttribute.h"
#include "Platform/Linux/SysfsThermalScan.h"
#include "Platform/Linux/SysfsTypeMap.h"
#include "Platform/Text.h"

namespace {

// Zone temperatures are millidegrees Celsius; the participants speak tenths of
// kelvin with 0 degrees Celsius at 2732.
int32_t TenthsKelvinFromMilliCelsius(int64_t milli) {
  return static_cast<int32_t>(milli / 100 + 2732);
}
int64_t MilliCelsiusFromTenthsKelvin(int32_t tenths) {
  return (static_cast<int64_t>(tenths) - 2732) * 100;
}

template <typename T>
bool Answer(const T& value, std::span<std::byte> out, uint32_t& error) {
  if (!WriteDriverBlock(value, out)) {
    error = DEVICE_ERROR_INSUFFICIENT_BUFFER;
    return false;
  }
  return true;
}

template <typename T>
bool Take(std::span<const std::byte> in, T& value, uint32_t& error) {
  if (!ReadDriverBlock(in, value)) {
    error = DEVICE_ERROR_INSUFFICIENT_BUFFER;
    return false;
  }
  return true;
}

bool CheckRoom(std::span<std::byte> out, std::size_t need, uint32_t& error) {
  if (out.size() < need) {
    error = DEVICE_ERROR_INSUFFICIENT_BUFFER;
    return false;
  }
  return true;
}

std::string TripFileName(uint32_t id) {
  return "trip_point_" + std::to_string(id) + "_temp";
}

// A thermal zone answering the sensor requests.
class CSysfsZoneHandle : public CDeviceHandle {
 public:
  CSysfsZoneHandle(const std::string& root, CUniqueFd dir, CSysfsAttribute temp)
      : mRoot(root), mDir(std::move(dir)), mTemp(std::move(temp)) {}

  bool Control(uint32_t code, std::span<const std::byte> in, std::span<std::byte> out,
               uint32_t& error) override {
    switch (code) {
      case DRIVER_SENSOR_GET_TEMP:
        return Temperature(out, error);
      case DRIVER_SENSOR_GET_INFO:
        return Information(out, error);
      case DRIVER_SENSOR_GET_TRIPS:
        return Trips(out, error);
      case DRIVER_SENSOR_SET_TRIPS:
        return SetTrips(in, error);
      case DRIVER_SENSOR_START:
      case DRIVER_SENSOR_STOP:
        // A zone is polled by the kernel whether or not anyone listens; there
        // is nothing to switch on or off.
        return true;
      default:
        error = DEVICE_ERROR_INVALID_FUNCTION;
        return false;
    }
  }

 private:
  // The hot path of every refresh: one pread on a descriptor kept open.
  bool Temperature(std::span<std::byte> out, uint32_t& error) {
    int64_t milli = 0;
    return CheckRoom(out, sizeof(int32_t), error) && mTemp.ReadNumber(milli, error) &&
           Answer(TenthsKelvinFromMilliCelsius(milli), out, error);
  }

  bool Information(std::span<std::byte> out, uint32_t& error) {
    if (!CheckRoom(out, sizeof(_tagSSensorInfoBlock), error)) {
      return false;
    }
    _tagSSensorInfoBlock info;
    info.Caps = 0;
    info.Base = DRIVER_BASE_TENTHS_KELVIN;
    // The count says how many devices the zone really has, so a reader with
    // five slots can tell that some were left out.
    const std::vector<uint32_t> devices = LinkedDeviceIndexes();
    info.DeviceCount = static_cast<uint32_t>(devices.size());
    for (std::size_t i = 0; i < devices.size() && i < DRIVER_MAX_SENSOR_DEVICES; ++i) {
      info.DeviceNumbers[i] = devices[i];
    }
    info.AuxCount = TripCount();
    std::array<int32_t, 2> trips{};
    if (!ReadTrips(info.AuxCount, trips, error)) {
      return false;
    }
    info.Aux0Type = 0;
    info.Aux0Trip = static_cast<uint32_t>(trips[0]);
    info.Aux1Type = 1;
    info.Aux1Trip = static_cast<uint32_t>(trips[1]);
    std::string type;
    uint32_t ignored = 0;
    ReadSysfsText(mDir.Get(), "type", type, ignored);
    info.Type = SensorTypeFromSysfs(type);
    return Answer(info, out, error);
  }

  bool Trips(std::span<std::byte> out, uint32_t& error) {
    std::array<int32_t, 2> trips{};
    if (!CheckRoom(out, sizeof(_tagSTripBlock), error) || !ReadTrips(TripCount(), trips, error)) {
      return false;
    }
    return Answer(_tagSTripBlock{0, trips[0], 1, trips[1]}, out, error);
  }

  // Writes both trip points only after checking that both can be written, so
  // a refusal leaves the zone as it was.
  bool SetTrips(std::span<const std::byte> in, uint32_t& error) {
    _tagSTripBlock block;
    if (!Take(in, block, error)) {
      return false;
    }
    std::array<CSysfsAttribute, 2> files{CSysfsAttribute(mDir.Get(), TripFileName(block.Aux0Type)),
                                         CSysfsAttribute(mDir.Get(), TripFileName(block.Aux1Type))};
    for (const CSysfsAttribute& file : files) {
      if (!file.CheckWritable(error)) {
        return false;
      }
    }
    return files[0].WriteNumber(MilliCelsiusFromTenthsKelvin(block.Aux0Temp), error) &&
           files[1].WriteNumber(MilliCelsiusFromTenthsKelvin(block.Aux1Temp), error);
  }

  // Aux 0 and aux 1 are trip points 0 and 1; a zone with fewer reports 0 for
  // the missing ones (the library ignores the trips of such a zone anyway).
  bool ReadTrips(uint32_t count, std::array<int32_t, 2>& tenths, uint32_t& error) {
    for (uint32_t id = 0; id < 2 && id < count; ++id) {
      int64_t milli = 0;
      if (!mTrips[id].ReadNumber(milli, error)) {
        return false;
      }
      tenths[id] = TenthsKelvinFromMilliCelsius(milli);
    }
    return true;
  }

  // trip_point_0_temp, trip_point_1_temp, ... counted up to the first gap.
  uint32_t TripCount() const {
    uint32_t count = 0;
    while (SysfsFileExists(mDir.Get(), TripFileName(count).c_str())) {
      ++count;
    }
    return count;
  }

  // The zone's cdevN links in N order, each turned into the registry index of
  // the cooling device it points at. A device bound to several trip points is
  // reported once; a link to a device outside the root's list is left out.
  std::vector<uint32_t> LinkedDeviceIndexes() const {
    std::vector<std::pair<uint32_t, uint32_t>> links;  // (N of cdevN, cooling number)
    CUniqueFd listing(openat(mDir.Get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    DIR* dir = listing.Valid() ? fdopendir(listing.Get()) : nullptr;
    if (dir == nullptr) {
      return {};
    }
    listing.Release();  // the DIR owns it now
    while (const dirent* entry = readdir(dir)) {
      const auto n = NumberAfterPrefix(entry->d_name, "cdev");
      if (!n) {
        continue;
      }
      char target[256];
      const ssize_t length = readlinkat(dirfd(dir), entry->d_name, target, sizeof(target));
      if (length <= 0 || length == static_cast<ssize_t>(sizeof(target))) {
        continue;
      }
      const std::string_view link(target, static_cast<std::size_t>(length));
      const std::size_t slash = link.find_last_of('/');
      const std::string_view base = slash == std::string_view::npos ? link : link.substr(slash + 1);
      if (const auto number = NumberAfterPrefix(base, "cooling_device")) {
        links.emplace_back(*n, *number);
      }
    }
    closedir(dir);
    std::sort(links.begin(), links.end());

    const _tagSThermalScan scan = ScanThermal(mRoot);
    std::vector<uint32_t> indexes;
    for (const auto& [n, number] : links) {
      const auto index = scan.CoolingIndexOf(number);
      if (index && std::find(indexes.begin(), indexes.end(), *index) == indexes.end()) {
        indexes.push_back(*index);
      }
    }
    return indexes;
  }

  const std::string mRoot;
  CUniqueFd mDir;
  CSysfsAttribute mTemp;
  std::array<CSysfsAttribute, 2> mTrips{CSysfsAttribute(mDir.Get(), TripFileName(0)),
                                        CSysfsAttribute(mDir.Get(), TripFileName(1))};
};

// A cooling device answering the device requests.
class CSysfsCoolingHandle : public CDeviceHandle {
 public:
  CSysfsCoolingHandle(CUniqueFd dir, CSysfsAttribute current)
      : mDir(std::move(dir)), mCurrent(std::move(current)) {}

  bool Control(uint32_t code, std::span<const std::byte> in, std::span<std::byte> out,
               uint32_t& error) override {
    switch (code) {
      case DRIVER_DEVICE_GET_STATE: {
        int64_t state = 0;
        return CheckRoom(out, sizeof(uint32_t), error) && mCurrent.ReadNumber(state, error) &&
               Answer(static_cast<uint32_t>(state), out, error);
      }
      case DRIVER_DEVICE_SET_STATE: {
        // The kernel itself refuses a state above max_state.
        uint32_t state = 0;
        return Take(in, state, error) && mCurrent.WriteNumber(state, error);
      }
      case DRIVER_DEVICE_GET_INFO:
        return Information(out, error);
      case DRIVER_DEVICE_START:
      case DRIVER_DEVICE_STOP:
        // A cooling device has no running state of its own: it holds whatever
        // cur_state it was given.
        return true;
      case DRIVER_DEVICE_SHUTDOWN: {
        // Nothing to prepare before the machine goes down; the flag is only
        // checked to be there, as the request carries it.
        uint32_t flag = 0;
        return Take(in, flag, error);
      }
      default:
        error = DEVICE_ERROR_INVALID_FUNCTION;
        return false;
    }
  }

 private:
  bool Information(std::span<std::byte> out, uint32_t& error) {
    int64_t max = 0;
    if (!CheckRoom(out, sizeof(_tagSDeviceInfoBlock), error) || !mMax.ReadNumber(max, error)) {
      return false;
    }
    _tagSDeviceInfoBlock info;
    info.MaxState = static_cast<uint32_t>(max);
    std::string type;
    uint32_t ignored = 0;
    ReadSysfsText(mDir.Get(), "type", type, ignored);
    info.Class = DeviceClassFromSysfs(type);
    return Answer(info, out, error);
  }

  CUniqueFd mDir;
  CSysfsAttribute mCurrent;
  CSysfsAttribute mMax{mDir.Get(), "max_state"};
};

}  // namespace

CSysfsDeviceIo::CSysfsDeviceIo(std::string sysfsRoot) : mRoot(std::move(sysfsRoot)) {}

std::unique_ptr<CDeviceHandle> CSysfsDeviceIo::Open(const std::wstring& path, uint32_t& error) {
  const std::string folder = ToUtf8(path);
  if (folder.empty()) {
    error = DEVICE_ERROR_FILE_NOT_FOUND;
    return nullptr;
  }
  CUniqueFd dir(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!dir.Valid()) {
    error = DeviceErrorFromErrno(errno);
    return nullptr;
  }
  CSysfsAttribute temp(dir.Get(), "temp");
  uint32_t tempError = 0;
  if (temp.OpenForReading(tempError)) {
    return std::make_unique<CSysfsZoneHandle>(mRoot, std::move(dir), std::move(temp));
  }
  CSysfsAttribute current(dir.Get(), "cur_state");
  uint32_t currentError = 0;
  if (current.OpenForReading(currentError)) {
    return std::make_unique<CSysfsCoolingHandle>(std::move(dir), std::move(current));
  }
  // Neither kind: report why the more telling of the two failed.
  error = tempError != DEVICE_ERROR_FILE_NOT_FOUND ? tempError : currentError;
  return nullptr;
}
