#include "Platform/Linux/ThermalClass/SysfsZoneTrips.h"

#include <string>

#include "Platform/DeviceIo.h"
#include "Platform/Linux/SysfsValueWriter.h"
#include "zivorivizo/SysfsUnits.h"

namespace {

// Far more than any zone has; bounds the walk on a strange tree.
constexpr uint32_t kMaxTrips = 256;

std::string TripFile(uint32_t id, const char* what) {
  return "trip_point_" + std::to_string(id) + "_" + what;
}

}  // namespace

CSysfsZoneTrips::CSysfsZoneTrips(int dirFd, std::shared_ptr<CSysfsValueWriter> writer)
    : mDirFd(dirFd), mWriter(std::move(writer)) {}

void CSysfsZoneTrips::Load() {
  if (mLoaded) {
    return;
  }
  mLoaded = true;
  for (uint32_t id = 0; id < kMaxTrips; ++id) {
    if (!SysfsFileExists(mDirFd, TripFile(id, "temp").c_str())) {
      break;
    }
    mTripCount = id + 1;
    std::string type;
    uint32_t ignored = 0;
    // A trip whose type cannot be read might be the critical one: left out.
    if (ReadSysfsText(mDirFd, TripFile(id, "type").c_str(), type, ignored) &&
        (type == "passive" || type == "active")) {
      mAux.push_back({id, CSysfsAttribute(mDirFd, TripFile(id, "temp"))});
    }
  }
}

std::vector<_tagSZoneTrip> CSysfsZoneTrips::Read() {
  Load();
  std::vector<_tagSZoneTrip> trips;
  for (_tagSAuxFile& file : mAux) {
    int64_t milli = 0;
    uint32_t ignored = 0;
    if (!file.temp.ReadNumber(milli, ignored)) {
      continue;
    }
    if (const auto tenths = TripFromMilliCelsius(milli)) {
      trips.push_back({file.id, *tenths});
    }
  }
  return trips;
}

CSysfsZoneTrips::_tagSAuxFile* CSysfsZoneTrips::Find(uint32_t id) {
  for (_tagSAuxFile& file : mAux) {
    if (file.id == id) {
      return &file;
    }
  }
  return nullptr;
}

bool CSysfsZoneTrips::CheckWritable(uint32_t id, uint32_t& error) {
  const _tagSAuxFile* file = Find(id);
  if (file == nullptr) {
    error = id < mTripCount ? DEVICE_ERROR_ACCESS_DENIED : DEVICE_ERROR_FILE_NOT_FOUND;
    return false;
  }
  return file->temp.CheckWritable(error);
}

bool CSysfsZoneTrips::Write(const _tagSZoneTrip& first, const _tagSZoneTrip& second,
                            uint32_t& error) {
  Load();
  if (!CheckWritable(first.id, error) || !CheckWritable(second.id, error)) {
    return false;
  }
  // The old value of the first, to put back if the second is refused.
  int64_t old = 0;
  if (!Find(first.id)->temp.ReadNumber(old, error)) {
    return false;
  }
  const std::string firstFile = TripFile(first.id, "temp");
  if (!mWriter->Write(mDirFd, firstFile, MilliCelsiusFromTenthsKelvin(first.tenths), error)) {
    return false;
  }
  if (mWriter->Write(mDirFd, TripFile(second.id, "temp"),
                     MilliCelsiusFromTenthsKelvin(second.tenths), error)) {
    return true;
  }
  uint32_t ignored = 0;
  mWriter->Write(mDirFd, firstFile, old, ignored);
  return false;
}
