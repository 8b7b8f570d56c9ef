#include "StatusText.h"

#include "zivorivizo/StatusCodes.h"

const std::vector<StatusMeaning>& StatusTexts() {
  static const std::vector<StatusMeaning> texts = {
      {ZIVO_SUCCESS, "success"},
      {ZIVO_SM_EXCEPTION, "the system manager could not be obtained to handle a faulty sensor"},
      {ZIVO_EVENT_THERMAL_FAILED, "subscribing to the thermal events failed"},
      {ZIVO_EVENT_ADD_SENSOR_FAILED, "subscribing to sensors arriving failed"},
      {ZIVO_EVENT_REMOVE_SENSOR_FAILED, "subscribing to sensors leaving failed"},
      {ZIVO_EVENT_ADD_DEVICE_FAILED, "subscribing to devices arriving failed"},
      {ZIVO_EVENT_REMOVE_DEVICE_FAILED, "subscribing to devices leaving failed"},
      {ZIVO_EVENT_DRIVER_EVENTS_FAILED,
       "the driver notifications could not be set up (the parameters key, its sensor count or "
       "the notification thread)"},
      {ZIVO_EVENT_PARAMS_KEY_FAILED,
       "driver notifications: the driver parameters key cannot be opened"},
      {ZIVO_EVENT_THREAD_FAILED, "the driver notification thread could not be created"},
      {ZIVO_DEVICE_NOT_FOUND, "no device of that name"},
      {ZIVO_SENSOR_NOT_FOUND, "no sensor of that name"},
      {ZIVO_THROTTLE_MISMATCH, "the throttle state read back differs from the state requested"},
      {ZIVO_DEVICE_EXISTS, "a device of that name is already in the list"},
      {ZIVO_SENSOR_EXISTS, "a sensor of that name is already in the list"},
      {ZIVO_LIST_EMPTY, "a participant list the operation needs is empty"},
      {ZIVO_SENSOR_LIST_EMPTY, "the sensor list is empty"},
      {ZIVO_TRIP_MISMATCH, "the trip points read back differ from those written"},
      {ZIVO_PARTICIPANT_NOT_FOUND,
       "the name is listed neither by the firmware nor in the registry"},
      {ZIVO_KEY_OPEN_FAILED, "the driver parameters key cannot be opened"},
      {ZIVO_COUNT_READ_FAILED, "a count in the driver parameters key cannot be read"},
      {ZIVO_IOCTL_FAILED, "a control request to the participant's driver failed"},
      {ZIVO_NO_MEMORY, "a work buffer could not be allocated"},
      {ZIVO_TOO_FEW_TRIP_POINTS, "fewer than two trip points to write to a driver"},
      {ZIVO_PM_INIT_FAILED, "connecting to the firmware interface failed"},
      {ZIVO_WMI_CREATE_FAILED, "firmware interface: creating an object or enumeration failed"},
      {ZIVO_WMI_EXEC_FAILED, "firmware interface: executing a method failed"},
      {ZIVO_WMI_GETOBJECT_FAILED, "firmware interface: fetching a class failed"},
      {ZIVO_WMI_GET_FAILED, "firmware interface: reading a property or signature failed"},
      {ZIVO_WMI_PUT_FAILED, "firmware interface: setting a property failed"},
      {ZIVO_STATE_ABOVE_MAX, "the device reported a throttle state above its maximum"},
      {ZIVO_CONFIG_LOAD_FAILED, "the configuration file could not be loaded or parsed"},
      {ZIVO_CONFIG_ATTRIBUTE_FAILED, "a configuration attribute is missing or unreadable"},
      {ZIVO_CONFIG_ATTRIBUTES_UNREADABLE, "a configuration element's attributes are unreadable"},
      {ZIVO_CONFIG_DEVICE_LIST_EMPTY, "the configuration lists no device"},
      {ZIVO_CONFIG_SENSOR_LIST_EMPTY, "the configuration lists no sensor"},
      {ZIVO_CONFIG_DEVICE_NOT_FOUND, "no device record of the configuration matches"},
      {ZIVO_CONFIG_SENSOR_NOT_FOUND, "no sensor record of the configuration has that name"},
      {ZIVO_CONFIG_RULE_BROKEN, "the configuration breaks a rule (step, temperatures, counts)"},
      {ZIVO_CONFIG_REJECTED, "the configuration refuses the request"},
      {ZIVO_CONFIG_NOT_LOADED, "no configuration is loaded"},
  };
  return texts;
}

const char* StatusText(int code) {
  for (const StatusMeaning& text : StatusTexts()) {
    if (text.code == code) {
      return text.meaning;
    }
  }
  return "unknown status";
}

const char* ThrownText(int value) {
  switch (value) {
    case ZIVO_THROW_PM_INIT_FAILED:
      return "the participant manager could not connect to the firmware interface or read "
             "whether thermal management is enabled";
    case ZIVO_THROW_PLATFORM_DISABLED:
      return "the platform firmware has thermal management disabled";
    case ZIVO_THROW_CONFIG_FAILED:
      return "the configuration manager could not be constructed";
    case ZIVO_THROW_SM_INIT_FAILED:
      return "the system manager could not be initialised";
    case ZIVO_THROW_LOG_OPEN_FAILED:
      return "the log file could not be opened";
    default:
      return "unknown failure";
  }
}
