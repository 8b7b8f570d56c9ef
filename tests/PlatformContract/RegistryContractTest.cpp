// The registry stand-in's contract, run against the fresh in-memory registry
// (seeded with the driver keys as an installation would) and the Linux view
// built from a fake sysfs tree.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <ostream>
#include <stop_token>
#include <string>
#include <thread>

#include "Platform/Linux/SysfsRegistry.h"
#include "Platform/Sim/MemoryRegistry.h"
#include "support/FakeSysfs.h"

namespace {

using namespace std::chrono_literals;

const wchar_t kParameters[] = L"SOFTWARE\\Zelan\\VOVUZER\\Parameters";
const wchar_t kDriverNotify[] = L"Software\\Zelan\\VOVUZER\\DriverNotify";
constexpr auto kBound = 10s;

class CRegistryEnv {
 public:
  virtual ~CRegistryEnv() = default;
  virtual CRegistry& Registry() = 0;
};

class CMemoryRegistryEnv : public CRegistryEnv {
 public:
  CMemoryRegistryEnv() {
    mRegistry->SetDword(kParameters, L"SensorCount", 0);
    mRegistry->SetDword(kParameters, L"DeviceCount", 0);
    mRegistry->CreateKey(kDriverNotify);
  }
  CRegistry& Registry() override { return *mRegistry; }

 private:
  std::shared_ptr<CMemoryRegistry> mRegistry = std::make_shared<CMemoryRegistry>();
};

class CSysfsRegistryEnv : public CRegistryEnv {
 public:
  CSysfsRegistryEnv() {
    mTree.AddZone(0, "skin", 30000);
    mTree.AddCooling(0, "Fan", 3, 0);
  }
  CRegistry& Registry() override { return mRegistry; }

 private:
  CFakeSysfs mTree;
  CSysfsRegistry mRegistry{mTree.Root()};
};

struct _tagSRegistryImpl {
  const char* name;
  std::function<std::unique_ptr<CRegistryEnv>()> make;
};

void PrintTo(const _tagSRegistryImpl& impl, std::ostream* os) {
  *os << impl.name;
}

class RegistryContract : public testing::TestWithParam<_tagSRegistryImpl> {
 protected:
  void SetUp() override { mEnv = GetParam().make(); }

  std::unique_ptr<CRegistryKey> Open(const std::wstring& path, uint32_t access = REG_ACCESS_ALL) {
    long status = -1;
    auto key = mEnv->Registry().Open(path, access, status);
    EXPECT_NE(key, nullptr) << "status " << status;
    EXPECT_EQ(status, REG_STATUS_SUCCESS);
    return key;
  }

  std::unique_ptr<CRegistryEnv> mEnv;
};

TEST_P(RegistryContract, KeysOpenWhateverTheCaseOfTheirPath) {
  EXPECT_NE(Open(kParameters, REG_ACCESS_READ), nullptr);
  EXPECT_NE(Open(L"software\\zelan\\vovuzer\\PARAMETERS"), nullptr);
  EXPECT_NE(Open(L"SOFTWARE\\ZELAN\\VOVUZER\\DRIVERNOTIFY"), nullptr);

  long status = REG_STATUS_SUCCESS;
  EXPECT_EQ(mEnv->Registry().Open(L"SOFTWARE\\Zelan\\VOVUZER\\Missing", REG_ACCESS_READ, status),
            nullptr);
  EXPECT_EQ(status, REG_STATUS_NOT_FOUND);
}

TEST_P(RegistryContract, ValuesKeepTheirTypeAndAnyCaseOfTheirName) {
  auto writer = Open(kDriverNotify);
  auto reader = Open(L"SOFTWARE\\ZELAN\\VOVUZER\\DRIVERNOTIFY", REG_ACCESS_READ);
  ASSERT_NE(writer, nullptr);
  ASSERT_NE(reader, nullptr);

  uint32_t number = 0;
  std::wstring text = L"untouched";
  EXPECT_EQ(reader->QueryDword(L"Sensor0", number), REG_STATUS_NOT_FOUND);
  EXPECT_EQ(reader->QueryString(L"Sensor0", 128, text), REG_STATUS_NOT_FOUND);
  EXPECT_EQ(text, L"untouched");

  EXPECT_EQ(writer->SetDword(L"Sensor0", 1), REG_STATUS_SUCCESS);
  EXPECT_EQ(reader->QueryDword(L"SENSOR0", number), REG_STATUS_SUCCESS);
  EXPECT_EQ(number, 1u);
  EXPECT_EQ(writer->SetDword(L"sensor0", 0), REG_STATUS_SUCCESS);
  EXPECT_EQ(reader->QueryDword(L"Sensor0", number), REG_STATUS_SUCCESS);
  EXPECT_EQ(number, 0u);
  EXPECT_EQ(reader->QueryString(L"Sensor0", 128, text), REG_STATUS_UNSUPPORTED_TYPE);
  EXPECT_EQ(text, L"untouched");

  EXPECT_EQ(writer->SetString(L"Path", L"/sys/class/thermal/thermal_zone0"), REG_STATUS_SUCCESS);
  EXPECT_EQ(reader->QueryString(L"PATH", 128, text), REG_STATUS_SUCCESS);
  EXPECT_EQ(text, L"/sys/class/thermal/thermal_zone0");
}

// A read takes a byte capacity like the Windows call: two bytes a character
// plus the terminator. What does not fit fails and leaves the value alone.
TEST_P(RegistryContract, ReadsNeverGoBeyondTheCallersCapacity) {
  auto key = Open(kParameters);
  ASSERT_NE(key, nullptr);
  const std::wstring fits(63, L'a');
  const std::wstring tooLong(64, L'b');
  ASSERT_EQ(key->SetString(L"Fits", fits), REG_STATUS_SUCCESS);
  ASSERT_EQ(key->SetString(L"TooLong", tooLong), REG_STATUS_SUCCESS);

  std::wstring text = L"untouched";
  EXPECT_EQ(key->QueryString(L"Fits", 128, text), REG_STATUS_SUCCESS);
  EXPECT_EQ(text, fits);
  text = L"untouched";
  EXPECT_EQ(key->QueryString(L"TooLong", 128, text), REG_STATUS_MORE_DATA);
  EXPECT_EQ(text, L"untouched");
  EXPECT_EQ(key->QueryString(L"TooLong", 130, text), REG_STATUS_SUCCESS);
  EXPECT_EQ(text, tooLong);

  // A count read takes exactly four bytes: a one-character string with its
  // terminator fits, anything longer does not and leaves the count alone.
  ASSERT_EQ(key->SetString(L"OneChar", L"7"), REG_STATUS_SUCCESS);
  ASSERT_EQ(key->SetString(L"TwoChars", L"12"), REG_STATUS_SUCCESS);
  uint32_t count = 0xDEADBEEF;
  EXPECT_EQ(key->QueryDword(L"OneChar", count), REG_STATUS_SUCCESS);
  EXPECT_EQ(count, static_cast<uint32_t>(L'7'));
  count = 0xDEADBEEF;
  EXPECT_EQ(key->QueryDword(L"TwoChars", count), REG_STATUS_MORE_DATA);
  EXPECT_EQ(count, 0xDEADBEEFu);
}

TEST_P(RegistryContract, WaitReturnsWhenAValueOfTheKeyIsSet) {
  auto watched = Open(kDriverNotify);
  auto writer = Open(L"software\\zelan\\vovuzer\\drivernotify");
  ASSERT_NE(watched, nullptr);
  ASSERT_NE(writer, nullptr);

  auto waited = std::async(std::launch::async,
                           [&] { return watched->WaitForValueChange(std::stop_token{}); });
  // Only a write after the wait began counts, and the waiter may not be
  // blocked yet: keep writing until it wakes.
  const auto deadline = std::chrono::steady_clock::now() + kBound;
  uint32_t turn = 0;
  while (waited.wait_for(1ms) != std::future_status::ready &&
         std::chrono::steady_clock::now() < deadline) {
    writer->SetDword(L"Sensor0", ++turn);
  }
  ASSERT_EQ(waited.wait_for(0s), std::future_status::ready) << "the wait never returned";
  EXPECT_EQ(waited.get(), REG_STATUS_SUCCESS);
}

TEST_P(RegistryContract, AValueSetBetweenTwoWaitsEndsTheNextWaitAtOnce) {
  auto watched = Open(kDriverNotify);
  auto writer = Open(kDriverNotify);
  ASSERT_NE(watched, nullptr);
  ASSERT_NE(writer, nullptr);
  // Set after the key was opened, before any wait: a watcher scanning the
  // key at that moment must not miss it.
  ASSERT_EQ(writer->SetDword(L"Sensor1", 1), REG_STATUS_SUCCESS);
  auto waited = std::async(std::launch::async,
                           [&] { return watched->WaitForValueChange(std::stop_token{}); });
  ASSERT_EQ(waited.wait_for(kBound), std::future_status::ready) << "the change was missed";
  EXPECT_EQ(waited.get(), REG_STATUS_SUCCESS);
  // Seen once: the next wait blocks until its stop.
  std::stop_source stop;
  auto next =
      std::async(std::launch::async, [&] { return watched->WaitForValueChange(stop.get_token()); });
  stop.request_stop();
  EXPECT_EQ(next.get(), REG_STATUS_CANCELLED);
}

TEST_P(RegistryContract, WaitIsCancelledPromptlyByItsStopToken) {
  auto watched = Open(kDriverNotify);
  ASSERT_NE(watched, nullptr);
  std::stop_source stop;
  auto waited =
      std::async(std::launch::async, [&] { return watched->WaitForValueChange(stop.get_token()); });
  stop.request_stop();
  ASSERT_EQ(waited.wait_for(kBound), std::future_status::ready) << "the wait ignored its stop";
  EXPECT_EQ(waited.get(), REG_STATUS_CANCELLED);
}

INSTANTIATE_TEST_SUITE_P(
    Registries, RegistryContract,
    testing::Values(
        _tagSRegistryImpl{"Memory", [] { return std::make_unique<CMemoryRegistryEnv>(); }},
        _tagSRegistryImpl{"SysfsView", [] { return std::make_unique<CSysfsRegistryEnv>(); }}),
    [](const testing::TestParamInfo<_tagSRegistryImpl>& info) { return info.param.name; });

}  // namespace
