#include "Platform/Linux/ThermalClass/SysfsZoneHandle.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <utility>

#include "Platform/Linux/SysfsDriverReply.h"
#include "Platform/Linux/SysfsThermalSnapshot.h"
#include "Platform/Linux/ThermalClass/SysfsTypeMap.h"
#include "zivorivizo/SysfsUnits.h"

namespace {

// Identifies a missing aux trip in the trip block: no zone has that many.
constexpr uint32_t kNoTrip = 0xFFFFFFFF;

}  // namespace

CSysfsZoneHandle::CSysfsZoneHandle(CSysfsLiveEntry entry, CUniqueFd dir, CSysfsAttribute temp,
                                   std::shared_ptr<CSysfsValueWriter> writer)
    : mTemp(std::move(temp)),
      mEntry(std::move(entry)),
      mDir(std::move(dir)),
      mTrips(mDir.Get(), std::move(writer)) {}

bool CSysfsZoneHandle::Control(uint32_t code, std::span<const std::byte> in,
                               std::span<std::byte> out, uint32_t& error) {
  ClearSysfsFailureNote();
  return Serve(code, in, out, error) || Failed(error);
}

bool CSysfsZoneHandle::Serve(uint32_t code, std::span<const std::byte> in, std::span<std::byte> out,
                             uint32_t& error) {
  if (!mEntry.Check(error)) {
    return false;
  }
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

bool CSysfsZoneHandle::ReadTemperature(int32_t& tenths, uint32_t& error) {
  int64_t milli = 0;
  if (!mTemp.ReadNumber(milli, error)) {
    return false;
  }
  const auto value = TemperatureFromMilliCelsius(milli);
  if (!value) {
    error = DEVICE_ERROR_GEN_FAILURE;
    return false;
  }
  tenths = *value;
  return true;
}

// The hot path of every refresh: one pread on a descriptor kept open.
bool CSysfsZoneHandle::Temperature(std::span<std::byte> out, uint32_t& error) {
  int32_t tenths = 0;
  return SysfsCheckRoom(out, sizeof(int32_t), error) && ReadTemperature(tenths, error) &&
         SysfsAnswer(tenths, out, error);
}

bool CSysfsZoneHandle::Information(std::span<std::byte> out, uint32_t& error) {
  int32_t tenths = 0;
  if (!SysfsCheckRoom(out, sizeof(_tagSSensorInfoBlock), error) ||
      !ReadTemperature(tenths, error)) {
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
  const std::vector<_tagSZoneTrip> trips = mTrips.Read();
  info.AuxCount = static_cast<uint32_t>(trips.size());
  info.Aux0Type = trips.size() > 0 ? trips[0].id : kNoTrip;
  info.Aux0Trip = trips.size() > 0 ? static_cast<uint32_t>(trips[0].tenths) : 0;
  info.Aux1Type = trips.size() > 1 ? trips[1].id : kNoTrip;
  info.Aux1Trip = trips.size() > 1 ? static_cast<uint32_t>(trips[1].tenths) : 0;
  info.Type = SensorTypeFromSysfs(mEntry.Entry().type);
  return SysfsAnswer(info, out, error);
}

bool CSysfsZoneHandle::Trips(std::span<std::byte> out, uint32_t& error) {
  if (!SysfsCheckRoom(out, sizeof(_tagSTripBlock), error)) {
    return false;
  }
  const std::vector<_tagSZoneTrip> trips = mTrips.Read();
  _tagSTripBlock block{kNoTrip, 0, kNoTrip, 0};
  if (trips.size() > 0) {
    block.Aux0Type = trips[0].id;
    block.Aux0Temp = trips[0].tenths;
  }
  if (trips.size() > 1) {
    block.Aux1Type = trips[1].id;
    block.Aux1Temp = trips[1].tenths;
  }
  return SysfsAnswer(block, out, error);
}

bool CSysfsZoneHandle::SetTrips(std::span<const std::byte> in, uint32_t& error) {
  _tagSTripBlock block;
  return SysfsTake(in, block, error) &&
         mTrips.Write({block.Aux0Type, block.Aux0Temp}, {block.Aux1Type, block.Aux1Temp}, error);
}

// The zone's cdevN links in N order, each turned into the device index of the
// cooling device it points at in the current snapshot. A device bound to
// several trip points is reported once; a link that cannot be read, or that
// points at a device the snapshot does not list, is left out.
std::vector<uint32_t> CSysfsZoneHandle::LinkedDeviceIndexes() const {
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

  const auto snapshot = mEntry.Snapshot();
  std::vector<uint32_t> indexes;
  for (const auto& [n, number] : links) {
    const auto index = snapshot->Scan().CoolingIndexOf(number);
    if (index && std::find(indexes.begin(), indexes.end(), *index) == indexes.end()) {
      indexes.push_back(*index);
    }
  }
  return indexes;
}
