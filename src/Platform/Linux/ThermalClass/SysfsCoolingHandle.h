// A cooling device answering the device requests of Platform/DriverProtocol.h
// from its folder: `cur_state` (read and written) and `max_state`. The
// information request fails only when one of the two cannot be read; an
// unreadable `type` gives class 0. Every request first checks that the
// thermal view still lists the device's folder (CSysfsLiveEntry).
// Used by one thread at a time.
#pragma once

#include <memory>

#include "Platform/DeviceIo.h"
#include "Platform/Linux/SysfsAttribute.h"
#include "Platform/Linux/SysfsHandle.h"
#include "Platform/Linux/SysfsLiveEntry.h"

class CSysfsValueWriter;

class CSysfsCoolingHandle : public CSysfsHandle {
 public:
  // `current` has been opened for reading on `dir`.
  CSysfsCoolingHandle(CSysfsLiveEntry entry, CUniqueFd dir, CSysfsAttribute current,
                      std::shared_ptr<CSysfsValueWriter> writer);

  bool Control(uint32_t code, std::span<const std::byte> in, std::span<std::byte> out,
               uint32_t& error) override;

 private:
  // The request itself; Control notes its failure.
  bool Serve(uint32_t code, std::span<const std::byte> in, std::span<std::byte> out,
             uint32_t& error);
  bool ReadState(CSysfsAttribute& file, uint32_t& state, uint32_t& error);
  bool Information(std::span<std::byte> out, uint32_t& error);

  CSysfsLiveEntry mEntry;
  CUniqueFd mDir;
  CSysfsAttribute mCurrent;
  CSysfsAttribute mMax;
  std::shared_ptr<CSysfsValueWriter> mWriter;
};
