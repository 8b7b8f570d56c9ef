// In-memory registry: the simulated platform's registry, and the store behind
// the Linux platform's registry view. Keys are created by whoever seeds it;
// the stand-in interface only opens existing keys. Every operation can be made
// to fail from a test with a chosen status.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Platform/Registry.h"

class CMemoryRegistry : public CRegistry, public std::enable_shared_from_this<CMemoryRegistry> {
 public:
  // Wait: WaitForValueChange, targeted by the key's path; a failing wait
  // returns its status at once.
  enum class Op { Open, QueryDword, QueryString, Set, Wait };

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

  // The next `count` calls of `op` whose key path (Open) or value name (the
  // others) equals `target` case-insensitively fail with `status`; an empty
  // target matches every call; count 0 means every call from now on.
  void FailNext(Op op, const std::wstring& target, long status, int count = 1);
  void ClearFaults();

  // Keys opened through the stand-in and not yet closed.
  int OpenKeyCount();

 private:
  friend class CMemoryRegistryKey;
  struct _tagSValue;
  struct _tagSKey;
  struct _tagSFault {
    Op op;
    std::wstring target;
    long status;
    int remaining;  // 0: always
  };

  _tagSKey& KeyLocked(const std::wstring& path);  // creates
  _tagSKey* FindLocked(const std::wstring& path);
  bool TakeFaultLocked(Op op, const std::wstring& target, long& status);

  std::mutex mLock;
  std::condition_variable_any mChanged;
  std::map<std::wstring, std::unique_ptr<_tagSKey>> mKeys;  // by folded path
  std::vector<_tagSFault> mFaults;
  int mOpenKeys = 0;
};
