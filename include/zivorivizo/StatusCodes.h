// Status codes returned by the library's operations. 0 is success; a
// participant's status passes unchanged through the managers to the host.
#pragma once

// Participant operations.
inline constexpr int ZIVO_SUCCESS = 0;
// An int exception was raised while obtaining the system manager to handle a
// faulty sensor.
inline constexpr int ZIVO_SM_EXCEPTION = 16;
// The throttle state read back after a set differs from the state requested.
inline constexpr int ZIVO_THROTTLE_MISMATCH = 103;
// A WMI sensor's trip points read back after a set differ, or the read failed.
inline constexpr int ZIVO_TRIP_MISMATCH = 109;
// A control request to the participant's driver failed.
inline constexpr int ZIVO_IOCTL_FAILED = 114;
// Allocating a work buffer failed.
inline constexpr int ZIVO_NO_MEMORY = 115;
// Fewer than two trip points to write to a driver-backed sensor; nothing sent.
inline constexpr int ZIVO_TOO_FEW_TRIP_POINTS = 117;
// WMI: creating an object failed (SpawnInstance).
inline constexpr int ZIVO_WMI_CREATE_FAILED = 152;
// WMI: executing a method failed.
inline constexpr int ZIVO_WMI_EXEC_FAILED = 153;
// WMI: fetching a class object failed.
inline constexpr int ZIVO_WMI_GETOBJECT_FAILED = 154;
// WMI: reading a property or a method signature failed.
inline constexpr int ZIVO_WMI_GET_FAILED = 155;
// WMI: setting a property failed.
inline constexpr int ZIVO_WMI_PUT_FAILED = 156;
// The device reported a throttle state greater than its Max.
inline constexpr int ZIVO_STATE_ABOVE_MAX = 163;

// Participant manager and discovery.
inline constexpr int ZIVO_DEVICE_NOT_FOUND = 101;
inline constexpr int ZIVO_SENSOR_NOT_FOUND = 102;
inline constexpr int ZIVO_DEVICE_EXISTS = 104;
inline constexpr int ZIVO_SENSOR_EXISTS = 105;
inline constexpr int ZIVO_LIST_EMPTY = 107;
inline constexpr int ZIVO_SENSOR_LIST_EMPTY = 108;
inline constexpr int ZIVO_PARTICIPANT_NOT_FOUND = 110;
inline constexpr int ZIVO_KEY_OPEN_FAILED = 112;
inline constexpr int ZIVO_COUNT_READ_FAILED = 113;
inline constexpr int ZIVO_PM_INIT_FAILED = 151;

// Configuration.
inline constexpr int ZIVO_CONFIG_LOAD_FAILED = 276;
inline constexpr int ZIVO_CONFIG_ATTRIBUTE_FAILED = 278;
inline constexpr int ZIVO_CONFIG_ATTRIBUTES_UNREADABLE = 279;
inline constexpr int ZIVO_CONFIG_DEVICE_LIST_EMPTY = 285;
inline constexpr int ZIVO_CONFIG_SENSOR_LIST_EMPTY = 286;
inline constexpr int ZIVO_CONFIG_DEVICE_NOT_FOUND = 287;
inline constexpr int ZIVO_CONFIG_SENSOR_NOT_FOUND = 288;
inline constexpr int ZIVO_CONFIG_RULE_BROKEN = 290;
inline constexpr int ZIVO_CONFIG_REJECTED = 291;
inline constexpr int ZIVO_CONFIG_NOT_LOADED = 292;

// Events.
// The thermal subscription failed (Init, or a thermal listener's subscription).
inline constexpr int ZIVO_EVENT_THERMAL_FAILED = 51;
// A participant kind's subscription failed: sensor arriving, sensor leaving,
// device arriving, device leaving.
inline constexpr int ZIVO_EVENT_ADD_SENSOR_FAILED = 52;
inline constexpr int ZIVO_EVENT_REMOVE_SENSOR_FAILED = 53;
inline constexpr int ZIVO_EVENT_ADD_DEVICE_FAILED = 54;
inline constexpr int ZIVO_EVENT_REMOVE_DEVICE_FAILED = 55;
// Init: the driver notification watch could not be set up.
inline constexpr int ZIVO_EVENT_DRIVER_EVENTS_FAILED = 57;
// The driver parameters key could not be opened.
inline constexpr int ZIVO_EVENT_PARAMS_KEY_FAILED = 60;
// The notification thread could not be created.
inline constexpr int ZIVO_EVENT_THREAD_FAILED = 62;
// (The sensor count unreadable: ZIVO_COUNT_READ_FAILED, 113.)

// Values thrown (as int) by constructors.
inline constexpr int ZIVO_THROW_PM_INIT_FAILED = 13;
inline constexpr int ZIVO_THROW_PLATFORM_DISABLED = 1000;
inline constexpr int ZIVO_THROW_CONFIG_FAILED = 15;
inline constexpr int ZIVO_THROW_SM_INIT_FAILED = 16;
inline constexpr int ZIVO_THROW_LOG_OPEN_FAILED = 254;

// Temperatures are tenths of kelvin; a reading at or above this is faulty.
inline constexpr int ZIVO_FAULTY_TEMPERATURE = 5282;
