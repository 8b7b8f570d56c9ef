// The process-wide configuration manager, filled from the XML policy file
// (velmarconfig.xml). GetInstance constructs it on the first call, loading the
// file; later calls return it whatever path they pass. DeleteInstance destroys
// it. A file that cannot be loaded, or that breaks a rule, leaves a manager
// that answers with the defaults (see CConfigManager).
//
// GetInstance and DeleteInstance are serialised with each other; a pointer
// returned by GetInstance stays valid until DeleteInstance, which must not run
// while another thread still uses it.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "zivorivizo/ConfigManager.h"
#include "zivorivizo/Export.h"

class CPlatform;
class CXmlDocument;
struct _tagSXmlNode;
struct ConfigLoadReport;

class ZIVO_EXPORT COSConfigManager : public CConfigManager {
 public:
  // Throws the int 15 (ZIVO_THROW_CONFIG_FAILED) when the document could not
  // be worked through at all (a failing parser call, or no Platform element).
  static COSConfigManager* GetInstance(std::wstring path);
  static void DeleteInstance();

  ~COSConfigManager() override;
  // Loads `path` again (an empty path means velmarconfig.xml in the working
  // folder, which is also tried when `path` does not load). Returns 0 when
  // loaded, 276 when no file loaded, 290 when a section broke a rule.
  int Init(std::wstring path) override;

 protected:
  // A manager that has loaded nothing yet and reports what its loads find
  // into `report` (which must outlive it): the checker behind
  // CheckConfigFile (zivorivizo/Diagnostics.h) derives from it.
  explicit COSConfigManager(ConfigLoadReport& report);

  // Init, letting an internal failure of the document escape as an exception
  // (which ends the construction).
  int LoadAndParse(std::wstring path);

 private:
  explicit COSConfigManager(std::wstring path);
  int LoadXMLFile(std::wstring path);
  int ParsePlatformConfig();
  int ParseDeviceConfig();
  int ParseSensorConfig();
  // One <Sensor> element, its name read into `record`: 0 when it was added,
  // 290 when it breaks a rule. `children` and `name` are the caller's scratch
  // storage, reused from one sensor to the next.
  int ParseSensor(_tagSXmlNode sensor, _tagSSensorConfig& record,
                  std::vector<_tagSXmlNode>& children, std::wstring& name);
  // The number of devices a skin sensor announces (-1 when it gives no
  // count; 0 for other classes).
  int ReadSkinDeviceCount(_tagSXmlNode sensor, int sensorClass, bool& countGiven,
                          std::wstring& count);
  // False when the throttle start is not below the shutdown temperature.
  bool ReadSensorTemperature(_tagSXmlNode element, _tagSSensorConfig& record);
  // A skin sensor's Device0, Device1... up to the announced count.
  void ReadSkinDevicePaths(_tagSXmlNode element, int announced, _tagSSensorConfig& record,
                           int& added);
  // 0, 278 (missing, null node or unreadable) or 279 (no attribute list).
  // `value` is written only on success, at most 254 characters.
  int getAttributeValue(_tagSXmlNode node, std::wstring_view name, std::wstring& value);
  // Reads a decimal attribute into `value`: true when the attribute starts
  // with a number; otherwise `value` is 0.
  bool ReadDecimalAttribute(_tagSXmlNode node, std::wstring_view name, int& value);
  // Adds a finding about `node` in the element mWhere when reporting.
  void Note(bool error, _tagSXmlNode node, const std::string& message);
  void NoteDeviceShadows(const std::vector<_tagSXmlNode>& devices);
  void NoteSkinCountMismatch(_tagSXmlNode sensor, bool countGiven, const std::wstring& count,
                             int announced, int added, int pathElements);

  static COSConfigManager* mpConfigManager;
  std::shared_ptr<CPlatform> mPlatform;
  std::unique_ptr<CXmlDocument> mDocument;
  // Set only by CheckConfigFile; the element being read, for its findings.
  ConfigLoadReport* mReport = nullptr;
  std::string mWhere;
};
