// The control requests that driver-backed participants exchange with their
// drivers: the codes and the byte layouts of their input and output. The
// participants send them; every driver that stands behind a device path (the
// simulated drivers, the sysfs drivers) answers them. All values are 32-bit
// little-endian; a driver that gets a buffer smaller than the layout fails the
// request with DEVICE_ERROR_INSUFFICIENT_BUFFER.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <type_traits>

// The registry keys of the driver-backed participants: the parameters key
// their installation writes (SensorCount, Sensor0.., DeviceCount, Device0..)
// and the key in which each sensor driver reports an event by setting its
// REG_DWORD "Sensor<index>" to 1.
inline constexpr wchar_t DRIVER_PARAMETERS_KEY[] = L"SOFTWARE\\Zelan\\VOVUZER\\Parameters";
inline constexpr wchar_t DRIVER_NOTIFY_KEY[] = L"Software\\Zelan\\VOVUZER\\DriverNotify";

// Device requests.
// Output: _tagSDeviceInfoBlock.
inline constexpr uint32_t DRIVER_DEVICE_GET_INFO = 0x222004;
// Output: the current throttle state, uint32_t.
inline constexpr uint32_t DRIVER_DEVICE_GET_STATE = 0x222008;
// Input: the requested throttle state, uint32_t.
inline constexpr uint32_t DRIVER_DEVICE_SET_STATE = 0x22200C;
inline constexpr uint32_t DRIVER_DEVICE_START = 0x222010;
inline constexpr uint32_t DRIVER_DEVICE_STOP = 0x222014;
// Input: uint32_t, 1 to shut the device down, 0 not to.
inline constexpr uint32_t DRIVER_DEVICE_SHUTDOWN = 0x222034;

// Sensor requests.
// Output: _tagSSensorInfoBlock.
inline constexpr uint32_t DRIVER_SENSOR_GET_INFO = 0x222018;
// Output: the temperature in the sensor's own unit, int32_t.
inline constexpr uint32_t DRIVER_SENSOR_GET_TEMP = 0x22201C;
// Output: _tagSTripBlock.
inline constexpr uint32_t DRIVER_SENSOR_GET_TRIPS = 0x222020;
// Input: _tagSTripBlock.
inline constexpr uint32_t DRIVER_SENSOR_SET_TRIPS = 0x222024;
inline constexpr uint32_t DRIVER_SENSOR_START = 0x222028;
inline constexpr uint32_t DRIVER_SENSOR_STOP = 0x22202C;

// Units of a sensor's raw values (_tagSSensorInfoBlock::Base).
inline constexpr uint16_t DRIVER_BASE_KELVIN = 0;
inline constexpr uint16_t DRIVER_BASE_TENTHS_KELVIN = 1;
inline constexpr uint16_t DRIVER_BASE_CELSIUS = 2;

// The device numbers a sensor information block has room for; DeviceCount may
// claim more.
inline constexpr std::size_t DRIVER_MAX_SENSOR_DEVICES = 5;

struct _tagSDeviceInfoBlock {
  uint32_t Caps = 0;          // capability word, carried and never interpreted
  uint32_t Reserved[4] = {};  // not read by the library
  uint32_t MaxState = 0;      // highest throttle state
  uint32_t Class = 0;         // device type, 0 to 9
};

struct _tagSSensorInfoBlock {
  uint32_t Caps = 0;                                       // capability word
  uint16_t Base = 0;                                       // DRIVER_BASE_*
  uint16_t Reserved = 0;                                   // not read by the library
  uint32_t DeviceCount = 0;                                // device numbers that follow
  uint32_t DeviceNumbers[DRIVER_MAX_SENSOR_DEVICES] = {};  // registry "Device<n>" numbers
  uint32_t AuxCount = 0;                                   // auxiliary trip points supported
  uint32_t Aux0Type = 0;                                   // aux 0 identifier
  uint32_t Aux0Trip = 0;                                   // aux 0 trip; the low 16 bits count
  uint32_t Aux1Type = 0;                                   // aux 1 identifier
  uint32_t Aux1Trip = 0;                                   // aux 1 trip; the low 16 bits count
  uint32_t Type = 0;                                       // sensor type, 0 to 9
};

// Trip temperatures are in the sensor's own unit.
struct _tagSTripBlock {
  uint32_t Aux0Type = 0;
  int32_t Aux0Temp = 0;
  uint32_t Aux1Type = 0;
  int32_t Aux1Temp = 0;
};

static_assert(sizeof(_tagSDeviceInfoBlock) == 28);
static_assert(offsetof(_tagSDeviceInfoBlock, MaxState) == 20);
static_assert(offsetof(_tagSDeviceInfoBlock, Class) == 24);
static_assert(sizeof(_tagSSensorInfoBlock) == 56);
static_assert(offsetof(_tagSSensorInfoBlock, Base) == 4);
static_assert(offsetof(_tagSSensorInfoBlock, DeviceCount) == 8);
static_assert(offsetof(_tagSSensorInfoBlock, DeviceNumbers) == 12);
static_assert(offsetof(_tagSSensorInfoBlock, AuxCount) == 32);
static_assert(offsetof(_tagSSensorInfoBlock, Aux0Type) == 36);
static_assert(offsetof(_tagSSensorInfoBlock, Aux1Trip) == 48);
static_assert(offsetof(_tagSSensorInfoBlock, Type) == 52);
static_assert(sizeof(_tagSTripBlock) == 16);
// The layouts are copied byte for byte, which is little-endian only here.
static_assert(std::endian::native == std::endian::little);

// Copies a layout (or a single 32-bit value) out of request bytes. Returns
// false, leaving `value` untouched, when `bytes` is too short.
template <typename T>
bool ReadDriverBlock(std::span<const std::byte> bytes, T& value) {
  static_assert(std::is_trivially_copyable_v<T>);
  if (bytes.size() < sizeof(T)) {
    return false;
  }
  std::memcpy(&value, bytes.data(), sizeof(T));
  return true;
}

// Copies a layout (or a single 32-bit value) into request bytes. Returns false,
// writing nothing, when `bytes` is too short.
template <typename T>
bool WriteDriverBlock(const T& value, std::span<std::byte> bytes) {
  static_assert(std::is_trivially_copyable_v<T>);
  if (bytes.size() < sizeof(T)) {
    return false;
  }
  std::memcpy(bytes.data(), &value, sizeof(T));
  return true;
}
