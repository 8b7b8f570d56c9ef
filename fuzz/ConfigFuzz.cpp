// Fuzzes the configuration loader: each input is written as a policy file and
// loaded through COSConfigManager, then every record it produced is queried
// and the manager destroyed.
//
// Everything happens in a temporary folder that is also the working folder
// (so the fallback to velmarconfig.xml stays inside it) and is removed at
// exit; the platform's sysfs root is an empty folder inside it; the log stays
// off (InitLog is never called). Nothing outside the folder is written: the
// loader only reads, and only local regular files.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
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
  return 0;
}
