// Events of the simulated namespace: what the firmware and a publisher raise,
// the objects a subscription receives, on which thread and in which order,
// and the faults of each step of a subscription.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "Platform/Com.h"
#include "Platform/Wmi.h"
#include "support/SimPlatformTest.h"

namespace {

// Records the text of one property path of each object it gets.
class CEventRecorder : public CWbemObjectSink {
 public:
  HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG AddRef() override { return ++mCount; }
  ULONG Release() override { return --mCount; }
  HRESULT Indicate(LONG count, std::shared_ptr<CWbemClassObject>* objects) override {
    std::lock_guard<std::mutex> hold(mLock);
    for (LONG i = 0; i < count; ++i) {
      mSeen.push_back(Describe(*objects[i]));
      mThreads.push_back(std::this_thread::get_id());
    }
    mChanged.notify_all();
    return S_OK;
  }
  HRESULT SetStatus(LONG, HRESULT, const std::wstring&,
                    const std::shared_ptr<CWbemClassObject>&) override {
    return S_OK;
  }
  bool WaitFor(std::size_t n) {
    std::unique_lock<std::mutex> hold(mLock);
    return mChanged.wait_for(hold, std::chrono::seconds(5), [&] { return mSeen.size() >= n; });
  }
  // "Class:name" for an instance event, "DTMEvent:name:code" for a thermal one.
  static std::wstring Describe(CWbemClassObject& object) {
    CVariant cls, target, name, desc, code;
    object.Get(L"__CLASS", cls);
    if (HrSucceeded(object.Get(L"TargetInstance", target))) {
      CVariant targetClass;
      target.punkVal->Get(L"__CLASS", targetClass);
      target.punkVal->Get(L"InstanceName", name);
      return cls.bstrVal + L":" + targetClass.bstrVal + L":" + name.bstrVal;
    }
    object.Get(L"InstanceName", name);
    object.Get(L"event_desc", desc);
    desc.punkVal->Get(L"EventCode", code);
    return cls.bstrVal + L":" + name.bstrVal + L":" + std::to_wstring(code.lVal);
  }

  std::atomic<ULONG> mCount{0};
  std::mutex mLock;
  std::condition_variable mChanged;
  std::vector<std::wstring> mSeen;
  std::vector<std::thread::id> mThreads;
};

class SimEventsTest : public CSimPlatformTest {
 protected:
  void SetUp() override {
    CSimPlatformTest::SetUp();
    mServices = Wmi().Connect();
  }
  HRESULT Subscribe(const std::wstring& query, CEventRecorder& recorder) {
    return mServices->ExecNotificationQueryAsync(L"WQL", query, WBEM_FLAG_SEND_STATUS, &recorder);
  }
  std::shared_ptr<CWbemServices> mServices;
};

const std::wstring kCreation =
    L"SELECT * FROM __InstanceCreationEvent WITHIN 1 WHERE TargetInstance ISA ";
const std::wstring kDeletion =
    L"SELECT * FROM __InstanceDeletionEvent WITHIN 1 WHERE TargetInstance ISA ";
const std::wstring kSensors = L"\"DtmSensorParticipantInformation\"";
const std::wstring kDevices = L"\"DtmDeviceParticipantInformation\"";

TEST_F(SimEventsTest, EachSubscriptionGetsItsEventsInOrderOnItsOwnThread) {
  CEventRecorder sensorsIn, devicesOut, thermal;
  ASSERT_EQ(Subscribe(kCreation + kSensors, sensorsIn), WBEM_S_NO_ERROR);
  ASSERT_EQ(Subscribe(kDeletion + kDevices, devicesOut), WBEM_S_NO_ERROR);
  ASSERT_EQ(Subscribe(L"SELECT * FROM DTMEvent", thermal), WBEM_S_NO_ERROR);

  _tagSSimWmiSensor sensor;
  sensor.instanceName = L"S1";
  _tagSSimWmiDevice device;
  device.instanceName = L"D1";
  Firmware().AddSensor(sensor);
  Firmware().AddSensor(sensor);  // a replacement is no arrival
  Firmware().AddDevice(device);
  Firmware().Remove(L"D1");
  Firmware().Remove(L"nobody");
  Wmi().RaiseThermalEvent(L"TZ", 3);
  Wmi().RaiseThermalEvent(L"TZ", 4);
  Wmi().RaiseInstanceEvent(true, L"DtmSensorParticipantInformation",
                           {{L"InstanceName", CVariant::Bstr(L"S2")}});
  ASSERT_TRUE(Wmi().WaitDelivered(5000));

  EXPECT_EQ(sensorsIn.mSeen, (std::vector<std::wstring>{
                                 L"__InstanceCreationEvent:DtmSensorParticipantInformation:S1",
                                 L"__InstanceCreationEvent:DtmSensorParticipantInformation:S2"}));
  EXPECT_EQ(
      devicesOut.mSeen,
      (std::vector<std::wstring>{L"__InstanceDeletionEvent:DtmDeviceParticipantInformation:D1"}));
  EXPECT_EQ(thermal.mSeen, (std::vector<std::wstring>{L"DTMEvent:TZ:3", L"DTMEvent:TZ:4"}));
  EXPECT_NE(sensorsIn.mThreads[0], std::this_thread::get_id());
  EXPECT_NE(sensorsIn.mThreads[0], thermal.mThreads[0]);

  for (CEventRecorder* recorder : {&sensorsIn, &devicesOut, &thermal}) {
    EXPECT_EQ(mServices->CancelAsyncCall(recorder), WBEM_S_NO_ERROR);
  }
  Wmi().RaiseThermalEvent(L"TZ", 5);
  EXPECT_EQ(thermal.mSeen.size(), 2u) << "nothing after cancelling";
  EXPECT_EQ(Wmi().Subscriptions(), 0);
}

// Cancels its own subscription from inside a delivery.
class CSelfCancelling : public CEventRecorder {
 public:
  explicit CSelfCancelling(std::shared_ptr<CWbemServices> services)
      : mServices(std::move(services)) {}
  HRESULT Indicate(LONG count, std::shared_ptr<CWbemClassObject>* objects) override {
    mCancelled = mServices->CancelAsyncCall(this);
    return CEventRecorder::Indicate(count, objects);
  }
  std::shared_ptr<CWbemServices> mServices;
  std::atomic<HRESULT> mCancelled{E_FAIL};
};

TEST_F(SimEventsTest, ASinkMayCancelItsOwnSubscriptionWhileBeingCalled) {
  CSelfCancelling sink(mServices);
  ASSERT_EQ(Subscribe(L"SELECT * FROM DTMEvent", sink), WBEM_S_NO_ERROR);
  Wmi().RaiseThermalEvent(L"TZ", 1);
  ASSERT_TRUE(sink.WaitFor(1));
  EXPECT_EQ(sink.mCancelled.load(), WBEM_S_NO_ERROR);
  Wmi().RaiseThermalEvent(L"TZ", 2);
  EXPECT_TRUE(Wmi().WaitDelivered(5000));
  EXPECT_EQ(Wmi().Subscriptions(), 0);
}

TEST_F(SimEventsTest, EveryStepOfASubscriptionFailsOnDemand) {
  CEventRecorder recorder;
  Wmi().Fail(CSimWmi::Op::ExecNotificationQueryAsync, WBEM_E_ACCESS_DENIED,
             L"SELECT * FROM DTMEvent");
  EXPECT_EQ(Subscribe(kCreation + kSensors, recorder), WBEM_S_NO_ERROR);
  EXPECT_EQ(Subscribe(L"SELECT * FROM DTMEvent", recorder), WBEM_E_ACCESS_DENIED);
  EXPECT_EQ(Wmi().Subscriptions(), 1);
  Wmi().Fail(CSimWmi::Op::CancelAsyncCall, WBEM_E_FAILED);
  EXPECT_EQ(mServices->CancelAsyncCall(&recorder), WBEM_E_FAILED);
  EXPECT_EQ(mServices->CancelAsyncCall(&recorder), WBEM_S_NO_ERROR);

  struct _tagSComStep {
    CSimCom::Op op;
    HRESULT hr;
  };
  for (const _tagSComStep& step : {_tagSComStep{CSimCom::Op::CreateUnsecuredApartment, E_FAIL},
                                   _tagSComStep{CSimCom::Op::CreateObjectStub, E_OUTOFMEMORY},
                                   _tagSComStep{CSimCom::Op::StubQueryInterface, E_ACCESSDENIED}}) {
    Com().Fail(step.op, step.hr);
    CComPtr<CUnsecuredApartment> apartment;
    HRESULT hr = Com().CreateUnsecuredApartment(CLSCTX_LOCAL_SERVER, apartment);
    CUnknown* stub = nullptr;
    if (HrSucceeded(hr)) {
      hr = apartment->CreateObjectStub(&recorder, &stub);
    }
    auto held = CComPtr<CUnknown>::Adopt(stub);
    void* sink = nullptr;
    if (HrSucceeded(hr)) {
      hr = held->QueryInterface(IID_IWbemObjectSink, &sink);
    }
    EXPECT_EQ(hr, step.hr);
    EXPECT_EQ(sink, nullptr);
  }
  EXPECT_EQ(Com().LiveApartments(), 0);
  EXPECT_EQ(Com().LiveStubs(), 0);
  EXPECT_EQ(recorder.mCount.load(), 0u);
}

}  // namespace
