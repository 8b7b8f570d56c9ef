// The process-wide participant manager. GetInstance connects to the platform's
// firmware interface, checks that thermal management is enabled and creates
// the manager (throwing the int 13 when initialisation fails and 1000 when the
// platform has thermal management disabled); Enumerate discovers the
// registry-listed and firmware participants and links sensors to devices.
// DeleteInstance stops and destroys every participant.
//
// The manager owns every participant in its lists. A repeated Enumerate
// destroys the participants of the previous one (without stopping them)
// before it discovers anew. Not thread-safe: the host serialises its calls,
// GetInstance and DeleteInstance included. Not copyable: the one instance
// owns the participants and the connection.
//
// The parameters key's SensorCount and DeviceCount are each read up to
// MAX_DRIVER_PARTICIPANTS entries; a larger count is logged at Error and cut.
// A firmware sensor whose description cannot be read (an array of other than
// one dimension) is left out with an Error line, and discovery goes on. What
// the last Enumerate left out, by reason, is LeftOutByLastEnumerate
// (zivorivizo/Diagnostics.h).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "zivorivizo/Export.h"
#include "zivorivizo/ParticipantMgr.h"

class CPlatform;
class CWbemClassObject;
class CWbemServices;
class CDeviceNames;
struct SpareStorage;

class ZIVO_EXPORT COSParticipantManager : public CParticipantMgr {
 public:
  // The WMI class that EnumerateWmiNameSpace and AddParticipant walk.
  enum WMI_ENUM_ACCESS {
    WMI_ENUM_DEVICE = 0,  // DtmDeviceParticipantInformation
    WMI_ENUM_SENSOR = 2,  // DtmSensorParticipantInformation
  };

  // The most entries read from each count of the parameters key.
  static constexpr int MAX_DRIVER_PARTICIPANTS = 1024;

  static COSParticipantManager* GetInstance();
  static COSParticipantManager* GetInstance(int historyLength);
  static void DeleteInstance();

  ~COSParticipantManager() override;
  COSParticipantManager(const COSParticipantManager&) = delete;
  COSParticipantManager& operator=(const COSParticipantManager&) = delete;

  int Init(int historyLength, int& status) override;
  int Enumerate() override;
  int AddSensor(const std::wstring& name) override;
  int AddDevice(const std::wstring& name) override;

 private:
  // The firmware participants and the event subscriptions call through the
  // process-wide connection.
  friend class CWmiDevice;
  friend class CWmiSensor;
  friend class COSEventManager;

  explicit COSParticipantManager(int historyLength);
  int UpdateSensorDeviceLinks() override;
  // Links every sensor to the first device of each name in its Devices; the
  // lists of links take their storage from `spare` while it has some.
  // `numbered`, when given, is the table that read the sensors' lists: a
  // name it read by number is looked up once per number.
  int MakeLinks(SpareStorage& spare, const CDeviceNames* numbered = nullptr);
  // Reads the drivers' participants; `names` reads the device names.
  int EnumerateNonWmiDrivers(CDeviceNames& names);
  int EnumerateWmiNameSpace(WMI_ENUM_ACCESS access);
  int AddParticipant(std::wstring name, WMI_ENUM_ACCESS access,
                     std::shared_ptr<CWbemClassObject>& instance);
  // Takes every link apart and destroys every participant, without stopping
  // them; both lists end empty. The sensors' lists of device names and both
  // sides' lists of links go to `spare` when given.
  void DestroyParticipants(SpareStorage* spare = nullptr);
  // Links `sensor` to the first device of each name in its Devices.
  void LinkSensor(CSensor* sensor);
  void LinkDevice(CDevice* device);

  // The process-wide connection to "root\WMI": opened by Init, released by
  // the destructor; null before and after.
  static std::shared_ptr<CWbemServices> Connection();

  static COSParticipantManager* mParticipantManager;
  std::shared_ptr<CPlatform> mPlatform;
};
