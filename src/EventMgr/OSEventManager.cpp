#include "zivorivizo/OSEventManager.h"

#include <condition_variable>
#include <system_error>

#include "EventMgr/NotifyBackoff.h"
#include "EventMgr/ParticipantEventSink.h"
#include "EventMgr/ThermalEventSink.h"
#include "Log/LogStatement.h"
#include "Platform/Com.h"
#include "Platform/DriverProtocol.h"
#include "Platform/PlatformEvents.h"
#include "Platform/Registry.h"
#include "Platform/Wmi.h"
#include "zivorivizo/OSParticipantMgr.h"
#include "zivorivizo/Platform.h"
#include "zivorivizo/StatusCodes.h"

COSEventManager* COSEventManager::osEventManager = nullptr;

namespace {

// Subscription slots.
constexpr int kAddSensorSlot = 0;
constexpr int kAddDeviceSlot = 1;
constexpr int kRemoveSensorSlot = 2;
constexpr int kRemoveDeviceSlot = 3;
constexpr int kThermalSlot = 4;

const wchar_t kAddSensorQuery[] =
    L"SELECT * FROM __InstanceCreationEvent WITHIN 1 WHERE TargetInstance ISA "
    L"\"DtmSensorParticipantInformation\"";
const wchar_t kAddDeviceQuery[] =
    L"SELECT * FROM __InstanceCreationEvent WITHIN 1 WHERE TargetInstance ISA "
    L"\"DtmDeviceParticipantInformation\"";
const wchar_t kRemoveSensorQuery[] =
    L"SELECT * FROM __InstanceDeletionEvent WITHIN 1 WHERE TargetInstance ISA "
    L"\"DtmSensorParticipantInformation\"";
const wchar_t kRemoveDeviceQuery[] =
    L"SELECT * FROM __InstanceDeletionEvent WITHIN 1 WHERE TargetInstance ISA "
    L"\"DtmDeviceParticipantInformation\"";
const wchar_t kThermalQuery[] = L"SELECT * FROM DTMEvent";

// A sensor name: 255 characters and the terminator, read with 510 bytes.
constexpr std::size_t kNameBytes = 510;

// The participant slot of a single kind, or -1.
int ParticipantSlot(int kind) {
  switch (kind) {
    case ADD_SENSOR_EVENT:
      return kAddSensorSlot;
    case ADD_DEVICE_EVENT:
      return kAddDeviceSlot;
    case REMOVE_SENSOR_EVENT:
      return kRemoveSensorSlot;
    case REMOVE_DEVICE_EVENT:
      return kRemoveDeviceSlot;
  }
  return -1;
}

// The sensor count cut to what discovery reads: a corrupt value would
// otherwise have every scan query the key billions of times. A count past the
// limit is logged once for each distinct value (`logged` holds the last one
// logged), not at every scan.
int CappedSensorCount(uint32_t count, std::atomic<uint32_t>& logged) {
  if (count > static_cast<uint32_t>(COSParticipantManager::MAX_DRIVER_PARTICIPANTS)) {
    if (logged.exchange(count) != count) {
      LOG_ERROR("SensorCount %u is more than %d: only the first %d sensors are watched", count,
                COSParticipantManager::MAX_DRIVER_PARTICIPANTS,
                COSParticipantManager::MAX_DRIVER_PARTICIPANTS);
    }
    return COSParticipantManager::MAX_DRIVER_PARTICIPANTS;
  }
  return static_cast<int>(count);
}

// A sensor that arrived after the count was read (a zone created on Linux)
// has its notification value just past the known ones. When that value
// exists, the parameters key's count is taken again; otherwise `known` stays.
int ArrivedSensorCount(CRegistry& registry, CRegistryKey& notifyKey, int known,
                       std::atomic<uint32_t>& logged) {
  uint32_t probe = 0;
  if (notifyKey.QueryDword(L"Sensor" + std::to_wstring(known), probe) != REG_STATUS_SUCCESS) {
    return known;
  }
  long status = REG_STATUS_SUCCESS;
  std::unique_ptr<CRegistryKey> parameters =
      registry.Open(DRIVER_PARAMETERS_KEY, REG_ACCESS_READ, status);
  uint32_t count = 0;
  if (!parameters || parameters->QueryDword(L"SensorCount", count) != REG_STATUS_SUCCESS) {
    return known;
  }
  const int current = CappedSensorCount(count, logged);
  if (current > known) {
    LOG_DEBUG("SensorCount: %d", current);
  }
  return current > known ? current : known;
}

}  // namespace

// What one subscription made: the manager's references on its apartment,
// stub and stub sink, and the connection it was made on (for cancelling it
// even after the participant manager has gone).
struct COSEventManager::CSubscription {
  CComPtr<CUnsecuredApartment> apartment;
  CComPtr<CUnknown> stub;
  CComPtr<CWbemObjectSink> stubSink;
  std::shared_ptr<CWbemServices> connection;
  bool active = false;
};

COSEventManager* COSEventManager::GetInstance() {
  if (osEventManager == nullptr) {
    osEventManager = new COSEventManager();
  }
  return osEventManager;
}

void COSEventManager::DeleteInstance() {
  LOG_DEBUG("Deleting Event manager");
  delete osEventManager;
  osEventManager = nullptr;
}

COSEventManager::COSEventManager() : mPlatform(CPlatform::Current()) {
  LOG_DEBUG("EM construction called");
}

COSEventManager::~COSEventManager() {
  LOG_DEBUG("COSEventManager Destructor called");
  // From here on no subscription is made: a listener that adds a listener
  // while the sinks are being detached below would otherwise subscribe after
  // the subscriptions were taken for cancelling.
  {
    std::scoped_lock hold(mRegisterLock, mSubscribeLock);
    mClosing = true;
  }
  // The operating system's own events first: nothing new is fed to the
  // notification key or the subscriptions from here on.
  mPlatform->Events().Stop();
  // The notification threads first: each wait is cancelled and each thread
  // joined, so none calls into this manager afterwards.
  for (std::jthread& thread : mThreads) {
    thread.request_stop();
  }
  mThreads.clear();
  LOG_DEBUG("Closed Handle");

  std::list<CEventSink*> sinks;
  std::vector<std::unique_ptr<CSubscription>> subscriptions;
  {
    std::lock_guard<std::mutex> hold(mSubscribeLock);
    sinks.swap(mSinks);
    subscriptions.swap(mSubscriptions);
    mApartments.fill(nullptr);
    mStubs.fill(nullptr);
    mStubSinks.fill(nullptr);
  }
  // No sink passes an event on once its gate is closed (this waits for the
  // deliveries under way), whatever becomes of the cancellations below.
  for (CEventSink* sink : sinks) {
    sink->Detach();
  }
  for (const auto& subscription : subscriptions) {
    if (subscription->active) {
      subscription->connection->CancelAsyncCall(subscription->stubSink.Get());
    }
  }
  subscriptions.clear();
  for (CEventSink*& sink : sinks) {
    if (sink != nullptr) {
      sink->Release();
      LOG_DEBUG("Released Sink");
      sink = nullptr;
    }
  }
}

int COSEventManager::Init() {
  if (InitDriverEvents() != 0) {
    LOG_ERROR("InitDriverEvents Failed");
    return ZIVO_EVENT_DRIVER_EVENTS_FAILED;
  }
  // The operating system's own thermal events (the kernel's, on Linux) reach
  // the listeners through the notification key and the subscriptions.
  // Where it has none, the firmware's and the drivers' events still do.
  std::string why;
  const PlatformEventsReport report = [](PlatformEventsLevel level, const std::string& text) {
    if (level == PlatformEventsLevel::Error) {
      LOG_ERROR("Kernel thermal events: %s", text.c_str());
    } else {
      LOG_WARN("Kernel thermal events: %s", text.c_str());
    }
  };
  if (!mPlatform->Events().Start(why, report)) {
    LOG_WARN("Kernel thermal events are not available: %s", why.c_str());
  }
  if (RegisterThermalEvent() != 0) {
    LOG_ERROR("RegisterThermalEvent Failed");
    return ZIVO_EVENT_THERMAL_FAILED;
  }
  LOG_DEBUG("Event Registration done...");
  return 0;
}

bool COSEventManager::AddEventListener(CEventListener* listener, VelmarEventListenerType kinds) {
  CEventManager::AddEventListener(listener, kinds);
  // Each participant kind is subscribed once, when its first listener
  // arrives; the thermal kind is subscribed by Init.
  std::lock_guard<std::mutex> hold(mRegisterLock);
  if (mClosing) {
    return false;
  }
  for (int kind : {ADD_SENSOR_EVENT, REMOVE_SENSOR_EVENT, ADD_DEVICE_EVENT, REMOVE_DEVICE_EVENT}) {
    const int slot = ParticipantSlot(kind);
    if ((kinds & kind) == 0 || mSubscribed[slot]) {
      continue;
    }
    const int result = RegisterEvent(static_cast<VelmarEventListenerType>(kind));
    if (result == 0) {
      mSubscribed[slot] = true;
    } else {
      LOG_ERROR("RegisterEvent failed for %d, status %d", kind, result);
    }
  }
  return false;
}

bool COSEventManager::RemoveEventListener(CEventListener* listener, VelmarEventListenerType kinds) {
  LOG_DEBUG("RemoveEventListener called");
  return CEventManager::RemoveEventListener(listener, kinds);
}

int COSEventManager::RegisterEvent(VelmarEventListenerType kind) {
  switch (kind) {
    case THERMAL_EVENT:
      return RegisterThermalEvent() != 0 ? ZIVO_EVENT_THERMAL_FAILED : 0;
    case ADD_SENSOR_EVENT:
      return RegisterAddSensorEvent() != 0 ? ZIVO_EVENT_ADD_SENSOR_FAILED : 0;
    case REMOVE_SENSOR_EVENT:
      return RegisterRemoveSensorEvent() != 0 ? ZIVO_EVENT_REMOVE_SENSOR_FAILED : 0;
    case ADD_DEVICE_EVENT:
      return RegisterAddDeviceEvent() != 0 ? ZIVO_EVENT_ADD_DEVICE_FAILED : 0;
    case REMOVE_DEVICE_EVENT:
      return RegisterRemoveDeviceEvent() != 0 ? ZIVO_EVENT_REMOVE_DEVICE_FAILED : 0;
  }
  return 0;
}

int COSEventManager::UnRegisterEvent(VelmarEventListenerType /*kind*/) {
  return 0;
}

long COSEventManager::RegisterAddSensorEvent() {
  return Subscribe(kAddSensorSlot, ADD_SENSOR_EVENT, kAddSensorQuery);
}

long COSEventManager::RegisterAddDeviceEvent() {
  return Subscribe(kAddDeviceSlot, ADD_DEVICE_EVENT, kAddDeviceQuery);
}

long COSEventManager::RegisterRemoveSensorEvent() {
  return Subscribe(kRemoveSensorSlot, REMOVE_SENSOR_EVENT, kRemoveSensorQuery);
}

long COSEventManager::RegisterRemoveDeviceEvent() {
  return Subscribe(kRemoveDeviceSlot, REMOVE_DEVICE_EVENT, kRemoveDeviceQuery);
}

long COSEventManager::RegisterThermalEvent() {
  return Subscribe(kThermalSlot, THERMAL_EVENT, kThermalQuery);
}

long COSEventManager::Subscribe(int slot, VelmarEventListenerType kind, const wchar_t* query) {
  std::lock_guard<std::mutex> hold(mSubscribeLock);
  if (mClosing) {
    return E_FAIL;
  }
  // Whatever a failing step leaves behind is kept in the record and released
  // with the manager.
  mSubscriptions.push_back(std::make_unique<CSubscription>());
  CSubscription& made = *mSubscriptions.back();

  HRESULT hr = mPlatform->Com().CreateUnsecuredApartment(CLSCTX_LOCAL_SERVER, made.apartment);
  mApartments[slot] = made.apartment.Get();
  if (HrFailed(hr)) {
    return hr;
  }

  CEventSink* sink = kind == THERMAL_EVENT
                         ? static_cast<CEventSink*>(new CThermalEventSink(this, kind))
                         : static_cast<CEventSink*>(new CParticipantEventSink(this, kind));
  mSinks.push_back(sink);
  sink->AddRef();

  CUnknown* stub = nullptr;
  hr = made.apartment->CreateObjectStub(sink, &stub);
  made.stub = CComPtr<CUnknown>::Adopt(HrSucceeded(hr) ? stub : nullptr);
  mStubs[slot] = made.stub.Get();
  if (HrFailed(hr)) {
    return hr;
  }

  void* stubSink = nullptr;
  hr = made.stub->QueryInterface(IID_IWbemObjectSink, &stubSink);
  made.stubSink = CComPtr<CWbemObjectSink>::Adopt(
      HrSucceeded(hr) ? static_cast<CWbemObjectSink*>(stubSink) : nullptr);
  mStubSinks[slot] = made.stubSink.Get();
  if (HrFailed(hr)) {
    return hr;
  }

  // Subscriptions need the participant manager's connection.
  made.connection = COSParticipantManager::Connection();
  if (!made.connection) {
    return E_POINTER;
  }
  hr = made.connection->ExecNotificationQueryAsync(L"WQL", query, WBEM_FLAG_SEND_STATUS,
                                                   made.stubSink.Get());
  made.active = HrSucceeded(hr);
  return HrFailed(hr) ? hr : 0;
}

int COSEventManager::OnReceiveEvent(std::wstring name, VelmarEventListenerType kind, int eventId) {
  if (eventId == 0) {
    LOG_ERROR("Recived Event for 0 EventID, Dropping...");
    return 0;
  }
  LOG_DEBUG("Received event: From->%ls EventType->%d EventID-> %d", name.c_str(),
            static_cast<int>(kind), eventId);
  return static_cast<int>(DispatchEvent(kind, std::move(name), eventId));
}

int COSEventManager::InitDriverEvents() {
  LOG_DEBUG("Initializing Driver events");
  long status = REG_STATUS_SUCCESS;
  std::unique_ptr<CRegistryKey> key =
      mPlatform->Registry().Open(DRIVER_PARAMETERS_KEY, REG_ACCESS_READ, status);
  if (!key) {
    LOG_ERROR("Failed to read the Velmar Key");
    return ZIVO_EVENT_PARAMS_KEY_FAILED;
  }
  uint32_t count = 0;
  if (key->QueryDword(L"SensorCount", count) != REG_STATUS_SUCCESS) {
    LOG_ERROR("Query Registry failed for SensorCount");
    return ZIVO_COUNT_READ_FAILED;
  }
  LOG_DEBUG("SensorCount: %d", static_cast<int>(count));
  mSensorCount = CappedSensorCount(count, mCountLogged);
  if (count != 0 && !mThreads.empty()) {
    // An Init tried again (after its thermal subscription failed) keeps the
    // watch it started: one thread scans the key, whatever the number of Inits.
    LOG_DEBUG("Thread created...");
  } else if (count != 0) {
    LOG_DEBUG("SensorCount is greater than 0");
    LOG_DEBUG("Setting event mechanism notification");
    try {
      mThreads.emplace_back([this](std::stop_token stop) { WorkerThreadMain(this, stop); });
    } catch (const std::system_error&) {
      LOG_ERROR("Thread creation failed");
      return ZIVO_EVENT_THREAD_FAILED;
    }
    LOG_DEBUG("Thread created...");
  } else {
    LOG_DEBUG("Reported SensorCount is Zero");
    LOG_DEBUG("Worker thread not created. Driver events cant be received");
  }
  return 0;
}

void COSEventManager::WorkerThreadMain(COSEventManager* manager, std::stop_token stop) {
  LOG_DEBUG("WorkerThreadMain");
  long status = REG_STATUS_SUCCESS;
  std::unique_ptr<CRegistryKey> key =
      manager->mPlatform->Registry().Open(DRIVER_NOTIFY_KEY, REG_ACCESS_READ_WRITE, status);
  if (!key) {
    LOG_DEBUG("Failed to open key");
    return;
  }
  CScanState state;
  // A driver may have reported before the watch began: look once before
  // the first wait.
  ScanSensors(*key, manager, state);
  // Pauses after failed waits end early when the manager stops the thread.
  std::mutex pauseLock;
  std::condition_variable_any pause;
  int failures = 0;
  while (!stop.stop_requested()) {
    const long result = WorkerThreadMonitor(*key, manager, stop, state);
    if (result == REG_STATUS_SUCCESS || result == REG_STATUS_CANCELLED) {
      failures = 0;
      continue;
    }
    ++failures;
    std::unique_lock<std::mutex> hold(pauseLock);
    pause.wait_for(hold, stop, NotifyBackoff(failures), [] { return false; });
  }
}

long COSEventManager::WorkerThreadMonitor(CRegistryKey& key, COSEventManager* manager,
                                          std::stop_token stop, CScanState& state) {
  const long waited = key.WaitForValueChange(stop);
  if (waited == REG_STATUS_CANCELLED && stop.stop_requested()) {
    return waited;
  }
  if (waited != REG_STATUS_SUCCESS) {
    LOG_ERROR("Worker Thread: RegNotifyChangeKeyValue Failed");
    return waited;
  }
  LOG_DEBUG("Driver Event occurred... ");
  ScanSensors(key, manager, state);
  return REG_STATUS_SUCCESS;
}

void COSEventManager::ScanSensors(CRegistryKey& key, COSEventManager* manager, CScanState& state) {
  int count = manager->mSensorCount;
  for (int i = 0;; ++i) {
    if (i >= count) {
      count = ArrivedSensorCount(manager->mPlatform->Registry(), key, count, manager->mCountLogged);
      if (i >= count) {
        break;
      }
      manager->mSensorCount = count;
    }
    const std::wstring valueName = L"Sensor" + std::to_wstring(i);
    uint32_t value = 0;
    // A value that cannot be read is not acted on: there is nothing to reset
    // and no event to trust. It is reported once until it reads again, so a
    // count larger than the values written does not flood the log at every
    // scan.
    if (key.QueryDword(valueName, value) != REG_STATUS_SUCCESS) {
      if (state.unreadable.insert(i).second) {
        LOG_ERROR("Query Registry failed for %ls", valueName.c_str());
      }
      continue;
    }
    state.unreadable.erase(i);
    if (value == 0) {
      LOG_DEBUG("Sensor: %ls is quiet", valueName.c_str());
      continue;
    }
    LOG_DEBUG("Sensor: %ls has changed", valueName.c_str());
    if (value != 1) {
      ResetNotifyValue(key, valueName);
      LOG_ERROR("Sensor Notify value is not 1, Event discarded for %ls", valueName.c_str());
      continue;
    }
    // The name is read before the value is reset: a parameters key that
    // cannot be opened leaves the value set, and the event is taken at the
    // next scan instead of being lost.
    long status = REG_STATUS_SUCCESS;
    std::unique_ptr<CRegistryKey> parameters =
        manager->mPlatform->Registry().Open(DRIVER_PARAMETERS_KEY, REG_ACCESS_READ, status);
    if (!parameters) {
      LOG_ERROR("Failed to read the Velmar Params Key");
      return;
    }
    std::wstring name;
    const bool named = parameters->QueryString(valueName, kNameBytes, name) == REG_STATUS_SUCCESS;
    ResetNotifyValue(key, valueName);
    // A sensor whose name cannot be read has no participant to report the
    // event for.
    if (!named) {
      LOG_ERROR("Query Registry failed for %ls", valueName.c_str());
      continue;
    }
    // The text up to its first null character, as the name buffer holds it.
    const int result = manager->OnReceiveEvent(std::wstring(name.c_str()), THERMAL_EVENT, 1);
    if (result != 0) {
      LOG_ERROR("Event returned with status %d", result);
    } else {
      LOG_DEBUG("Event returned with status %d", result);
    }
  }
  LOG_DEBUG("WorkerThreadMonitor Returning");
}

void COSEventManager::ResetNotifyValue(CRegistryKey& key, const std::wstring& valueName) {
  if (key.SetDword(valueName, 0) != REG_STATUS_SUCCESS) {
    LOG_ERROR("RegSetValueEx Registry failed for %ls", valueName.c_str());
  }
}
