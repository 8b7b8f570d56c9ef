// A simulated temperature sensor driver, attached to a CSimDeviceIo path. It
// answers the sensor requests of DriverProtocol.h from a scripted state: the
// information block as given (any field, a device count above five, a type out
// of range), a queue of temperature readings followed by a steady value, and
// the trip block, which a set request replaces. Unknown codes fail with
// DEVICE_ERROR_INVALID_FUNCTION. Recording and fault injection come from
// CSimScriptedDriver; everything here is thread-safe.
//
// Defaults: tenths of kelvin, no devices, two trip points (identifiers 0 and 1
// at 3432 and 3532), type 0, a steady 3000, stopped.
#pragma once

#include <cstdint>
#include <deque>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "Platform/DriverProtocol.h"
#include "Platform/Registry.h"
#include "Sim/SimScriptedDriver.h"

class CSimSensorDriver : public CSimScriptedDriver {
 public:
  CSimSensorDriver();

  _tagSSensorInfoBlock Info();
  void SetInfo(const _tagSSensorInfoBlock& info);
  void SetCaps(uint32_t caps);
  void SetBase(uint16_t base);
  void SetType(uint32_t type);
  // Sets DeviceCount to the number of entries and fills the slots with the
  // first five; more than five entries make a count the slots cannot hold.
  void SetDeviceNumbers(std::initializer_list<uint32_t> numbers);
  // Sets AuxCount and the two aux identifiers and raw trip values of the
  // information block; the trip block is left as it is.
  void SetAux(uint32_t count, uint32_t aux0Type, uint32_t aux0Trip, uint32_t aux1Type,
              uint32_t aux1Trip);

  // Readings in the sensor's unit, answered in order before the steady value.
  void QueueTemps(std::initializer_list<int32_t> readings);
  // The reading once the queue is empty.
  void SetSteadyTemp(int32_t reading);
  // Readings still queued.
  int QueuedTemps();

  _tagSTripBlock Trips();
  void SetTrips(const _tagSTripBlock& trips);

  bool Started();

  // Where the driver reports an event: its value (for example "Sensor1")
  // under DRIVER_NOTIFY_KEY of `registry`, as the driver's installation
  // assigns it.
  void SetNotifyValue(std::shared_ptr<CRegistry> registry, std::wstring valueName);
  // Writes `value` (1: something happened) to that value, as the driver does.
  // The registry's status; REG_STATUS_NOT_FOUND when no value was assigned.
  long Notify(uint32_t value = 1);

 protected:
  bool Handle(uint32_t code, std::span<const std::byte> in, std::span<std::byte> out,
              uint32_t& error) override;

 private:
  _tagSSensorInfoBlock mInfo;
  std::deque<int32_t> mQueued;
  int32_t mSteady = 3000;
  _tagSTripBlock mTrips;
  bool mStarted = false;
  std::shared_ptr<CRegistry> mNotifyRegistry;
  std::wstring mNotifyValue;
};
