// A minimal thermal host: installs the Linux platform on a sysfs tree,
// discovers the participants, reads the temperatures, registers a listener
// and applies one step of the policy to the devices of a sensor that runs
// hot. It writes nothing unless --apply is given.
//
//   zivo-example-host SYSFS_ROOT POLICY.xml [--apply]
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "zivorivizo/zivorivizo.h"

namespace {

std::string Narrow(const std::wstring& wide) {
  return std::string(wide.begin(), wide.end());
}

std::wstring Wide(const std::string& narrow) {
  return std::wstring(narrow.begin(), narrow.end());
}

// Called on the library's threads: it only counts and prints.
class CPrintingListener : public CEventListener {
 public:
  using CEventListener::CEventListener;
  int ProcessEvent(VelmarEventListenerType kind, std::wstring name, int eventId, void*) override {
    std::printf("event %d for %s (%d)\n", static_cast<int>(kind), Narrow(name).c_str(), eventId);
    return 0;
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s SYSFS_ROOT POLICY.xml [--apply]\n", argv[0]);
    return 2;
  }
  const bool apply = argc > 3 && std::strcmp(argv[3], "--apply") == 0;

  // 1. The platform, before any manager exists, and its view of the kernel's
  //    side, to show the folder behind each sensor.
  const std::shared_ptr<CPlatform> linuxPlatform = CreateLinuxPlatform(argv[1]);
  CPlatform::Install(linuxPlatform);
  const std::unique_ptr<CLinuxSysfsView> sysfs = CLinuxSysfsView::Of(*linuxPlatform);

  // 2. The participant manager; it throws an int when it cannot start.
  COSParticipantManager* participants = nullptr;
  try {
    participants = COSParticipantManager::GetInstance();
  } catch (int thrown) {
    std::fprintf(stderr, "the participant manager did not start: %d\n", thrown);
    return 1;
  }
  COSConfigManager* policy = COSConfigManager::GetInstance(Wide(argv[2]));
  _tagSPlatformConfig platform;
  policy->GetPlatformConfig(platform);
  if (policy->SetPlatformConfig(platform) != 0) {
    std::fprintf(stderr, "the policy %s did not load\n", argv[2]);
  }
  const int enumerated = participants->Enumerate();
  std::printf("Enumerate: %d\n", enumerated);

  // 3. A listener for thermal events; it must outlive its registration.
  CPrintingListener listener(nullptr);
  COSEventManager* events = COSEventManager::GetInstance();
  const int watching = events->Init();
  std::printf("event manager Init: %d\n", watching);
  events->AddEventListener(&listener, THERMAL_EVENT);

  // 4. Temperatures, and one policy step for a sensor at its start.
  std::vector<_tagSSensor> sensors;
  participants->GetAllSensors(sensors);
  int steps = 0;
  for (const _tagSSensor& sensor : sensors) {
    int temperature = 0;
    participants->GetCurrentTemperature(sensor.Name, temperature);
    _tagSSensorConfig record;
    record.strName = sensor.Name;
    const bool configured = policy->GetSensorConfig(record) == 0;
    std::printf("sensor %s: %d (tenths of kelvin), throttle from %d\n", Narrow(sensor.Name).c_str(),
                temperature, record.iThrottleStartTemp);
    if (const std::optional<LinuxSysfsEntry> entry = sysfs->Find(sensor.Name)) {
      std::string mode = "unknown";
      CLinuxSysfsFolder(entry->folder).ReadText("mode", mode);
      std::printf("  %s (type %s), mode %s\n", entry->folder.c_str(), entry->type.c_str(),
                  mode.c_str());
    }
    if (!configured || record.iThrottleStartTemp <= 0 || temperature < record.iThrottleStartTemp) {
      continue;
    }
    std::vector<_tagSDevice> devices;
    participants->GetDeviceList(sensor.Name, devices);
    for (_tagSDevice device : devices) {
      _tagSDeviceConfig limits;
      limits.strPath = device.Name;
      if (policy->GetDeviceConfig(limits) != 0 || limits.iUsageEnable == 0) {
        continue;
      }
      const uint32_t limit =
          std::min<uint32_t>(static_cast<uint32_t>(limits.iThrottleLimit), device.Max);
      const uint32_t next =
          std::min<uint32_t>(device.Current + static_cast<uint32_t>(limits.iThrottleStep), limit);
      if (next == device.Current) {
        continue;
      }
      std::printf("%s %s: %u -> %u\n", apply ? "throttle" : "would throttle",
                  Narrow(device.Name).c_str(), device.Current, next);
      if (apply) {
        device.Current = next;
        participants->SetDevice(device);
      }
      ++steps;
    }
  }
  std::printf("steps: %d\n", steps);

  // 5. The listener goes before the managers; the managers in reverse order.
  events->RemoveEventListener(&listener, THERMAL_EVENT);
  COSEventManager::DeleteInstance();
  COSConfigManager::DeleteInstance();
  COSParticipantManager::DeleteInstance();
  return enumerated == 0 ? 0 : 1;
}
