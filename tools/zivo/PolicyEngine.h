// The policy engine of zivo run: from the participant records and the
// thermal policy it decides, sensor by sensor, which device to throttle one
// step further or to release one step, and when the machine must shut down or
// hibernate. It is driven by the command (or a test) and knows nothing of the
// command line, the clock or the events.
//
// The rules, for each sensor that the policy manages (it has a record whose
// usage is enabled), at each fresh reading:
// - at or above its iThrottleStartTemp, the first of its devices (in the
//   order below) that is below its limit goes up by iThrottleStep, capped at
//   the smaller of iThrottleLimit and the device's max_state read just now:
//   one step per evaluation, so the throttle grows while the sensor stays hot;
// - below iThrottleStartTemp minus kHysteresis (its release temperature) the
//   last of its devices that run raised goes down by one step, never below
//   the state run found there (DeviceLedger.h), and only when every managed
//   sensor that uses the device is below its own release temperature: a
//   sensor in its hold band (between the two temperatures) or hot, or one
//   without a fresh reading, holds the device, whatever the order the
//   sensors are read in. A device goes down at most one step per evaluation;
// - at or above iShutdownTemp, the platform option: hibernate
//   (iShutdownOption 1) or shut down after iShutdownTimer seconds, confirmed
//   and asked once as CPowerGuard decides.
// Only the sensors it manages are read and evaluated: those with a record in
// the policy whose usage is enabled. An evaluation reads the sensor's
// temperature (GetCurrentTemperature), nothing else of it. EvaluateAll lists
// the sensors (GetAllSensors) once, and again whenever the library's sensor
// list has changed since (SensorListEdits).
// A sensor whose reading failed is not evaluated: a "warning" decision says
// why. After FailSafeAfter failures in a row its devices go to their limit
// ("failsafe"); once it reads again the rules above apply and release them
// step by step.
// A sensor's devices are its linked devices; a skin sensor also takes the
// devices linked to no sensor. Only devices whose record enables their usage
// take part. They are ordered by ascending iPriority (0 first); with the
// active preference (iThrottlePreference 1) the active devices (type 9) come
// before all others.
//
// In a dry run nothing is written and no power action is taken: the ledger
// remembers the state each device would hold, so the decisions go on as if
// they had been carried out. With apply, a device's state is read before each
// decision and the ledger told of a state someone else set. The engine does
// not own the managers; they must outlive it. Not thread-safe: one thread
// drives it.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <ranges>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "DecisionCause.h"
#include "DeviceLedger.h"
#include "zivorivizo/ConfigRecords.h"
#include "zivorivizo/ParticipantRecords.h"

class CParticipantMgr;
class CConfigManager;
class CPowerGuard;

struct PolicyDecision {
  // "throttle", "release", "hibernate", "shutdown", "cancel" (a scheduled
  // shutdown taken back), "pending" (a power action awaiting confirmation),
  // "failsafe" (a device to its limit), "warning" (no fresh reading) or
  // "recovered" (readings back)
  std::string action;
  DecisionCause cause = DecisionCause::None;
  std::wstring sensor;  // the sensor whose temperature decided
  int temperature = 0;  // its temperature, tenths of kelvin
  int threshold = 0;    // the temperature it was compared with
  std::wstring device;  // throttle and release only
  uint32_t from = 0;    // the device's state before, and after
  uint32_t to = 0;
  std::string record;           // the policy record(s) that applied, in words
  std::optional<uint32_t> rpm;  // a fan's speed when decided, where it has a tachometer
  bool applied = false;
  int status = 0;    // the library's answer; for power, 0 when the platform accepted
  std::string note;  // warning, failsafe, recovered: the reason in words
  // Power only: the reason in full; the platform's error when it refused;
  // whether the library asked by itself; whether a shutdown already pending
  // was left as it stood.
  std::string reason;
  std::string errorName;
  std::string errorMessage;
  bool byLibrary = false;
  bool alreadyScheduled = false;
};

class CPolicyEngine {
 public:
  // Tenths of kelvin below the start temperature before a step is released.
  static constexpr int kHysteresis = 20;

  // `system` is asked for the power actions when `apply` is true.
  CPolicyEngine(CParticipantMgr& participants, CConfigManager& config, CPowerGuard& power,
                bool apply);

  // Failed readings in a row before a sensor's devices go to their limit.
  void SetFailSafeAfter(int count) { mFailSafeAfter = count; }
  // How to read a device's max_state now; without one the record's Max.
  void SetMaxReader(std::function<std::optional<uint32_t>(const std::wstring&)> read) {
    mReadMax = std::move(read);
  }
  // How to read a sensor's chip critical limit (tenths of a Kelvin); at or
  // above it the sensor's fans go to their limit whatever the policy says.
  void SetCriticalReader(std::function<std::optional<int32_t>(const std::wstring&)> read) {
    mReadCritical = std::move(read);
  }
  // How to read a fan's speed (RPM); without one no decision shows it.
  void SetRpmReader(std::function<std::optional<uint32_t>(const std::wstring&)> read) {
    mReadRpm = std::move(read);
  }
  // What was written to each device; its save callback keeps the record.
  CDeviceLedger& Ledger() { return mLedger; }

  // What the last evaluation of a managed sensor read: its temperature
  // (tenths of kelvin), or the status of the reading that failed.
  struct Reading {
    std::optional<int> temperature;
    int status = 0;
  };
  // Each managed sensor's last reading by name, as (name, reading) pairs: a
  // view of the engine's own entries, good until its next evaluation.
  auto Readings() const {
    return mTracked | std::views::transform([](const auto& entry) {
             return std::pair<const std::wstring&, const Reading&>(entry.first,
                                                                   entry.second.reading);
           });
  }
  // A device that a managed sensor uses, as run sees it now: the state it
  // holds (in a dry run, the one it would hold), its max_state (read now
  // where a reader is set) and a fan's speed.
  struct DeviceNow {
    uint32_t state = 0;
    uint32_t max = 0;
    std::optional<uint32_t> rpm;
  };
  std::map<std::wstring, DeviceNow> Devices();
  // A managed sensor's throttle start and shutdown temperatures (tenths of
  // kelvin) from its record; false when the policy does not manage it.
  bool Thresholds(const std::wstring& sensor, int& start, int& shutdown);
  // The devices a managed sensor throttles, in the order it would raise
  // them; none when the policy does not manage it.
  std::vector<std::wstring> DevicesUsedBy(const std::wstring& sensor);

  // Reads every managed sensor and decides for each.
  std::vector<PolicyDecision> EvaluateAll();
  // True when the policy has a record for the sensor with its usage on.
  bool Manages(const std::wstring& sensor);
  // The sensors the policy does not manage.
  std::vector<std::wstring> Unmanaged();
  // Reads one sensor and decides for it (a thermal event).
  std::vector<PolicyDecision> EvaluateSensor(const std::wstring& name);
  // A participant that left: whatever the engine remembered of it goes.
  void Forget(const std::wstring& name);

 private:
  // The position of a sensor that is read by name.
  static constexpr std::size_t kUnlisted = SIZE_MAX;
  enum class Band { Cool, Hold, Hot, Stale };
  struct Candidate {
    std::wstring name;
    uint32_t current = 0;
    uint32_t limit = 0;
    uint32_t step = 1;
    bool active = false;  // a fan
    std::string record;
  };
  // What the engine keeps of a managed sensor between evaluations: its last
  // reading and the band it put the sensor in. Both sit in one entry, as
  // every evaluation writes both.
  struct Tracked {
    Reading reading;
    Band band = Band::Cool;
  };
  // A sensor as listed: what an evaluation needs of its record, and where
  // its entry in mTracked is, found once by name. That is good while
  // mErasures is what it was when it was found: inserting moves no entry,
  // erasing one is counted. What every evaluation reads fills the first
  // cache line, the record's name and numbers the second.
  struct Listed {
    // The policy's answer (recordStatus) when its records were at
    // recordEdits, asked again once they change.
    std::optional<uint64_t> recordEdits;
    // Where EvaluateAll's listing had it, read by position while the list
    // stands as listed; kUnlisted for a sensor read by name (one evaluated
    // on its own, a namesake of an earlier one).
    std::size_t position = kUnlisted;
    uint64_t erasures = 0;
    Tracked* tracked = nullptr;
    int recordStatus = 0;
    uint32_t sensorClass = 0;
    bool hasHistory = false;  // its record held a temperature when listed
    // The sensor's record in the policy: strName is the sensor's name, set
    // when listed; the rest is what the policy answered. Its alignment puts
    // it at the start of the second line, and the whole entry at a line's.
    alignas(64) _tagSSensorConfig record;
  };
  static Listed ListedOf(const _tagSSensor& record);
  // The sensor's record, when the policy manages it.
  bool ManagedRecord(const std::wstring& sensor, _tagSSensorConfig& record);
  // Reads a managed sensor's temperature and decides for it; an unmanaged
  // one is not read at all.
  void Evaluate(Listed& sensor, std::vector<PolicyDecision>& out);
  void Decide(const std::wstring& sensor, int temperature, const _tagSSensorConfig& record,
              const _tagSPlatformConfig& platform, Band& band, std::vector<Candidate>& devices,
              std::vector<PolicyDecision>& out);
  // A fan whose state should make it turn but that reads stopped gets one
  // kick to its limit per stop episode, with a warning.
  void KickStopped(const std::wstring& sensor, const _tagSSensorConfig& record,
                   std::vector<Candidate>& devices, std::vector<PolicyDecision>& out);
  void Stale(const std::wstring& sensor, int status, const _tagSSensorConfig& record, Band& band,
             std::vector<Candidate>& devices, std::vector<PolicyDecision>& out);
  std::vector<Candidate> DevicesOf(const std::wstring& sensor, const _tagSSensorConfig& record,
                                   const _tagSPlatformConfig& platform);
  // The sensor no longer holds any device.
  void DropSensor(const std::wstring& sensor);
  // True when every managed sensor that uses `device` is below its release
  // temperature.
  bool AllUsersCool(const std::wstring& device) const;
  void Set(Candidate& device, uint32_t to, PolicyDecision& decision);

  CParticipantMgr& mParticipants;
  CConfigManager& mConfig;
  CPowerGuard& mPower;
  bool mApply;
  int mFailSafeAfter = 3;
  std::function<std::optional<uint32_t>(const std::wstring&)> mReadMax;
  std::function<std::optional<int32_t>(const std::wstring&)> mReadCritical;
  std::function<std::optional<uint32_t>(const std::wstring&)> mReadRpm;
  std::set<std::wstring> mStopped;  // fans kicked in their current stop episode
  CDeviceLedger mLedger;
  std::unordered_map<std::wstring, int> mFailures;        // failed readings in a row
  std::map<std::wstring, std::set<std::wstring>> mUsers;  // device -> its sensors
  std::set<std::wstring> mReleased;                       // devices lowered in this evaluation
  std::map<std::wstring, Tracked> mTracked;               // each managed sensor's reading, band
  std::vector<Listed> mListed;  // the sensors as EvaluateAll listed them last
  // The library's SensorListEdits when they were listed; none yet: the
  // count never reaches this.
  uint64_t mListEdits = UINT64_MAX;
  // The platform's record as the policy answered it at mPlatformEdits.
  _tagSPlatformConfig mPlatform;
  std::optional<uint64_t> mPlatformEdits;
  uint64_t mErasures = 1;  // entries erased from mTracked, plus one
};
