// The registry stand-in's contract, run against the in-memory registry
// (seeded with the driver keys as an installation would) and the Linux view
// built from a fake sysfs tree, each behind the fault decorator.
#include <chrono>
#include <future>
#include <stop_token>

#include "Platform/Linux/SysfsRegistry.h"
#include "Platform/Memory/MemoryRegistry.h"
#include "PlatformContract/Contract.h"
#include "Sim/FaultyRegistry.h"
#include "support/FakeSysfs.h"

namespace {

const wchar_t kParameters[] = L"SOFTWARE\\Zelan\\VOVUZER\\Parameters";
const wchar_t kDriverNotify[] = L"Software\\Zelan\\VOVUZER\\DriverNotify";

class CRegistryEnv : public CContractEnv {
 public:
  CRegistry& Registry() { return *mFaulty; }

 protected:
  void Wrap(std::shared_ptr<CRegistry> inner) {
    mFaulty = std::make_shared<CFaultyRegistry>(std::move(inner), mPlan);
  }

 private:
  std::shared_ptr<CFaultyRegistry> mFaulty;
};

class CMemoryRegistryEnv : public CRegistryEnv {
 public:
  CMemoryRegistryEnv() {
    auto store = std::make_shared<CMemoryRegistry>();
    store->SetDword(kParameters, L"SensorCount", 0);
    store->CreateKey(kDriverNotify);
    Wrap(store);
  }
};

class CSysfsRegistryEnv : public CRegistryEnv {
 public:
  CSysfsRegistryEnv() {
    mTree.AddZone(0, "skin", 30000);
    Wrap(std::make_shared<CSysfsRegistry>(mTree.Root()));
  }

 private:
  CFakeSysfs mTree;
};

using RegistryContract = CContractTest<CRegistryEnv>;

std::unique_ptr<CRegistryKey> Open(CRegistry& registry, const std::wstring& path) {
  long status = -1;
  auto key = registry.Open(path, REG_ACCESS_ALL, status);
  EXPECT_EQ(status, key ? REG_STATUS_SUCCESS : REG_STATUS_NOT_FOUND);
  return key;
}

TEST_P(RegistryContract, KeysAndValueNamesIgnoreCaseAndValuesKeepTheirType) {
  auto writer = Open(E().Registry(), kDriverNotify);
  auto reader = Open(E().Registry(), L"SOFTWARE\\ZELAN\\VOVUZER\\DRIVERNOTIFY");
  ASSERT_TRUE(writer && reader && Open(E().Registry(), L"software\\zelan\\vovuzer\\PARAMETERS"));
  EXPECT_EQ(Open(E().Registry(), L"SOFTWARE\\Zelan\\VOVUZER\\Missing"), nullptr);

  uint32_t number = 0;
  std::wstring text = L"untouched";
  EXPECT_EQ(reader->QueryDword(L"Sensor0", number), REG_STATUS_NOT_FOUND);
  EXPECT_EQ(writer->SetDword(L"sensor0", 1), REG_STATUS_SUCCESS);
  EXPECT_EQ(reader->QueryDword(L"SENSOR0", number), REG_STATUS_SUCCESS);
  EXPECT_EQ(number, 1u);
  EXPECT_EQ(reader->QueryString(L"Sensor0", 128, text), REG_STATUS_UNSUPPORTED_TYPE);
  EXPECT_EQ(text, L"untouched");
  EXPECT_EQ(writer->SetString(L"Path", L"/sys/x"), REG_STATUS_SUCCESS);
  EXPECT_EQ(reader->QueryString(L"PATH", 128, text), REG_STATUS_SUCCESS);
  EXPECT_EQ(text, L"/sys/x");
}

// A read takes a byte capacity like the Windows call: two bytes a character
// plus the terminator. What does not fit fails and leaves the value alone.
TEST_P(RegistryContract, ReadsNeverGoBeyondTheCallersCapacity) {
  auto key = Open(E().Registry(), kParameters);
  ASSERT_NE(key, nullptr);
  ASSERT_EQ(key->SetString(L"Long", std::wstring(64, L'b')), REG_STATUS_SUCCESS);
  ASSERT_EQ(key->SetString(L"TwoChars", L"12"), REG_STATUS_SUCCESS);
  ASSERT_EQ(key->SetString(L"OneChar", L"7"), REG_STATUS_SUCCESS);
  std::wstring text = L"untouched";
  EXPECT_EQ(key->QueryString(L"Long", 128, text), REG_STATUS_MORE_DATA);
  EXPECT_EQ(text, L"untouched");
  EXPECT_EQ(key->QueryString(L"Long", 130, text), REG_STATUS_SUCCESS);
  EXPECT_EQ(text, std::wstring(64, L'b'));
  // A count read takes exactly four bytes: one character and its terminator.
  uint32_t count = 0xDEADBEEF;
  EXPECT_EQ(key->QueryDword(L"TwoChars", count), REG_STATUS_MORE_DATA);
  EXPECT_EQ(count, 0xDEADBEEFu);
  EXPECT_EQ(key->QueryDword(L"OneChar", count), REG_STATUS_SUCCESS);
  EXPECT_EQ(count, static_cast<uint32_t>(L'7'));
}

TEST_P(RegistryContract, FaultsFailTheNamedCallsAndAFailedSetWritesNothing) {
  auto key = Open(E().Registry(), kParameters);
  ASSERT_NE(key, nullptr);
  ASSERT_EQ(key->SetDword(L"SensorCount", 1), REG_STATUS_SUCCESS);
  uint32_t count = 0;
  std::wstring text;
  long status = 0;
  Plan().Fail(FaultOp::RegOpen, REG_STATUS_NOT_FOUND, L"software\\zelan\\vovuzer\\parameters");
  EXPECT_NE(E().Registry().Open(kDriverNotify, REG_ACCESS_READ, status), nullptr);
  EXPECT_EQ(E().Registry().Open(kParameters, REG_ACCESS_READ, status), nullptr);
  EXPECT_EQ(status, REG_STATUS_NOT_FOUND);
  Plan().Fail(FaultOp::RegQueryDword, 0, L"SensorCount", 2);
  EXPECT_EQ(key->QueryDword(L"SensorCount", count), REG_STATUS_SUCCESS);
  EXPECT_EQ(key->QueryDword(L"SensorCount", count), REG_STATUS_ACCESS_DENIED) << "the default";
  EXPECT_EQ(key->QueryDword(L"SensorCount", count), REG_STATUS_SUCCESS) << "once";
  Plan().Fail(FaultOp::RegSet, REG_STATUS_ACCESS_DENIED, L"", 1, CFaultPlan::kAlways);
  EXPECT_EQ(key->SetDword(L"SensorCount", 5), REG_STATUS_ACCESS_DENIED);
  EXPECT_EQ(key->SetString(L"Sensor0", L"x"), REG_STATUS_ACCESS_DENIED);
  EXPECT_EQ(key->QueryDword(L"SensorCount", count), REG_STATUS_SUCCESS);
  EXPECT_EQ(count, 1u) << "a failed set reached the registry";
  Plan().Clear();
  Plan().Fail(FaultOp::RegQueryString, REG_STATUS_MORE_DATA, L"Sensor0", 1, 2);
  Plan().Fail(FaultOp::RegWait, REG_STATUS_ACCESS_DENIED, kParameters);
  EXPECT_EQ(key->QueryString(L"Sensor0", 128, text), REG_STATUS_MORE_DATA);
  EXPECT_EQ(key->QueryString(L"Sensor0", 128, text), REG_STATUS_MORE_DATA);
  EXPECT_EQ(key->WaitForValueChange({}), REG_STATUS_ACCESS_DENIED) << "fails at once";
  EXPECT_EQ(Plan().Pending(), 0);
  EXPECT_EQ(Plan().Calls(FaultOp::RegQueryDword), 4);
}

// A stop requested before a wait ends it at once (one requested while it
// waits ends every event manager's watch).
TEST_P(RegistryContract, AStopRequestedBeforeAWaitEndsIt) {
  auto watcher = Open(E().Registry(), kDriverNotify);
  ASSERT_NE(watcher, nullptr);
  std::stop_source stopped;
  stopped.request_stop();
  EXPECT_EQ(watcher->WaitForValueChange(stopped.get_token()), REG_STATUS_CANCELLED);
}

ZIVO_CONTRACT_SUITE(RegistryContract, {"Memory", Make<CMemoryRegistryEnv, CRegistryEnv>},
                    {"SysfsView", Make<CSysfsRegistryEnv, CRegistryEnv>});

}  // namespace
