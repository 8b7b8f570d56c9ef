#include "support/RecordingSink.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

#include "Platform/Text.h"
#include "Platform/Variant.h"
#include "Platform/Wmi.h"

class CRecordingSinkImpl : public CWbemObjectSink {
 public:
  CRecordingSinkImpl(CEventRecorder& owner, std::string tag)
      : mOwner(owner), mTag(std::move(tag)) {}

  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (riid == IID_IUnknown || riid == IID_IWbemObjectSink) {
      *object = this;
      AddRef();
      return S_OK;
    }
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++mCount; }
  ULONG Release() override {
    const ULONG count = --mCount;
    if (count == 0) {
      delete this;
    }
    return count;
  }

  HRESULT Indicate(LONG count, std::shared_ptr<CWbemClassObject>* objects) override {
    for (LONG i = 0; i < count; ++i) {
      CVariant value;
      std::shared_ptr<CWbemClassObject> described = objects[i];
      std::string line = mTag;
      if (mTag != "thermal") {
        if (HrFailed(objects[i]->Get(L"TargetInstance", value)) || !value.punkVal) {
          mOwner.Add(mTag + " (no TargetInstance)");
          continue;
        }
        described = value.punkVal;
      }
      CVariant name;
      described->Get(L"InstanceName", name);
      line += " " + ToUtf8(name.bstrVal);
      if (mTag == "thermal") {
        CVariant desc;
        CVariant code;
        if (HrSucceeded(objects[i]->Get(L"event_desc", desc)) && desc.punkVal &&
            HrSucceeded(desc.punkVal->Get(L"EventCode", code))) {
          line += " " + std::to_string(code.lVal);
        }
      }
      mOwner.Add(std::move(line));
    }
    return WBEM_S_NO_ERROR;
  }
  HRESULT SetStatus(LONG, HRESULT, const std::wstring&,
                    const std::shared_ptr<CWbemClassObject>&) override {
    return WBEM_S_NO_ERROR;
  }

 private:
  ~CRecordingSinkImpl() override = default;

  CEventRecorder& mOwner;
  std::string mTag;
  std::atomic<ULONG> mCount{0};
};

namespace {

struct Query {
  const char* tag;
  const wchar_t* text;
};

const Query kQueries[] = {
    {"add-sensor",
     L"SELECT * FROM __InstanceCreationEvent WITHIN 1 WHERE TargetInstance ISA "
     L"\"DtmSensorParticipantInformation\""},
    {"add-device",
     L"SELECT * FROM __InstanceCreationEvent WITHIN 1 WHERE TargetInstance ISA "
     L"\"DtmDeviceParticipantInformation\""},
    {"remove-sensor",
     L"SELECT * FROM __InstanceDeletionEvent WITHIN 1 WHERE TargetInstance ISA "
     L"\"DtmSensorParticipantInformation\""},
    {"remove-device",
     L"SELECT * FROM __InstanceDeletionEvent WITHIN 1 WHERE TargetInstance ISA "
     L"\"DtmDeviceParticipantInformation\""},
    {"thermal", L"SELECT * FROM DTMEvent"},
};

}  // namespace

CEventRecorder::CEventRecorder(std::shared_ptr<CWbemServices> services)
    : mServices(std::move(services)) {
  for (const Query& query : kQueries) {
    auto* sink = new CRecordingSinkImpl(*this, query.tag);
    sink->AddRef();
    mSinks.push_back(sink);
    EXPECT_EQ(
        mServices->ExecNotificationQueryAsync(L"WQL", query.text, WBEM_FLAG_SEND_STATUS, sink),
        WBEM_S_NO_ERROR)
        << query.tag;
  }
}

CEventRecorder::~CEventRecorder() {
  for (CRecordingSinkImpl* sink : mSinks) {
    mServices->CancelAsyncCall(sink);
    sink->Release();
  }
}

void CEventRecorder::Add(std::string line) {
  std::lock_guard<std::mutex> lock(mLock);
  mLines.push_back(std::move(line));
  mArrived.notify_all();
}

bool CEventRecorder::WaitFor(std::size_t count, int timeoutMs) {
  std::unique_lock<std::mutex> lock(mLock);
  return mArrived.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [&] { return mLines.size() >= count; });
}

std::vector<std::string> CEventRecorder::Lines() {
  std::lock_guard<std::mutex> lock(mLock);
  return mLines;
}
