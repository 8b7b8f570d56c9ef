// In-memory registry: the store behind the Linux platform's registry view and
// the simulated platform's registry. Keys are created by whoever seeds it; the
// stand-in interface only opens existing keys. Thread-safe.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

#include "Platform/Registry.h"
#include "zivorivizo/Export.h"

class ZIVO_EXPORT CMemoryRegistry : public CRegistry,
                                    public std::enable_shared_from_this<CMemoryRegistry> {
 public:
  CMemoryRegistry();
  ~CMemoryRegistry() override;

  std::unique_ptr<CRegistryKey> Open(const std::wstring& path, uint32_t access,
                                     long& status) override;

  // Seeding and inspection. Setting a value creates its key (and parents).
  void CreateKey(const std::wstring& path);
  void SetDword(const std::wstring& path, const std::wstring& name, uint32_t value);
  void SetString(const std::wstring& path, const std::wstring& name, const std::wstring& value);
  void DeleteValue(const std::wstring& path, const std::wstring& name);
  bool ReadDword(const std::wstring& path, const std::wstring& name, uint32_t& value);
  bool ReadString(const std::wstring& path, const std::wstring& name, std::wstring& value);

  // Keys opened through the stand-in and not yet closed.
  int OpenKeyCount();

 private:
  friend class CMemoryRegistryKey;
  struct _tagSValue;
  struct _tagSKey;

  _tagSKey& KeyLocked(const std::wstring& path);  // creates
  _tagSKey* FindLocked(const std::wstring& path);
  const _tagSValue* FindValueLocked(const _tagSKey& key, const std::wstring& name);

  std::mutex mLock;
  // Signalled after every change, outside the lock: a plain condition
  // variable, whose notify wakes a waiter without handing it a second lock
  // to wait on.
  std::condition_variable mChanged;
  // By folded path. A key object keeps its key, so each read is one lookup
  // of the value whatever the number of keys.
  std::unordered_map<std::wstring, std::unique_ptr<_tagSKey>, WideNameHash, std::equal_to<>> mKeys;
  // The name being looked up, folded: a lookup allocates nothing once the
  // buffer has grown to the longest name. Guarded by mLock.
  std::wstring mFolded;
  int mOpenKeys = 0;
};
