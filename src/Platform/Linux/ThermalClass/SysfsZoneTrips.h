// The trip points of a thermal zone that the host may see and move: the
// zone's `passive` and `active` trips, in trip order (trip_point_K_type). The
// `critical` and `hot` trips are the kernel's own overheat protection: they
// are never reported as aux trips and never written, so the host can neither
// raise them nor push them below the current temperature.
//
// A trip's identifier is its K. The types are read once, at the first use (a
// zone's trip types are fixed when its driver registers it); the values are
// read on every request, and a trip whose value cannot be read or means
// "invalid" is left out of that answer.
//
// Used by one thread at a time, like the zone handle that owns it.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "Platform/Linux/SysfsAttribute.h"

class CSysfsValueWriter;

struct _tagSZoneTrip {
  uint32_t id = 0;     // K of trip_point_K
  int32_t tenths = 0;  // tenths of kelvin
};

class CSysfsZoneTrips {
 public:
  CSysfsZoneTrips(int dirFd, std::shared_ptr<CSysfsValueWriter> writer);

  // The aux trips that read now, in trip order.
  std::vector<_tagSZoneTrip> Read();

  // Writes the two trips, both or neither: when the second is refused, the
  // first gets its old value back and the request fails with the refusal.
  // A trip that is not an aux trip is refused before anything is written
  // (DEVICE_ERROR_ACCESS_DENIED for a critical or hot trip,
  // DEVICE_ERROR_FILE_NOT_FOUND for one the zone does not have).
  bool Write(const _tagSZoneTrip& first, const _tagSZoneTrip& second, uint32_t& error);

 private:
  struct _tagSAuxFile {
    uint32_t id;
    CSysfsAttribute temp;
  };

  void Load();
  _tagSAuxFile* Find(uint32_t id);
  bool CheckWritable(uint32_t id, uint32_t& error);

  const int mDirFd;
  const std::shared_ptr<CSysfsValueWriter> mWriter;
  bool mLoaded = false;
  uint32_t mTripCount = 0;  // trip_point_0.. up to the first gap
  std::vector<_tagSAuxFile> mAux;
};
