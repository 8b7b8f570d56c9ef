#include "Platform/Memory/MemoryRegistry.h"

#include <unordered_map>

namespace {

enum class _tagEValueType { Dword, String };

}  // namespace

struct CMemoryRegistry::_tagSValue {
  _tagEValueType type = _tagEValueType::Dword;
  uint32_t dword = 0;
  std::wstring text;
};

struct CMemoryRegistry::_tagSKey {
  // By folded name; looked up by a folded view without a string of its own.
  std::unordered_map<std::wstring, _tagSValue, WideNameHash, std::equal_to<>> values;
  uint64_t generation = 0;
};

class CMemoryRegistryKey : public CRegistryKey {
 public:
  CMemoryRegistryKey(std::shared_ptr<CMemoryRegistry> registry, CMemoryRegistry::_tagSKey& key)
      : mRegistry(std::move(registry)), mKey(key), mSeen(key.generation) {}

  ~CMemoryRegistryKey() override {
    std::lock_guard<std::mutex> hold(mRegistry->mLock);
    --mRegistry->mOpenKeys;
  }

  long QueryDword(const std::wstring& name, uint32_t& value) override {
    std::lock_guard<std::mutex> hold(mRegistry->mLock);
    const CMemoryRegistry::_tagSValue* found = Find(name);
    if (found == nullptr) {
      return REG_STATUS_NOT_FOUND;
    }
    if (found->type == _tagEValueType::Dword) {
      value = found->dword;
      return REG_STATUS_SUCCESS;
    }
    // A string read into a 4-byte buffer: UTF-16 data plus terminator.
    if ((found->text.size() + 1) * 2 > 4) {
      return REG_STATUS_MORE_DATA;
    }
    uint32_t raw = 0;
    if (!found->text.empty()) {
      raw = static_cast<uint32_t>(found->text[0]) & 0xFFFF;
    }
    value = raw;
    return REG_STATUS_SUCCESS;
  }

  long QueryString(const std::wstring& name, std::size_t capacityBytes,
                   std::wstring& value) override {
    std::lock_guard<std::mutex> hold(mRegistry->mLock);
    const CMemoryRegistry::_tagSValue* found = Find(name);
    if (found == nullptr) {
      return REG_STATUS_NOT_FOUND;
    }
    if (found->type != _tagEValueType::String) {
      return REG_STATUS_UNSUPPORTED_TYPE;
    }
    if ((found->text.size() + 1) * 2 > capacityBytes) {
      return REG_STATUS_MORE_DATA;
    }
    value = found->text;
    return REG_STATUS_SUCCESS;
  }

  long SetDword(const std::wstring& name, uint32_t value) override {
    CMemoryRegistry::_tagSValue v;
    v.type = _tagEValueType::Dword;
    v.dword = value;
    return Set(name, std::move(v));
  }

  long SetString(const std::wstring& name, const std::wstring& value) override {
    CMemoryRegistry::_tagSValue v;
    v.type = _tagEValueType::String;
    v.text = value;
    return Set(name, std::move(v));
  }

  long WaitForValueChange(std::stop_token stop) override {
    // A stop wakes the wait. The callback takes the lock before it notifies,
    // so the stop cannot fall between the wait's look at it and its sleep; it
    // is made before the lock is taken, since it runs at once when the stop
    // was already requested.
    const std::stop_callback wake(stop, [this] {
      { std::lock_guard<std::mutex> hold(mRegistry->mLock); }
      mRegistry->mChanged.notify_all();
    });
    std::unique_lock<std::mutex> hold(mRegistry->mLock);
    // Changes are counted from what this key object last saw, so a value set
    // between two waits (while the waiter scans the key) is not missed.
    const uint64_t start = mSeen;
    mRegistry->mChanged.wait(hold,
                             [&] { return mKey.generation != start || stop.stop_requested(); });
    const bool changed = mKey.generation != start;
    mSeen = mKey.generation;
    return changed ? REG_STATUS_SUCCESS : REG_STATUS_CANCELLED;
  }

 private:
  const CMemoryRegistry::_tagSValue* Find(const std::wstring& name) {
    return mRegistry->FindValueLocked(mKey, name);
  }

  long Set(const std::wstring& name, CMemoryRegistry::_tagSValue value) {
    {
      std::lock_guard<std::mutex> hold(mRegistry->mLock);
      mKey.values[FoldRegistryName(name)] = std::move(value);
      ++mKey.generation;
    }
    mRegistry->mChanged.notify_all();
    return REG_STATUS_SUCCESS;
  }

  std::shared_ptr<CMemoryRegistry> mRegistry;
  // Keys are never removed from the store, and the store lives as long as
  // this object holds mRegistry.
  CMemoryRegistry::_tagSKey& mKey;
  uint64_t mSeen;  // the key's generation when last seen by a wait (or the open)
};

CMemoryRegistry::CMemoryRegistry() = default;
CMemoryRegistry::~CMemoryRegistry() = default;

std::unique_ptr<CRegistryKey> CMemoryRegistry::Open(const std::wstring& path, uint32_t /*access*/,
                                                    long& status) {
  std::lock_guard<std::mutex> hold(mLock);
  _tagSKey* key = FindLocked(path);
  if (key == nullptr) {
    status = REG_STATUS_NOT_FOUND;
    return nullptr;
  }
  ++mOpenKeys;
  status = REG_STATUS_SUCCESS;
  return std::make_unique<CMemoryRegistryKey>(shared_from_this(), *key);
}

void CMemoryRegistry::CreateKey(const std::wstring& path) {
  std::lock_guard<std::mutex> hold(mLock);
  KeyLocked(path);
}

void CMemoryRegistry::SetDword(const std::wstring& path, const std::wstring& name, uint32_t value) {
  {
    std::lock_guard<std::mutex> hold(mLock);
    _tagSKey& key = KeyLocked(path);
    _tagSValue& v = key.values[FoldRegistryName(name)];
    v.type = _tagEValueType::Dword;
    v.dword = value;
    v.text.clear();
    ++key.generation;
  }
  mChanged.notify_all();
}

void CMemoryRegistry::SetString(const std::wstring& path, const std::wstring& name,
                                const std::wstring& value) {
  {
    std::lock_guard<std::mutex> hold(mLock);
    _tagSKey& key = KeyLocked(path);
    _tagSValue& v = key.values[FoldRegistryName(name)];
    v.type = _tagEValueType::String;
    v.text = value;
    v.dword = 0;
    ++key.generation;
  }
  mChanged.notify_all();
}

void CMemoryRegistry::DeleteValue(const std::wstring& path, const std::wstring& name) {
  std::lock_guard<std::mutex> hold(mLock);
  if (_tagSKey* key = FindLocked(path)) {
    key->values.erase(FoldRegistryName(name));
  }
}

bool CMemoryRegistry::ReadDword(const std::wstring& path, const std::wstring& name,
                                uint32_t& value) {
  std::lock_guard<std::mutex> hold(mLock);
  _tagSKey* key = FindLocked(path);
  if (key == nullptr) {
    return false;
  }
  const _tagSValue* found = FindValueLocked(*key, name);
  if (found == nullptr || found->type != _tagEValueType::Dword) {
    return false;
  }
  value = found->dword;
  return true;
}

bool CMemoryRegistry::ReadString(const std::wstring& path, const std::wstring& name,
                                 std::wstring& value) {
  std::lock_guard<std::mutex> hold(mLock);
  _tagSKey* key = FindLocked(path);
  if (key == nullptr) {
    return false;
  }
  const _tagSValue* found = FindValueLocked(*key, name);
  if (found == nullptr || found->type != _tagEValueType::String) {
    return false;
  }
  value = found->text;
  return true;
}

int CMemoryRegistry::OpenKeyCount() {
  std::lock_guard<std::mutex> hold(mLock);
  return mOpenKeys;
}

CMemoryRegistry::_tagSKey& CMemoryRegistry::KeyLocked(const std::wstring& path) {
  const std::wstring folded = FoldRegistryName(path);
  // Parents exist whenever a child does, as in a real registry.
  for (std::size_t at = folded.find(L'\\'); at != std::wstring::npos;
       at = folded.find(L'\\', at + 1)) {
    auto& parent = mKeys[folded.substr(0, at)];
    if (!parent) {
      parent = std::make_unique<_tagSKey>();
    }
  }
  auto& key = mKeys[folded];
  if (!key) {
    key = std::make_unique<_tagSKey>();
  }
  return *key;
}

CMemoryRegistry::_tagSKey* CMemoryRegistry::FindLocked(const std::wstring& path) {
  FoldRegistryNameInto(path, mFolded);
  auto it = mKeys.find(std::wstring_view(mFolded));
  return it == mKeys.end() ? nullptr : it->second.get();
}

const CMemoryRegistry::_tagSValue* CMemoryRegistry::FindValueLocked(const _tagSKey& key,
                                                                    const std::wstring& name) {
  FoldRegistryNameInto(name, mFolded);
  auto it = key.values.find(std::wstring_view(mFolded));
  return it == key.values.end() ? nullptr : &it->second;
}
