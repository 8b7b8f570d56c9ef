// Fuzzes the configuration loader: each input is written as a policy file and
// loaded through COSConfigManager, then every record it produced is queried
// and the manager destroyed.
//
// libxml2 allocates through counting functions: an input that makes it hold
// more than kMaxParserMegabytes at once aborts the run, so that a policy file
// that makes the parser allocate without bound (an expansion that multiplies
// its text) is caught however fast the run's memory grows.
//
// Everything happens in a temporary folder that is also the working folder
// (so the fallback to velmarconfig.xml stays inside it) and is removed at
// exit; the platform's sysfs root is an empty folder inside it; the log stays
// off (InitLog is never called). Nothing outside the folder is written: the
// loader only reads, and only local regular files.
#include <libxml/xmlmemory.h>
#include <malloc.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Platform/Text.h"
#include "zivorivizo/OSConfigMgr.h"
#include "zivorivizo/Platform.h"

namespace {

std::filesystem::path gFolder;
std::wstring gInput;

// What a load may make libxml2 hold at once.
constexpr long long kMaxParserMegabytes = 64;

// libxml2's live allocation, in bytes. The target runs one input at
// a time on one thread; libxml2 allocates on that thread only.
long long gLive = 0;
// What libxml2 held when the input in progress started; -1 between inputs.
long long gStart = -1;

// Aborts as soon as one input makes libxml2 hold too much, before the run's
// memory limit or timeout would.
void Count(long long bytes) {
  gLive += bytes;
  if (gStart >= 0 && gLive - gStart > kMaxParserMegabytes * 1024 * 1024) {
    std::fprintf(stderr, "ConfigFuzz: one input made libxml2 hold more than %lld MB\n",
                 kMaxParserMegabytes);
    std::abort();
  }
}

void* CountedMalloc(size_t size) {
  void* block = std::malloc(size);
  if (block != nullptr) {
    Count(static_cast<long long>(malloc_usable_size(block)));
  }
  return block;
}

void CountedFree(void* block) {
  if (block != nullptr) {
    Count(-static_cast<long long>(malloc_usable_size(block)));
    std::free(block);
  }
}

void* CountedRealloc(void* block, size_t size) {
  const long long before = block != nullptr ? static_cast<long long>(malloc_usable_size(block)) : 0;
  void* moved = std::realloc(block, size);
  if (moved != nullptr) {
    Count(static_cast<long long>(malloc_usable_size(moved)) - before);
  }
  return moved;
}

char* CountedStrdup(const char* text) {
  const size_t size = std::strlen(text) + 1;
  auto* copy = static_cast<char*>(CountedMalloc(size));
  if (copy != nullptr) {
    std::memcpy(copy, text, size);
  }
  return copy;
}

void RemoveFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(gFolder, ignored);
}

void Exercise(COSConfigManager& manager) {
  _tagSPlatformConfig platform;
  manager.GetPlatformConfig(platform);

  std::vector<_tagSDeviceConfig> devices;
  manager.GetAllDeviceConfigs(devices);
  for (const _tagSDeviceConfig& record : devices) {
    _tagSDeviceConfig query;
    query.strPath = L"ACPI\\" + record.strPath + L"\\0";
    manager.GetDeviceConfig(query);
  }
  _tagSDeviceConfig unknown;
  unknown.strPath = L"\\\\.\\NoSuchDevice";
  manager.GetDeviceConfig(unknown);

  std::vector<_tagSSensorConfig> sensors;
  manager.GetAllSensorConfigs(sensors);
  for (const _tagSSensorConfig& record : sensors) {
    _tagSSensorConfig query;
    query.strName = record.strName;
    manager.GetSensorConfig(query);
    std::vector<std::wstring> paths;
    manager.GetSensorDevices(record.strName, &paths);
  }
  _tagSSensorConfig added;
  added.strName = L"FuzzAddedSensor";
  added.iClass = 1;
  added.vecDevicePaths = {L"A", L"B"};
  manager.SetSensorConfig(added);
  manager.SetPlatformConfig(platform);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  // Before libxml2 allocates anything.
  xmlMemSetup(CountedFree, CountedMalloc, CountedRealloc, CountedStrdup);
  std::string pattern = (std::filesystem::temp_directory_path() / "zivo-fuzz-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    std::abort();
  }
  gFolder = pattern;
  std::atexit(RemoveFolder);
  std::filesystem::current_path(gFolder);
  std::filesystem::create_directory(gFolder / "sys");
  // Inputs that declare the documented grammar get it.
  std::error_code ignored;
  std::filesystem::copy_file(std::filesystem::path(ZIVO_DOCS_DIR) / "velmarconfig.dtd",
                             gFolder / "velmarconfig.dtd", ignored);
  CPlatform::Install(CreateLinuxPlatform((gFolder / "sys").string()));
  gInput = FromUtf8((gFolder / "input.xml").string());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  gStart = gLive;
  {
    std::ofstream out(gFolder / "input.xml", std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  try {
    COSConfigManager* manager = COSConfigManager::GetInstance(gInput);
    if (manager != nullptr) {
      Exercise(*manager);
    }
  } catch (int thrown) {
    // 15: the document could not be worked through (no Platform element).
    if (thrown != 15) {
      std::abort();
    }
  }
  COSConfigManager::DeleteInstance();
  gStart = -1;
  return 0;
}
