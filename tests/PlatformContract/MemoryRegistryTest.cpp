// The in-memory registry's name lookups: a key object reads what the store
// holds now (a value removed or set again after the open is never read
// stale), and names compare in their folded form only, however the previous
// lookup left the registry's folding buffer.
#include <gtest/gtest.h>

#include <memory>

#include "Platform/Memory/MemoryRegistry.h"

namespace {

const wchar_t kKey[] = L"SOFTWARE\\Zelan\\VOVUZER\\Parameters";

TEST(MemoryRegistry, AKeyObjectReadsTheStoreAsItIsNow) {
  auto store = std::make_shared<CMemoryRegistry>();
  store->SetString(kKey, L"Device0", L"first");
  long status = -1;
  auto key = store->Open(L"software\\\\zelan\\vovuzer\\PARAMETERS\\", REG_ACCESS_READ, status);
  ASSERT_NE(key, nullptr);
  std::wstring text;
  EXPECT_EQ(key->QueryString(L"DEVICE0", 128, text), REG_STATUS_SUCCESS);
  EXPECT_EQ(text, L"first");

  store->DeleteValue(kKey, L"device0");
  EXPECT_EQ(key->QueryString(L"Device0", 128, text), REG_STATUS_NOT_FOUND);
  store->SetDword(kKey, L"DEVICE0", 7);
  uint32_t number = 0;
  EXPECT_EQ(key->QueryString(L"Device0", 128, text), REG_STATUS_UNSUPPORTED_TYPE);
  EXPECT_EQ(key->QueryDword(L"device0", number), REG_STATUS_SUCCESS);
  EXPECT_EQ(number, 7u);
  // A value set through another key object of the same key is read at once.
  auto other = store->Open(kKey, REG_ACCESS_ALL, status);
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(other->SetString(L"Device1", L"second"), REG_STATUS_SUCCESS);
  EXPECT_EQ(key->QueryString(L"device1", 128, text), REG_STATUS_SUCCESS);
  EXPECT_EQ(text, L"second");
}

TEST(MemoryRegistry, NamesMatchOnlyInTheirFoldedForm) {
  const std::wstring longName(80, L'X');
  struct Case {
    const wchar_t* stored;
    std::wstring asked;
    bool found;
  };
  const Case cases[] = {
      {L"Device1", L"device1", true},     {L"Device1", L"\\Device1\\", true},
      {L"Dev\\ice", L"Dev\\\\ice", true}, {L"Device1", L"Device10", false},
      {L"Device10", L"Device1", false},   {L"Device1", L"Device", false},
      {L"Device1", L"Device1 ", false},   {L"Dev\\ice", L"Device", false},
  };
  for (const Case& c : cases) {
    auto store = std::make_shared<CMemoryRegistry>();
    store->SetString(kKey, c.stored, L"value");
    store->SetString(kKey, longName, L"long");
    long status = -1;
    auto key = store->Open(kKey, REG_ACCESS_READ, status);
    ASSERT_NE(key, nullptr);
    std::wstring text;
    // A longer name looked up first leaves its folding behind.
    ASSERT_EQ(key->QueryString(longName, 256, text), REG_STATUS_SUCCESS);
    EXPECT_EQ(key->QueryString(c.asked, 128, text),
              c.found ? REG_STATUS_SUCCESS : REG_STATUS_NOT_FOUND)
        << "stored " << testing::PrintToString(std::wstring(c.stored)) << ", asked "
        << testing::PrintToString(c.asked);
    std::wstring read;
    EXPECT_EQ(store->ReadString(kKey, c.asked, read), c.found);
  }
}

}  // namespace
