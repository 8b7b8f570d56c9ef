// A thermal zone answering the sensor requests of Platform/DriverProtocol.h
// from its folder (docs/linux-platform.md): `temp`, the aux trips (see
// CSysfsZoneTrips) and the cdevN links, reported as device indexes of the
// thermal view's current snapshot, the one the registry's Device<n> values
// come from. Only an unreadable `temp` fails the information request; a trip
// or a link that cannot be read is left out. Every request first checks that
// the view still lists the zone's folder (CSysfsLiveEntry).
// Used by one thread at a time.
#pragma once

#include <memory>
#include <vector>

#include "Platform/DeviceIo.h"
#include "Platform/Linux/SysfsAttribute.h"
#include "Platform/Linux/SysfsHandle.h"
#include "Platform/Linux/SysfsLiveEntry.h"
#include "Platform/Linux/ThermalClass/SysfsZoneTrips.h"

class CSysfsValueWriter;

class CSysfsZoneHandle : public CSysfsHandle {
 public:
  // `temp` has been opened for reading on `dir`.
  CSysfsZoneHandle(CSysfsLiveEntry entry, CUniqueFd dir, CSysfsAttribute temp,
                   std::shared_ptr<CSysfsValueWriter> writer);

  bool Control(uint32_t code, std::span<const std::byte> in, std::span<std::byte> out,
               uint32_t& error) override;

 private:
  // The request itself; inline in Control, as it is the hot path of every read.
  [[gnu::always_inline]] inline bool Serve(uint32_t code, std::span<const std::byte> in,
                                           std::span<std::byte> out, uint32_t& error);
  // Inline in this handle's requests: it is the hot path of every refresh.
  [[gnu::always_inline]] inline bool ReadTemperature(int32_t& tenths, uint32_t& error);
  [[gnu::always_inline]] inline bool Temperature(std::span<std::byte> out, uint32_t& error);
  bool Information(std::span<std::byte> out, uint32_t& error);
  bool Trips(std::span<std::byte> out, uint32_t& error);
  bool SetTrips(std::span<const std::byte> in, uint32_t& error);
  std::vector<uint32_t> LinkedDeviceIndexes() const;

  // What a temperature read touches comes first: the attribute, then the
  // entry's check.
  CSysfsAttribute mTemp;
  CSysfsLiveEntry mEntry;
  CUniqueFd mDir;
  CSysfsZoneTrips mTrips;
};
