// zivo demo: a host's tour of the library on the simulated handheld. It goes
// through the start-up, shows the participants with their links and policy,
// heats the machine for a few refreshes, throttles, writes trip points, adds
// and removes a participant at run time and lets a sensor turn faulty, which
// makes the library ask for a shutdown that the simulated power only records,
// and ends with the events a host's listener receives.
//
// Each step checks what the library answered; the exit status is 0 when
// every check held. Time is the simulated clock's, so the tour takes no
// real time.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <optional>
#include <tuple>

#include "Commands.h"
#include "DemoReport.h"
#include "HostSession.h"
#include "OptionReader.h"
#include "ParticipantView.h"
#include "PlatformOption.h"
#include "StatusText.h"
#include "TextTable.h"
#include "zivorivizo-sim/SimHandheld.h"
#include "zivorivizo-sim/SimPower.h"
#include "zivorivizo/OSConfigMgr.h"
#include "zivorivizo/OSEventManager.h"
#include "zivorivizo/OSParticipantMgr.h"
#include "zivorivizo/Platform.h"
#include "zivorivizo/StatusCodes.h"
#include "zivorivizo/Text.h"

namespace {

const char kConfigName[] = "velmarconfig.xml";
constexpr int kHeatingSteps = 5;
constexpr int kCoolingSteps = 4;

// The example policy: beside the program (build/zivo -> docs/), in the
// source tree this file was built from, or under the working folder.
std::string FindExampleConfig() {
  std::vector<std::filesystem::path> candidates;
  std::error_code error;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) {
    candidates.push_back(self.parent_path().parent_path() / "docs" / kConfigName);
    // Installed: PREFIX/bin/zivo and PREFIX/share/zivorivizo/examples.
    candidates.push_back(self.parent_path().parent_path() / "share" / "zivorivizo" / "examples" /
                         kConfigName);
  }
  // The source tree this zivo was built from, named by the build as an
  // absolute path: a build folder outside the tree (or a compiler told to
  // shorten file names) leaves the other candidates without it.
  candidates.push_back(std::filesystem::path(ZIVO_SOURCE_DOCS) / kConfigName);
  candidates.push_back(std::filesystem::path("docs") / kConfigName);
  for (const auto& candidate : candidates) {
    if (std::filesystem::is_regular_file(candidate, error)) {
      return candidate.lexically_normal().string();
    }
  }
  return "";
}

std::string ClockText(uint32_t utcSeconds) {
  const std::time_t time = utcSeconds;
  std::tm parts{};
  gmtime_r(&time, &parts);
  char text[16];
  std::strftime(text, sizeof text, "%H:%M:%S", &parts);
  return text;
}

std::string Quoted(const std::wstring& name) {
  return ToUtf8(name);
}

class CDemo {
 public:
  CDemo(PlatformOptions options, std::string reportFile, ChosenPlatform& chosen)
      : mOptions(std::move(options)),
        mReportFile(std::move(reportFile)),
        mChosen(chosen),
        mHandheld(*chosen.handheld) {}

  int Run() {
    std::printf("ZIVORIVIzo demo: a host on the %s\n", mChosen.description.c_str());
    std::printf("Time runs on the simulated clock: one step is %u s of the machine's life.\n",
                mHandheld.StepSeconds());
    AnnounceSkippedChapters();
    if (!StartUp()) {
      return Summary();
    }
    ShowParticipants();
    if (mHasSkin) {
      HeatUp();
    }
    if (mHasSkin && mHasFan) {
      Throttle();
    }
    if (mHasSkin) {
      TripPoints();
    }
    RunTimeParticipants();
    if (mHasSensor) {
      FaultySensor();
    }
    Events();
    Report();
    return Summary();
  }

 private:
  // A handheld described in a file may lack what a chapter shows: say so
  // before the tour starts, and leave that chapter out.
  void AnnounceSkippedChapters() {
    for (const auto& sensor : mHandheld.Sensors()) {
      if (!sensor.hotplug) {
        mHasSensor = true;
        mHasSkin = mHasSkin || sensor.type == ZIVO_SKIN_SENSOR_CLASS;
      }
    }
    for (const auto& device : mHandheld.Devices()) {
      mHasFan = mHasFan || (!device.hotplug && device.type == ZIVO_ACTIVE_DEVICE_CLASS);
    }
    if (!mHasSkin) {
      std::printf("This handheld has no skin sensor (type 1): chapters 3, 4 and 5 are skipped.\n");
    } else if (!mHasFan) {
      std::printf("This handheld has no active device (type 9): chapter 4 is skipped.\n");
    }
    if (!mHasSensor) {
      std::printf("This handheld has no sensor: chapter 7 is skipped.\n");
    }
  }

  void Section(int number, const char* title) {
    std::string heading = std::to_string(number) + ". " + title;
    std::printf("\n%s\n%s\n", heading.c_str(), std::string(DisplayWidth(heading), '-').c_str());
  }

  // Records the outcome of one expectation; a failed one is printed at once.
  bool Check(bool held, const std::string& what) {
    ++mChecks;
    if (!held) {
      mFailures.push_back(what);
      std::printf("  !! not as expected: %s\n", what.c_str());
    }
    return held;
  }

  static std::string Result(int code) {
    return std::to_string(code) + " (" + StatusText(code) + ")";
  }

  COSParticipantManager& Manager() { return mSession.Manager(); }

  bool StartUp() {
    Section(1, "Start-up");
    CTextTable table;
    table.AddColumn("Step");
    table.AddColumn("Outcome");
    table.AddRow({"InitLog", mOptions.logFile.empty() ? "log off (--log FILE keeps it)"
                                                      : "log kept in " + mOptions.logFile});
    std::string error;
    const bool started = mSession.Start(mOptions, error);
    if (!started) {
      table.AddRow({"COSParticipantManager::GetInstance", error});
      table.Print(stdout);
      Check(false, "the participant manager starts");
      return false;
    }
    table.AddRow({"COSParticipantManager::GetInstance",
                  "connected; the firmware has thermal management enabled"});
    const int config = mSession.ConfigResult();
    table.AddRow({"COSConfigManager::GetInstance",
                  mOptions.configFile.empty() ? "no policy file: built-in defaults"
                  : config == 0
                      ? "policy loaded from " + mOptions.configFile
                      : "policy NOT loaded from " + mOptions.configFile + ": built-in defaults"});
    std::vector<_tagSDevice> devices;
    std::vector<_tagSSensor> sensors;
    Manager().GetAllDevices(devices);
    Manager().GetAllSensors(sensors);
    table.AddRow({"COSParticipantManager::Enumerate",
                  Result(mSession.EnumerateResult()) + ": " + std::to_string(devices.size()) +
                      " devices, " + std::to_string(sensors.size()) + " sensors"});
    table.Print(stdout);
    Check(mOptions.configFile.empty() || config == 0, "the policy file loads");
    Check(mSession.EnumerateResult() == 0, "Enumerate returns 0");
    return true;
  }

  void ShowParticipants() {
    Section(2, "Participants, links and policy");
    CConfigManager* config = COSConfigManager::GetInstance(FromUtf8(mOptions.configFile));
    const ParticipantView view = ReadParticipants(Manager());

    CTextTable devices;
    devices.AddColumn("Device");
    devices.AddColumn("Type", CTextTable::Align::Right);
    devices.AddColumn("State", CTextTable::Align::Right);
    devices.AddColumn("Linked sensors");
    devices.AddColumn("Policy: limit/step/priority, in use, in shutdown");
    for (const DeviceView& device : view.devices) {
      _tagSDeviceConfig policy;
      policy.strPath = device.record.Name;
      std::string text = "-";
      if (config->GetDeviceConfig(policy) == 0) {
        text = std::to_string(policy.iThrottleLimit) + "/" + std::to_string(policy.iThrottleStep) +
               "/" + std::to_string(policy.iPriority) + ", " +
               (policy.iUsageEnable ? "yes" : "no") + ", " + (policy.iUsageShutdown ? "yes" : "no");
      }
      devices.AddRow(
          {Label(device.record.Name), std::to_string(device.record.Class),
           std::to_string(device.record.Current) + " of " + std::to_string(device.record.Max),
           JoinNames(device.linkedSensors), text});
    }
    std::printf("Devices\n");
    devices.Print(stdout);

    CTextTable sensors;
    sensors.AddColumn("Sensor");
    sensors.AddColumn("Type", CTextTable::Align::Right);
    sensors.AddColumn("Temperature", CTextTable::Align::Right);
    sensors.AddColumn("Linked devices");
    sensors.AddColumn("Policy: throttle from, shut down at");
    for (const SensorView& sensor : view.sensors) {
      _tagSSensorConfig policy;
      policy.strName = sensor.record.Name;
      policy.iClass = static_cast<int>(sensor.record.Class);
      std::string text = "-";
      if (config->GetSensorConfig(policy) == 0) {
        text = Celsius(policy.iThrottleStartTemp) + ", " + Celsius(policy.iShutdownTemp);
      }
      const _tagSTempSample* newest = NewestSample(sensor.record);
      sensors.AddRow({Label(sensor.record.Name), std::to_string(sensor.record.Class),
                      newest ? Temperature(newest->Temp) : "no reading",
                      JoinNames(sensor.linkedDevices), text});
      if (sensor.record.Class == ZIVO_SKIN_SENSOR_CLASS && mSkin.empty()) {
        mSkin = sensor.record.Name;
      }
    }
    std::printf("\nSensors\n");
    sensors.Print(stdout);

    _tagSPlatformConfig platform;
    config->GetPlatformConfig(platform);
    std::printf("\nPlatform policy: when too hot, %s (timer %d); throttling preference %s.\n",
                platform.iShutdownOption ? "hibernate" : "shut down", platform.iShutdownTimer,
                platform.iThrottlePreference ? "active" : "passive");
    std::vector<_tagSDevice> active;
    Manager().GetActiveDevices(active);
    std::vector<std::wstring> activeNames;
    for (const _tagSDevice& device : active) {
      activeNames.push_back(device.Name);
    }
    std::printf("Active devices (type 9): %s\n", JoinNames(activeNames).c_str());
    for (const _tagSDevice& device : active) {
      mFans.push_back(device.Name);
    }

    Check(!view.devices.empty() && !view.sensors.empty(), "participants were discovered");
    Check(!mHasSkin || !mSkin.empty(), "the skin sensor (type 1) is discovered");
    Check(!mHasFan || !mFans.empty(), "the active device (type 9) is discovered");
    bool linked = false;
    for (const SensorView& sensor : view.sensors) {
      linked = linked || !sensor.linkedDevices.empty();
    }
    Check(linked, "sensors are linked to devices");
  }

  // A sensor's name with the handheld's label, for people.
  std::string Label(const std::wstring& name) {
    const _tagSHandheldParticipant* p = mHandheld.FindSensor(name);
    p = p ? p : mHandheld.FindDevice(name);
    return p && !p->label.empty() ? Quoted(name) + " (" + p->label + ")" : Quoted(name);
  }

  // One step of the load model, then a refresh of every sensor as a host
  // polling them would do; one row per step.
  void Steps(int count, CTextTable& table, const std::vector<std::wstring>& names) {
    for (int i = 0; i < count; ++i) {
      mHandheld.Step();
      ++mStep;
      std::vector<std::string> row = {
          std::to_string(mStep),
          ClockText(static_cast<uint32_t>(mChosen.platform->Clock().UtcSeconds()))};
      for (const std::wstring& name : names) {
        const int refreshed = Manager().RefreshSensor(name);
        _tagSSensor record;
        Manager().GetSensor(name, record);
        const _tagSTempSample* newest = NewestSample(record);
        row.push_back(refreshed == 0 && newest ? Temperature(newest->Temp)
                                               : "error " + std::to_string(refreshed));
        Check(refreshed == 0, "RefreshSensor of " + Quoted(name) + " returns 0");
      }
      table.AddRow(std::move(row));
    }
  }

  CTextTable TemperatureTable(std::vector<std::wstring>& names) {
    std::vector<_tagSSensor> sensors;
    Manager().GetAllSensors(sensors);
    CTextTable table;
    table.AddColumn("Step", CTextTable::Align::Right);
    table.AddColumn("Time (UTC)");
    for (const _tagSSensor& sensor : sensors) {
      names.push_back(sensor.Name);
      const _tagSHandheldParticipant* p = mHandheld.FindSensor(sensor.Name);
      table.AddColumn(p && !p->label.empty() ? p->label : Quoted(sensor.Name),
                      CTextTable::Align::Right);
    }
    return table;
  }

  void HeatUp() {
    Section(3, "The machine heats up");
    std::printf("Each step the load model heats the sensors; the host refreshes every sensor.\n");
    std::vector<std::wstring> names;
    CTextTable table = TemperatureTable(names);
    Steps(kHeatingSteps, table, names);
    table.Print(stdout);

    _tagSSensor skin;
    Manager().GetSensor(mSkin, skin);
    std::printf("\nHistory of the skin sensor %s, newest first (TempHistory):\n",
                Quoted(mSkin).c_str());
    CTextTable history;
    history.AddColumn("#", CTextTable::Align::Right);
    history.AddColumn("Temperature", CTextTable::Align::Right);
    history.AddColumn("TimeStamp", CTextTable::Align::Right);
    history.AddColumn("Time (UTC)");
    for (std::size_t i = 0; i < skin.TempHistory.size(); ++i) {
      const _tagSTempSample& sample = skin.TempHistory[i];
      const bool empty = sample.Temp == 0 && sample.TimeStamp == 0;
      history.AddRow({std::to_string(i), empty ? "(initial zero sample)" : Temperature(sample.Temp),
                      std::to_string(sample.TimeStamp), empty ? "-" : ClockText(sample.TimeStamp)});
    }
    history.Print(stdout);
    Check(skin.TempHistory.size() >= 2 && skin.TempHistory[0].Temp > skin.TempHistory[1].Temp,
          "the skin sensor's newest sample is warmer than the one before");
    mSkinBeforeThrottle = skin.TempHistory.empty() ? 0 : skin.TempHistory[0].Temp;
  }

  void Throttle() {
    Section(4, "Throttling the fans");
    _tagSSensorConfig skinPolicy;
    skinPolicy.strName = mSkin;
    skinPolicy.iClass = static_cast<int>(ZIVO_SKIN_SENSOR_CLASS);
    COSConfigManager::GetInstance(FromUtf8(mOptions.configFile))->GetSensorConfig(skinPolicy);
    std::printf("The skin sensor is at %s; its policy starts throttling at %s.\n",
                Celsius(mSkinBeforeThrottle).c_str(),
                Celsius(skinPolicy.iThrottleStartTemp).c_str());
    std::printf(
        "The platform prefers active cooling: every active device goes to full throttle.\n");
    CTextTable table;
    table.AddColumn("Call");
    table.AddColumn("Result");
    table.AddColumn("Record");
    table.AddColumn("Simulated device");
    for (const std::wstring& name : mFans) {
      _tagSDevice fan;
      Manager().GetDevice(name, fan);
      fan.Current = fan.Max;
      const int set = Manager().SetDevice(fan);
      table.AddRow({"SetDevice(" + Label(name) + ", Current " + std::to_string(fan.Current) + ")",
                    Result(set), "-", "-"});
      _tagSDevice back;
      const int got = Manager().GetDevice(name, back);
      const uint32_t held = mHandheld.ThrottleState(name);
      table.AddRow({"GetDevice(" + Quoted(name) + ")", Result(got),
                    "Current " + std::to_string(back.Current) + " of " + std::to_string(back.Max) +
                        ", Valid " + std::to_string(back.Valid),
                    "holds state " + std::to_string(held)});
      Check(set == 0 && got == 0 && back.Current == fan.Max && back.Valid == 1 && held == fan.Max,
            "the throttle state set on " + Quoted(name) + " reaches it and is read back");
    }
    table.Print(stdout);

    std::printf(
        "\nWith the fans at full throttle the sensors they cool heat more slowly or cool down:\n");
    std::vector<std::wstring> names;
    CTextTable temperatures = TemperatureTable(names);
    Steps(kCoolingSteps, temperatures, names);
    temperatures.Print(stdout);
    _tagSSensor skin;
    Manager().GetSensor(mSkin, skin);
    Check(!skin.TempHistory.empty() && skin.TempHistory[0].Temp <= mSkinBeforeThrottle,
          "the skin sensor does not heat further once the fans throttle");
  }

  void TripPoints() {
    Section(5, "Trip points of the skin sensor");
    _tagSSensor skin;
    Manager().GetSensor(mSkin, skin);
    std::printf("GetSensor: %s\n", TripText(skin.TripPoints).c_str());
    _tagSSensor wanted = skin;
    for (std::size_t i = 0; i < wanted.TripPoints.size(); ++i) {
      // Two degrees lower: the policy wants to act earlier.
      wanted.TripPoints[i].Temp = static_cast<uint16_t>(wanted.TripPoints[i].Temp - 20);
    }
    const int set = Manager().SetSensor(wanted);
    std::printf("SetSensor: %s -> %s\n", TripText(wanted.TripPoints).c_str(), Result(set).c_str());
    _tagSSensor back;
    Manager().GetSensor(mSkin, back);
    std::printf("GetSensor: %s (read back from the firmware)\n", TripText(back.TripPoints).c_str());
    bool same = back.TripPoints.size() == wanted.TripPoints.size() && !back.TripPoints.empty();
    for (std::size_t i = 0; same && i < back.TripPoints.size(); ++i) {
      same = back.TripPoints[i].AuxType == wanted.TripPoints[i].AuxType &&
             back.TripPoints[i].Temp == wanted.TripPoints[i].Temp;
    }
    Check(set == 0 && same, "the trip points written are read back");
  }

  static std::string TripText(const std::vector<_tagSAuxTrip>& trips) {
    std::string text;
    for (const _tagSAuxTrip& trip : trips) {
      text += (text.empty() ? "" : ", ") + std::string("aux ") + std::to_string(trip.AuxType) +
              " at " + Temperature(trip.Temp);
    }
    return text.empty() ? "no trip points" : text;
  }

  void RunTimeParticipants() {
    Section(6, "A participant arrives and leaves");
    std::vector<const _tagSHandheldParticipant*> hotplug;
    for (const auto& device : mHandheld.Devices()) {
      if (device.hotplug) hotplug.push_back(&device);
    }
    for (const auto& sensor : mHandheld.Sensors()) {
      if (sensor.hotplug) hotplug.push_back(&sensor);
    }
    if (hotplug.empty()) {
      std::printf("The handheld holds no hotplug participant back.\n");
      return;
    }
    CTextTable table;
    table.AddColumn("Call");
    table.AddColumn("Result");
    table.AddColumn("Links");
    for (const _tagSHandheldParticipant* p : hotplug) {
      const bool sensor = mHandheld.FindSensor(p->name) != nullptr;
      mHandheld.Publish(p->name);
      const int added = sensor ? Manager().AddSensor(p->name) : Manager().AddDevice(p->name);
      const auto links =
          sensor ? LinkedDevicesOf(Manager(), p->name) : LinkedSensorsOf(Manager(), p->name);
      table.AddRow({std::string(sensor ? "AddSensor(" : "AddDevice(") + Label(p->name) + ")",
                    Result(added), JoinNames(links)});
      Check(added == 0, "adding " + Quoted(p->name) + " returns 0");
    }
    const _tagSHandheldParticipant* first = hotplug.front();
    const bool firstSensor = mHandheld.FindSensor(first->name) != nullptr;
    const int again =
        firstSensor ? Manager().AddSensor(first->name) : Manager().AddDevice(first->name);
    table.AddRow(
        {std::string(firstSensor ? "AddSensor(" : "AddDevice(") + Quoted(first->name) + ") again",
         Result(again), "-"});
    Check(again == (firstSensor ? ZIVO_SENSOR_EXISTS : ZIVO_DEVICE_EXISTS),
          "adding a participant twice is refused");
    for (auto it = hotplug.rbegin(); it != hotplug.rend(); ++it) {
      const bool sensor = mHandheld.FindSensor((*it)->name) != nullptr;
      const auto links = sensor ? LinkedDevicesOf(Manager(), (*it)->name)
                                : LinkedSensorsOf(Manager(), (*it)->name);
      const int removed =
          sensor ? Manager().RemoveSensor((*it)->name) : Manager().RemoveDevice((*it)->name);
      table.AddRow(
          {std::string(sensor ? "RemoveSensor(" : "RemoveDevice(") + Quoted((*it)->name) + ")",
           Result(removed), "taken apart: " + JoinNames(links)});
      Check(removed == 0, "removing " + Quoted((*it)->name) + " returns 0");
    }
    const int gone = Manager().RemoveDevice(L"no such device");
    table.AddRow({"RemoveDevice(\"no such device\")", Result(gone), "-"});
    Check(gone == ZIVO_DEVICE_NOT_FOUND, "removing an unknown device returns 101");
    table.Print(stdout);
  }

  void FaultySensor() {
    Section(7, "A sensor turns faulty");
    std::wstring victim;
    for (const auto& sensor : mHandheld.Sensors()) {
      if (!sensor.hotplug && sensor.name != mSkin && (victim.empty() || !sensor.firmware)) {
        victim = sensor.name;
      }
    }
    if (victim.empty()) {
      victim = mSkin;
    }
    mHandheld.SetFaulty(victim, true);
    std::printf("%s now reports 255.0 °C, the reading of a broken sensor.\n",
                Label(victim).c_str());
    const int refreshed = Manager().RefreshSensor(victim);
    _tagSSensor record;
    Manager().GetSensor(victim, record);
    const _tagSTempSample* newest = NewestSample(record);
    const int32_t temperature = newest ? newest->Temp : 0;
    std::printf("RefreshSensor -> %s; the newest sample is %s\n", Result(refreshed).c_str(),
                Temperature(temperature).c_str());
    const auto shutdowns = mChosen.power->Shutdowns();
    std::printf(
        "\nShutdown requests the library made (recorded by the simulated power, never "
        "carried out): %zu\n",
        shutdowns.size());
    for (const _tagSPowerRequest& request : shutdowns) {
      std::printf("  countdown %u s, force %s, reboot %s\n  message: \"%s\"\n",
                  request.timeoutSeconds, request.force ? "yes" : "no",
                  request.reboot ? "yes" : "no", ToUtf8(request.message).c_str());
    }
    mShutdowns = shutdowns.size();
    Check(temperature >= ZIVO_FAULTY_TEMPERATURE, "the faulty reading reaches the host");
    Check(!shutdowns.empty() && shutdowns.front().timeoutSeconds == 60 && !shutdowns.front().reboot,
          "a faulty sensor makes the library ask for a shutdown in 60 s");
    mHandheld.SetFaulty(victim, false);
  }

  // A host's listener, as the library calls it: on the library's threads.
  class CDemoListener : public CEventListener {
   public:
    int ProcessEvent(VelmarEventListenerType kind, std::wstring name, int eventId, void*) override {
      std::lock_guard<std::mutex> hold(mLock);
      mHeard.push_back({kind, std::move(name), eventId});
      mArrived.notify_all();
      return 0;
    }
    // The next event not taken yet; none after a bounded wait.
    std::optional<std::tuple<VelmarEventListenerType, std::wstring, int>> Next() {
      std::unique_lock<std::mutex> lock(mLock);
      if (!mArrived.wait_for(lock, std::chrono::seconds(5),
                             [&] { return mTaken < mHeard.size(); })) {
        return std::nullopt;
      }
      return mHeard[mTaken++];
    }

   private:
    std::mutex mLock;
    std::condition_variable mArrived;
    std::vector<std::tuple<VelmarEventListenerType, std::wstring, int>> mHeard;
    std::size_t mTaken = 0;
  };

  static const char* KindName(VelmarEventListenerType kind) {
    switch (kind) {
      case THERMAL_EVENT:
        return "THERMAL_EVENT";
      case ADD_SENSOR_EVENT:
        return "ADD_SENSOR_EVENT";
      case REMOVE_SENSOR_EVENT:
        return "REMOVE_SENSOR_EVENT";
      case ADD_DEVICE_EVENT:
        return "ADD_DEVICE_EVENT";
      case REMOVE_DEVICE_EVENT:
        return "REMOVE_DEVICE_EVENT";
    }
    return "?";
  }

  // One happening and what the listener received for it.
  void Heard(CTextTable& table, CDemoListener& listener, const std::string& happened,
             VelmarEventListenerType kind, const std::wstring& name, int id) {
    const auto event = listener.Next();
    table.AddRow({happened, event ? std::string(KindName(std::get<0>(*event))) + ", " +
                                        Quoted(std::get<1>(*event)) + ", id " +
                                        std::to_string(std::get<2>(*event))
                                  : "nothing within 5 s"});
    Check(event && std::get<0>(*event) == kind && std::get<1>(*event) == name &&
              std::get<2>(*event) == id,
          "the listener receives " + std::string(KindName(kind)) + " for " + Quoted(name));
  }

  void Events() {
    Section(8, "Events a listener receives");
    // The hotplug participants leave quietly (no listener yet), so one can
    // arrive below.
    const _tagSHandheldParticipant* arriving = nullptr;
    for (const auto* list : {&mHandheld.Devices(), &mHandheld.Sensors()}) {
      for (const auto& participant : *list) {
        if (participant.hotplug) {
          mHandheld.Withdraw(participant.name);
          arriving = arriving ? arriving : &participant;
        }
      }
    }
    COSEventManager* events = COSEventManager::GetInstance();
    const int init = events->Init();
    CDemoListener listener;
    events->AddEventListener(&listener, static_cast<VelmarEventListenerType>(
                                            THERMAL_EVENT | ADD_SENSOR_EVENT | REMOVE_SENSOR_EVENT |
                                            ADD_DEVICE_EVENT | REMOVE_DEVICE_EVENT));
    std::printf("COSEventManager::Init -> %s; one listener added for all five kinds.\n",
                Result(init).c_str());
    Check(init == 0, "the event manager starts");
    CTextTable table;
    table.AddColumn("What happened");
    table.AddColumn("What the listener received (kind, name, id)");
    const std::wstring firmwareSensor = mSkin;
    mChosen.handheld->RaiseThermalEvent(firmwareSensor, 3);
    Heard(table, listener, "the firmware raises thermal event 3 on " + Label(firmwareSensor),
          THERMAL_EVENT, firmwareSensor, 3);
    for (const auto& sensor : mHandheld.Sensors()) {
      if (!sensor.firmware && mHandheld.NotifyDriver(sensor.name)) {
        Heard(table, listener, "the driver of " + Label(sensor.name) + " sets its notify value",
              THERMAL_EVENT, sensor.name, 1);
        break;
      }
    }
    if (arriving != nullptr) {
      const bool sensor = mHandheld.FindSensor(arriving->name) != nullptr;
      mHandheld.Publish(arriving->name);
      Heard(table, listener, Label(arriving->name) + " arrives",
            sensor ? ADD_SENSOR_EVENT : ADD_DEVICE_EVENT, arriving->name, 1);
      const int added =
          sensor ? Manager().AddSensor(arriving->name) : Manager().AddDevice(arriving->name);
      table.AddRow({std::string("the host calls ") + (sensor ? "AddSensor" : "AddDevice") +
                        " with the name heard",
                    Result(added)});
      Check(added == 0, "the participant heard arriving is added");
    }
    table.Print(stdout);
    events->RemoveEventListener(&listener, static_cast<VelmarEventListenerType>(31));
    // Waits for deliveries under way; the listener outlives it.
    COSEventManager::DeleteInstance();
  }

  // A recorded dry run of the policy on the same handheld, drawn as a page.
  void Report() {
    if (mReportFile.empty()) {
      return;
    }
    std::printf("\n9. A report of the policy at work\n---------------------------------\n");
    std::printf(
        "zivo run records a %d-second dry run of the policy on the handheld;\n"
        "zivo report draws it.\n",
        kDemoReportSeconds);
    std::string error;
    const bool written = WriteDemoReport(mOptions, mReportFile, error);
    if (!written) {
      std::printf("The report could not be written: %s\n", error.c_str());
    }
    Check(written, "the report of a recorded run is written");
  }

  int Summary() {
    std::printf("\nSummary\n-------\n");
    std::printf(
        "%d checks, %zu not as expected; %zu shutdown request(s) recorded, none carried "
        "out.\n",
        mChecks, mFailures.size(), mShutdowns);
    for (const std::string& failure : mFailures) {
      std::printf("  not as expected: %s\n", failure.c_str());
    }
    if (!mOptions.logFile.empty()) {
      std::printf("The library's log is in %s.\n", mOptions.logFile.c_str());
    }
    std::printf("%s\n", mFailures.empty() ? "Demo complete." : "Demo FAILED.");
    if (mReportFile.empty()) {
      std::printf("A report of the policy at work on this handheld: zivo demo --report FILE\n");
    } else {
      std::printf("A report of the policy at work on this handheld: %s\n", mReportFile.c_str());
    }
    return mFailures.empty() ? 0 : 1;
  }

  PlatformOptions mOptions;
  std::string mReportFile;
  ChosenPlatform& mChosen;
  CSimHandheld& mHandheld;
  CHostSession mSession;
  std::wstring mSkin;
  std::vector<std::wstring> mFans;  // the active devices
  bool mHasSkin = false;            // what the handheld holds, before the tour
  bool mHasFan = false;
  bool mHasSensor = false;
  int32_t mSkinBeforeThrottle = 0;
  int mStep = 0;
  int mChecks = 0;
  std::size_t mShutdowns = 0;
  std::vector<std::string> mFailures;
};

}  // namespace

int RunDemo(const ZivoArgs& given) {
  PlatformOptions options;
  options.platform = "sim";  // the demo's machine is the simulated handheld
  std::string error;
  std::string report;
  ZivoArgs args;
  COptionReader reader(given);
  while (reader.More()) {
    if (!reader.TakeValue("--report", report)) {
      args.push_back(reader.Skip());
    }
  }
  if (reader.Failed()) {
    std::fprintf(stderr, "zivo demo: %s\n", reader.Error().c_str());
    return 2;
  }
  if (!ParsePlatformOptions(args, options, error,
                            ZivoOffers::kPlatform | ZivoOffers::kConfig | ZivoOffers::kLog)) {
    std::fprintf(stderr, "zivo demo: %s\n", error.c_str());
    return 2;
  }
  if (options.help) {
    std::printf(
        "usage: zivo demo [--config FILE] [--log FILE] [--platform sim|sim:FILE]\n"
        "                 [--report FILE]\n\n"
        "Walks through what a host sees on the simulated handheld: start-up, the\n"
        "participants with their links and policy, temperatures while the machine\n"
        "heats, throttling, trip points, a participant added and removed at run time,\n"
        "and a faulty sensor whose shutdown request is recorded, never carried out.\n\n"
        "  --config FILE   the thermal policy (default: the example policy,\n"
        "                  docs/velmarconfig.xml, or share/zivorivizo/examples once installed)\n"
        "  --log FILE      keep the library's log in FILE\n"
        "  --report FILE   also record a 10-minute dry run of the policy on the\n"
        "                  handheld and draw it in FILE (as zivo report does)\n"
        "  --platform ...  sim (the embedded handheld) or sim:FILE\n");
    return 0;
  }
  if (options.platform != "sim") {
    std::fprintf(stderr, "zivo demo: the demo runs on the simulated handheld only\n");
    return 2;
  }
  if (!options.operands.empty()) {
    std::fprintf(stderr, "zivo demo: unexpected argument \"%s\"\n", options.operands[0].c_str());
    return 2;
  }
  if (options.configFile.empty()) {
    options.configFile = FindExampleConfig();
  }
  ChosenPlatform chosen;
  if (!InstallChosenPlatform(options, chosen, error)) {
    std::fprintf(stderr, "zivo demo: %s\n", error.c_str());
    return 1;
  }
  return CDemo(options, report, chosen).Run();
}
