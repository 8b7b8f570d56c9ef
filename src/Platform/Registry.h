// Registry stand-in: the HKEY_LOCAL_MACHINE tree with REG_DWORD and REG_SZ
// values. Key paths and value names compare case-insensitively (ASCII), so
// "SOFTWARE\A\B" and "Software\a\b" are one key. Status values are the Windows
// error numbers the library distinguishes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stop_token>
#include <string>
#include <string_view>

#include "Platform/Text.h"

inline constexpr long REG_STATUS_SUCCESS = 0;              // ERROR_SUCCESS
inline constexpr long REG_STATUS_NOT_FOUND = 2;            // ERROR_FILE_NOT_FOUND
inline constexpr long REG_STATUS_ACCESS_DENIED = 5;        // ERROR_ACCESS_DENIED
inline constexpr long REG_STATUS_MORE_DATA = 234;          // ERROR_MORE_DATA
inline constexpr long REG_STATUS_CANCELLED = 995;          // ERROR_OPERATION_ABORTED
inline constexpr long REG_STATUS_UNSUPPORTED_TYPE = 1630;  // ERROR_UNSUPPORTED_TYPE

inline constexpr uint32_t REG_ACCESS_READ = 0x20019;        // KEY_READ
inline constexpr uint32_t REG_ACCESS_READ_WRITE = 0x2001F;  // KEY_READ | KEY_WRITE
inline constexpr uint32_t REG_ACCESS_ALL = 0xF003F;         // KEY_ALL_ACCESS

// A key path or value name in the form under which it compares: ASCII case
// folded, doubled and trailing separators dropped. Written into `clean`,
// whose storage is reused, so a caller that folds many names allocates once.
inline void FoldRegistryNameInto(std::wstring_view text, std::wstring& clean) {
  clean.resize(text.size());
  wchar_t* const first = clean.data();
  wchar_t* last = first;
  for (wchar_t c : text) {
    if (c == L'\\' && (last == first || last[-1] == L'\\')) {
      continue;
    }
    *last++ = FoldAsciiCase(c);
  }
  if (last != first && last[-1] == L'\\') {
    --last;
  }
  clean.resize(static_cast<std::size_t>(last - first));
}

inline std::wstring FoldRegistryName(std::wstring_view text) {
  std::wstring clean;
  FoldRegistryNameInto(text, clean);
  return clean;
}

// An open key; closes itself when destroyed. Thread-safe.
class CRegistryKey {
 public:
  virtual ~CRegistryKey() = default;
  // Reads exactly 4 bytes: a REG_DWORD, or a REG_SZ whose UTF-16 data with its
  // terminator fits in 4 bytes (taken little-endian). Anything longer fails
  // with REG_STATUS_MORE_DATA and leaves `value` untouched.
  virtual long QueryDword(const std::wstring& name, uint32_t& value) = 0;
  // Reads a REG_SZ into a caller buffer of `capacityBytes` bytes, counting two
  // bytes per character plus a two-byte terminator, as the Windows call does:
  // 128 bytes hold 63 characters. A longer value fails with
  // REG_STATUS_MORE_DATA and leaves `value` untouched.
  virtual long QueryString(const std::wstring& name, std::size_t capacityBytes,
                           std::wstring& value) = 0;
  virtual long SetDword(const std::wstring& name, uint32_t value) = 0;
  virtual long SetString(const std::wstring& name, const std::wstring& value) = 0;
  // Blocks until a value of this key is set (by anyone) after this key object
  // was opened or its previous wait returned, and returns REG_STATUS_SUCCESS;
  // returns REG_STATUS_CANCELLED as soon as `stop` is requested. So a watcher
  // that scans the key between waits misses no value set during its scan.
  virtual long WaitForValueChange(std::stop_token stop) = 0;
};

class CRegistry {
 public:
  virtual ~CRegistry() = default;
  // Opens an existing key under HKEY_LOCAL_MACHINE. On failure returns null
  // and sets `status`.
  virtual std::unique_ptr<CRegistryKey> Open(const std::wstring& path, uint32_t access,
                                             long& status) = 0;
  // Brings keys that the platform builds from the machine (the Linux
  // parameters key, a view of the thermal tree) up to date with it. A stored
  // registry has nothing to bring up to date. The participant manager calls
  // it before it reads the parameters key to enumerate or add participants.
  virtual void Refresh() {}
};
