// A simulated handheld: the registry content, the participant drivers and the
// firmware participants of one machine, read from a JSON description (format:
// docs/simulated-handheld.md), and a simple thermal load model that heats its
// sensors step by step and cools them by the throttle state of their devices.
//
// Install seeds a simulated platform with the description: the parameters key
// listing the registry drivers in order, the drivers attached at their paths,
// the firmware instances published. Participants marked "hotplug" are held
// back until Publish, so a host can add them at run time.
//
// The description may script a timeline of events (a firmware thermal event,
// a driver notification, a participant arriving or leaving) at set times
// after Install; PlayUntil plays what is due.
//
// Step advances the model and the platform's clock by one step: every
// modelled sensor gains its heat and loses cooling in proportion to the
// throttle state of the devices it is linked to, never below the ambient
// temperature (or its start, when lower); the new value is what the sensor's driver or firmware
// instance reports from then on. Everything is integer tenths of kelvin, so a
// run is the same on every machine.
//
// Not thread-safe: one host thread drives the handheld. The platform objects
// it scripts are thread-safe, so the library may read them from its threads.
//
// A host built on the installed headers (zivo) reads and drives a handheld
// through this class; CreateSimHandheldPlatform (SimHandheldPlatform.h) is
// the short way to a platform seeded with one.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "zivorivizo-sim/Export.h"

class CPlatform;
class CPower;
class CSimPlatform;
class CSimSensorDriver;
class CSimDeviceDriver;

// Why a description was refused: the file, the place in it (a JSON path such
// as "devices[2].maximum", or "line 3:14" for a syntax error) and the problem.
struct ZIVO_SIM_EXPORT _tagSHandheldError {
  std::string file;
  std::string place;
  std::string problem;
  // "file: place: problem".
  std::string Text() const;
};

struct _tagSHandheldTrip {
  uint32_t id = 0;
  int32_t temp = 0;  // tenths of kelvin
};

// One participant of the description. A firmware participant has a number
// (its InstanceName is "ACPI\PNP0C14\<number>_0"); a registry-listed one has
// the driver path that the parameters key lists.
struct _tagSHandheldParticipant {
  bool firmware = false;
  int32_t number = -1;  // firmware participants only
  std::wstring name;    // InstanceName or driver path
  std::string label;    // for people; not seen by the library
  uint32_t caps = 0;
  uint32_t type = 0;
  bool hotplug = false;

  // Devices.
  uint32_t current = 0;
  uint32_t maximum = 0;

  // Sensors.
  uint16_t base = 1;                     // 0 kelvin, 1 tenths of kelvin, 2 Celsius
  std::vector<uint32_t> devices;         // device numbers as the sensor reports them
  std::vector<_tagSHandheldTrip> trips;  // as published at start
  uint32_t auxCount = 0;                 // registry sensors: trip points claimed
  std::vector<int32_t> readings;         // fixed readings (tenths of kelvin); empty: modelled
  int32_t start = 0;                     // modelled: first temperature (tenths of kelvin)
  int32_t heat = 0;                      // modelled: tenths gained per step
  int32_t cooling = 0;                 // modelled: tenths lost per step per device at full throttle
  std::vector<std::wstring> cooledBy;  // further device names that cool it
};

// A value written under a registry key after the parameters key is built.
struct _tagSHandheldRegistryValue {
  std::wstring key;
  std::wstring name;  // empty: the key alone
  bool isString = false;
  uint32_t dword = 0;
  std::wstring text;
};

// One event of the scripted timeline.
struct SimTimelineEvent {
  enum class Kind {
    Thermal,  // the firmware raises a thermal event with `code` on sensor `name`
    Notify,   // the driver of registry-listed sensor `name` writes `value` to its notify value
    Arrive,   // participant `name` is published
    Leave,    // participant `name` is withdrawn
  };
  uint64_t atMs = 0;  // after Install, on the simulated clock
  Kind kind = Kind::Thermal;
  std::wstring name;
  bool sensor = false;  // whether `name` is a sensor (else a device)
  int32_t code = 0;     // Thermal: 0..65535
  uint32_t value = 1;   // Notify
};

// "thermal", "notify", "arrive" or "leave".
ZIVO_SIM_EXPORT const char* SimTimelineKindName(SimTimelineEvent::Kind kind);

class ZIVO_SIM_EXPORT CSimHandheld {
 public:
  // The reading of a faulty sensor: 255.0 degrees Celsius.
  static constexpr int32_t kFaultyTemp = 5282;
  // The highest temperature a description may give and the model reaches:
  // 3000.0 degrees Celsius.
  static constexpr int32_t kMaxTemp = 32732;

  ~CSimHandheld();
  CSimHandheld(const CSimHandheld&) = delete;
  CSimHandheld& operator=(const CSimHandheld&) = delete;

  // Reads a description. On a refusal returns null and fills `error`;
  // `source` names the text in the error (a file name).
  static std::unique_ptr<CSimHandheld> Parse(std::string_view text, const std::string& source,
                                             _tagSHandheldError& error);
  static std::unique_ptr<CSimHandheld> Load(const std::string& path, _tagSHandheldError& error);
  // The embedded default handheld (the same description as docs/handheld.json).
  static std::unique_ptr<CSimHandheld> Default();
  static std::string_view DefaultDescription();
  // The firmware InstanceName of participant number `number`.
  static std::wstring FirmwareName(int32_t number);

  const std::string& Name() const { return mName; }
  int32_t VelmarStatus() const { return mVelmarStatus; }
  uint32_t StepSeconds() const { return mStepSeconds; }
  int32_t Ambient() const { return mAmbient; }
  const std::vector<_tagSHandheldParticipant>& Devices() const { return mDevices; }
  const std::vector<_tagSHandheldParticipant>& Sensors() const { return mSensors; }
  const _tagSHandheldParticipant* FindDevice(const std::wstring& name) const;
  const _tagSHandheldParticipant* FindSensor(const std::wstring& name) const;

  // Seeds `platform` (a fresh one) and keeps it for Publish and Step.
  void Install(std::shared_ptr<CSimPlatform> platform);
  // Makes a fresh simulated platform whose power is `power` (a recording
  // CSimPower when null), seeds it as Install does and keeps a share of it.
  // The caller installs it (CPlatform::Install); its clock is the simulated
  // clock that Step and PlayUntil move.
  std::shared_ptr<CPlatform> CreatePlatform(std::shared_ptr<CPower> power = nullptr);
  // Makes a held-back hotplug participant (or one that left) appear:
  // publishes the firmware instance, or attaches the driver and appends it to
  // the parameters key; either way the platform raises the instance creation
  // event. False when `name` is no participant that may appear or it is
  // published already.
  bool Publish(const std::wstring& name);
  // Makes a published participant leave: withdraws the firmware instance, or
  // detaches the driver and takes it out of the parameters key (the entries
  // behind it move up); either way the platform raises the instance deletion
  // event. False when `name` is not published.
  bool Withdraw(const std::wstring& name);
  bool IsPublished(const std::wstring& name) const;
  // The driver of a published registry-listed sensor writes `value` to its
  // notification value, as a driver reporting an event does. False for any
  // other name.
  bool NotifyDriver(const std::wstring& name, uint32_t value = 1);

  // The firmware raises a platform thermal event with `code` (0..65535) on
  // sensor `name`, as a timeline event does. Nothing before Install.
  void RaiseThermalEvent(const std::wstring& name, int32_t code);
  // Waits until every firmware event raised so far (thermal events, and the
  // arrivals and departures of Publish and Withdraw) has been handed to the
  // library's event sinks, which run on threads of the platform's own. False
  // when `timeoutMs` passed first.
  bool WaitDelivered(int timeoutMs);

  // The scripted events in the order they are due.
  const std::vector<SimTimelineEvent>& Timeline() const { return mTimeline; }
  // Plays, in order, every timeline event due at or before `elapsedMs` after
  // Install that was not played yet, moving the clock to each one's time
  // first and then to `elapsedMs`. Returns the events played.
  std::vector<SimTimelineEvent> PlayUntil(uint64_t elapsedMs);
  // When the next unplayed event is due (ms after Install); none when all
  // were played.
  std::optional<uint64_t> NextDue() const;
  // Milliseconds the clock moved since Install (by Step and PlayUntil).
  uint64_t ElapsedMs() const { return mElapsedMs; }

  // Advances the model and the clock by one step.
  void Step();
  // The model's temperature of a sensor in tenths of kelvin (a fixed-reading
  // sensor: its last reading); 0 for an unknown name.
  int32_t Temperature(const std::wstring& name) const;
  // From now on the sensor reports 255.0 degrees Celsius (or, when `faulty`
  // is false, the model's value again). False for an unknown name.
  bool SetFaulty(const std::wstring& name, bool faulty);
  // The throttle state a device holds on the platform.
  uint32_t ThrottleState(const std::wstring& name) const;

 private:
  CSimHandheld();
  friend class CHandheldReader;

  // The steps of Install.
  void InstallRegistryDrivers();
  void WriteRegistryValues();
  void LinkCoolers();
  void AttachSensorDriver(const _tagSHandheldParticipant& sensor);
  void AttachDeviceDriver(const _tagSHandheldParticipant& device);
  void PublishFirmware(const _tagSHandheldParticipant& participant, bool sensor);
  void AppendToParameters(const _tagSHandheldParticipant& participant, bool sensor);
  void WriteParameters(bool sensor);
  void RaiseRegistryInstanceEvent(bool created, const std::wstring& name, bool sensor);
  void Play(const SimTimelineEvent& event);
  void AdvanceTo(uint64_t elapsedMs);
  void Report(const _tagSHandheldParticipant& sensor);

  std::string mName;
  int32_t mVelmarStatus = 1;
  uint32_t mStepSeconds = 5;
  int32_t mAmbient = 2982;
  std::vector<_tagSHandheldParticipant> mDevices;
  std::vector<_tagSHandheldParticipant> mSensors;
  std::vector<_tagSHandheldRegistryValue> mRegistry;
  std::vector<SimTimelineEvent> mTimeline;

  std::shared_ptr<CSimPlatform> mPlatform;
  std::map<std::wstring, std::shared_ptr<CSimSensorDriver>> mSensorDrivers;
  std::map<std::wstring, std::shared_ptr<CSimDeviceDriver>> mDeviceDrivers;
  std::map<std::wstring, bool> mPublished;
  std::map<std::wstring, int32_t> mTemps;
  std::map<std::wstring, bool> mFaulty;
  // Per sensor (by index), the indexes of the devices that cool it.
  std::vector<std::vector<std::size_t>> mCoolers;
  // The registry-listed participants in the parameters key, in order.
  std::vector<std::wstring> mListedSensors;
  std::vector<std::wstring> mListedDevices;
  std::size_t mPlayed = 0;  // timeline events played
  uint64_t mElapsedMs = 0;
};
