// The firmware sensor: its description (device names, trip points, arrays
// that misbehave), temperatures with the faulty-sensor shutdown, and trip
// points written and verified.
#include <gtest/gtest.h>

#include <tuple>

#include "PartMgr/WmiSensor.h"
#include "Platform/Text.h"
#include "support/ManagerTest.h"
#include "zivorivizo/StatusCodes.h"

namespace {

using Trips = std::vector<std::pair<uint32_t, uint16_t>>;

class WmiSensorTest : public CManagerTest {
 protected:
  void SetUp() override {
    CManagerTest::SetUp();
    Manager();
    mSensor.instanceName = L"ACPI\\PNP0C14\\7_0";
    mSensor.base = 1;
    mSensor.list = {1, 2};
    mSensor.trips = {0, 3300, 1, 3500};
    mSensor.temperatures = {3000};
  }

  std::unique_ptr<CWmiSensor> Publish() {
    Firmware().AddSensor(mSensor);
    return std::make_unique<CWmiSensor>(3, SensorInstance(mSensor.instanceName));
  }
  void FailTemperature() {
    Faults().Fail(FaultOp::WmiExecMethod, WBEM_E_FAILED,
                  mSensor.instanceName + L"/" + L"GetCurrentTemperature");
  }
  static Trips TripsOf(const CSensor& sensor) {
    Trips trips;
    for (const _tagSAuxTrip& trip : sensor.mSensor.TripPoints) {
      trips.emplace_back(trip.AuxType, trip.Temp);
    }
    return trips;
  }

  _tagSSimWmiSensor mSensor;
};

TEST_F(WmiSensorTest, ReadsDevicesAndTripsAndTakesAFirstReading) {
  mSensor.caps = 0x21;
  mSensor.type = 6;
  auto sensor = Publish();
  const _tagSSensor& s = sensor->mSensor;
  EXPECT_EQ(std::tie(s.Name, s.Caps, s.Base, s.Class),
            std::make_tuple(mSensor.instanceName, 0x21u, uint16_t{1}, 0u))
      << "type 6 is stored as 0";
  EXPECT_EQ(s.Devices, (std::vector<std::wstring>{FirmwareDeviceName(1), FirmwareDeviceName(2)}));
  EXPECT_EQ(TripsOf(*sensor), (Trips{{0, 3300}, {1, 3500}}));
  ASSERT_EQ(s.TempHistory.size(), 4u) << "three zero samples and the first reading";
  EXPECT_EQ(s.TempHistory[0].Temp, 3000);
}

TEST_F(WmiSensorTest, TripsAreTakenInPairsBeforeTheFirstRefreshConvertsThem) {
  mSensor.base = 2;
  mSensor.trips = {0, 30, 9, 40, 2};
  mSensor.temperatures = {25};
  FailTemperature();  // the constructor's refresh fails: the trips stay raw
  auto sensor = Publish();
  EXPECT_EQ(TripsOf(*sensor), (Trips{{0, 30}, {0, 40}}))
      << "an identifier of 9 is stored as 0; the fifth element has no temperature";
  EXPECT_EQ(sensor->Refresh(), ZIVO_SUCCESS);
  EXPECT_EQ(sensor->mSensor.TempHistory[0].Temp, 2982);
  EXPECT_EQ(TripsOf(*sensor), (Trips{{0, 3032}, {0, 3032}}))
      << "both entries read the trip of identifier 0, in tenths of kelvin";
}

TEST_F(WmiSensorTest, ElementsAndPropertiesThatCannotBeReadAddNothing) {
  mSensor.list = {1, 2, 3};
  Faults().Fail(FaultOp::ArrayElement, E_FAIL, L"List[1]", 1, CFaultPlan::kAlways);
  mSensor.tripsArray = std::make_shared<CSafeArray>(std::vector<int32_t>{0, 3300, 1, 3500}, 1);
  // The identifier of the second pair.
  Faults().Fail(FaultOp::ArrayElement, E_FAIL, L"Trips[3]", 1, CFaultPlan::kAlways);
  FailTemperature();
  auto sensor = Publish();
  EXPECT_EQ(sensor->mSensor.Devices,
            (std::vector<std::wstring>{FirmwareDeviceName(1), FirmwareDeviceName(3)}));
  EXPECT_EQ(TripsOf(*sensor), (Trips{{0, 3300}}));

  Faults().Clear();
  mSensor.list = {1};
  Faults().Fail(FaultOp::ArrayUBound, E_FAIL, L"List", 1, CFaultPlan::kAlways);
  mSensor.tripsArray = nullptr;
  Faults().Fail(FaultOp::ArrayLBound, E_FAIL, L"Trips", 1, CFaultPlan::kAlways);
  sensor = Publish();
  EXPECT_TRUE(sensor->mSensor.Devices.empty());
  EXPECT_TRUE(sensor->mSensor.TripPoints.empty());
  Faults().Clear();

  // Property names ignore case: "Trips" is the second "trips" read.
  for (const auto& [property, nth] : std::vector<std::pair<std::wstring, int>>{{L"device", 1},
                                                                               {L"List", 1},
                                                                               {L"trips", 1},
                                                                               {L"Trips", 2},
                                                                               {L"caps", 1},
                                                                               {L"base", 1},
                                                                               {L"type", 1}}) {
    SCOPED_TRACE(ToUtf8(property));
    mSensor.caps = 5;
    mSensor.type = 3;
    Faults().Fail(FaultOp::WmiGet, WBEM_E_FAILED, property, nth, 1);
    auto partial = Publish();
    EXPECT_EQ(partial->mSensor.Devices.empty(), property == L"device" || property == L"List");
    EXPECT_EQ(partial->mSensor.TripPoints.empty(), WmiNameEquals(property, L"trips"));
    EXPECT_EQ(partial->mSensor.Caps, property == L"caps" ? 0u : 5u);
    EXPECT_EQ(partial->mSensor.Class, property == L"type" ? 0u : 3u);
  }
}

TEST_F(WmiSensorTest, AnArrayOfTwoDimensionsIsRefusedWithAStringException) {
  mSensor.listArray = std::make_shared<CSafeArray>(std::vector<_tagSSafeArrayBound>{{2, 0}, {1, 0}},
                                                   std::vector<int32_t>{1, 2});
  try {
    Publish();
    ADD_FAILURE() << "no exception";
  } catch (const char* text) {
    EXPECT_STREQ(text, "Type Mismatch in Parameter. Pass a one-dimensional array");
  }
  mSensor.listArray.reset();
  mSensor.tripsArray = std::make_shared<CSafeArray>(
      std::vector<_tagSSafeArrayBound>{{2, 0}, {2, 0}}, std::vector<int32_t>{0, 3300, 1, 3500});
  EXPECT_THROW(Publish(), const char*);
}

TEST_F(WmiSensorTest, TwoFaultyReadingsInARowRequestOneShutdown) {
  auto sensor = Publish();
  int32_t temperature = 0;
  Firmware().SetTemperatures(mSensor.instanceName, {5282, 5281});
  EXPECT_EQ(sensor->GetCurrentTemp(temperature), ZIVO_SUCCESS);
  EXPECT_EQ(temperature, 5281);
  EXPECT_TRUE(Power().Shutdowns().empty());

  Firmware().SetTemperatures(mSensor.instanceName, {5282, 5282, 3000});
  EXPECT_EQ(sensor->GetCurrentTemp(temperature), ZIVO_SUCCESS);
  EXPECT_EQ(temperature, 5282);
  const auto shutdowns = Power().Shutdowns();
  ASSERT_EQ(shutdowns.size(), 1u);
  EXPECT_EQ(shutdowns[0].timeoutSeconds, 60u);
  EXPECT_EQ(shutdowns[0].message,
            L"One of the temperature sensors is faulty, please contact your support. To "
            L"protect, system is shutting now...");

  FailTemperature();
  Firmware().ClearCalls();
  EXPECT_EQ(sensor->GetCurrentTemp(temperature), ZIVO_WMI_EXEC_FAILED);
  EXPECT_TRUE(Firmware().Calls(L"GetCurrentTemperature").empty()) << "no second attempt";
  Faults().Fail(FaultOp::WmiGet, WBEM_E_FAILED, L"temperature");
  EXPECT_EQ(sensor->GetCurrentTemp(temperature), ZIVO_WMI_GET_FAILED);
}

// A Celsius sensor reports signed 16-bit values: below zero is cold, not a
// faulty sensor, for readings and trips alike; 255 degrees and above stays
// faulty.
TEST_F(WmiSensorTest, CelsiusWordsAreSignedAndOnlyHeatIsFaulty) {
  mSensor.base = 2;
  mSensor.trips = {0, -5, 1, 60};
  for (const auto& [raw, tenths] : std::vector<std::pair<int32_t, int32_t>>{
           {30, 3032}, {-10, 2632}, {0xFFF6, 2632}, {254, 5272}, {255, 5282}, {32767, 330402}}) {
    mSensor.temperatures = {raw};
    auto sensor = Publish();
    Power().ClearRequests();
    int32_t temperature = 0;
    EXPECT_EQ(sensor->GetCurrentTemp(temperature), ZIVO_SUCCESS);
    EXPECT_EQ(temperature, tenths);
    EXPECT_EQ(Power().Shutdowns().size(), tenths >= 5282 ? 1u : 0u) << raw;
  }
  auto sensor = Publish();
  EXPECT_EQ(TripsOf(*sensor), (Trips{{0, 2682}, {1, 3332}}));
  sensor->mSensor.TripPoints = {{0, 2632}, {1, 2732}};
  Firmware().ClearCalls();
  EXPECT_EQ(sensor->SetSensorTripValue(), ZIVO_SUCCESS);
  EXPECT_EQ(
      static_cast<uint32_t>(Firmware().Calls(L"SetSensorTrip").at(0).inputs.at(L"SensorTripPoint")),
      0xFFF60000u);
}

TEST_F(WmiSensorTest, TripPointsAreWrittenPackedAndVerifiedInEveryUnit) {
  // Kelvin keeps whole degrees and Celsius whole degrees above 2732: the
  // read-back shows what the sensor kept, in tenths of kelvin.
  for (const auto& [base, written, sent, kept] :
       std::vector<std::tuple<int32_t, uint16_t, int32_t, uint16_t>>{
           {1, 3400, 3400, 3400}, {0, 3405, 340, 3400}, {2, 3232, 50, 3232}, {2, 3237, 50, 3232}}) {
    mSensor.base = base;
    auto sensor = Publish();
    sensor->mSensor.TripPoints = {{0, written}, {1, written}};
    Firmware().ClearCalls();
    EXPECT_EQ(sensor->SetSensorTripValue(), ZIVO_SUCCESS) << "base " << base;
    const auto sets = Firmware().Calls(L"SetSensorTrip");
    ASSERT_EQ(sets.size(), 2u);
    EXPECT_EQ(sets[0].inputs.at(L"SensorTripPoint"), sent * 65536 + 0);
    EXPECT_EQ(sets[1].inputs.at(L"SensorTripPoint"), sent * 65536 + 1);
    EXPECT_EQ(Firmware().Calls(L"GetSensorTrip").size(), 2u) << "one pass";
    EXPECT_EQ(TripsOf(*sensor), (Trips{{0, kept}, {1, kept}}));
  }
}

// However many trip points a sensor has, writing them succeeds once each
// reads back what was written to it, within four passes; an identifier wider
// than its 16 bits is refused before anything is sent.
TEST_F(WmiSensorTest, EveryTripEntryIsVerifiedAndWideIdentifiersAreRefused) {
  struct Case {
    std::vector<_tagSAuxTrip> written;
    int32_t offset;
    int status;
    std::size_t reads;  // GetSensorTrip calls
  };
  mSensor.trips = {0, 3300, 1, 3500, 2, 3700};
  auto sensor = Publish();
  for (const Case& c : std::vector<Case>{
           {{{0, 3400}}, 0, ZIVO_SUCCESS, 1},
           {{{0, 3400}}, 1, ZIVO_TRIP_MISMATCH, 4},
           {{{0, 3400}, {1, 3600}}, 1, ZIVO_TRIP_MISMATCH, 8},
           {{{0, 3400}, {1, 3600}, {2, 3800}}, 0, ZIVO_SUCCESS, 3},
           {{}, 0, ZIVO_SUCCESS, 0},
           {{{0, 3400}, {0, 3600}}, 0, ZIVO_TRIP_MISMATCH, 8},  // the sensor keeps the later
           {{{0xFFFF, 3400}}, 0, ZIVO_SUCCESS, 1},
           {{{0, 3400}, {0x10000, 3600}}, 0, ZIVO_WMI_PUT_FAILED, 0},
       }) {
    sensor->mSensor.TripPoints = c.written;
    Firmware().SetTripReadBackOffset(mSensor.instanceName, c.offset);
    Firmware().ClearCalls();
    EXPECT_EQ(sensor->SetSensorTripValue(), c.status) << c.written.size();
    EXPECT_EQ(Firmware().Calls(L"GetSensorTrip").size(), c.reads);
    EXPECT_EQ(Firmware().Calls(L"SetSensorTrip").size(),
              c.status == ZIVO_WMI_PUT_FAILED ? 0u : c.written.size());
  }
  Firmware().SetTripReadBackOffset(mSensor.instanceName, 0);
  sensor->mSensor.TripPoints = {{0, 3400}};
  Faults().Fail(FaultOp::WmiExecMethod, WBEM_E_FAILED,
                mSensor.instanceName + L"/" + L"GetSensorTrip");
  EXPECT_EQ(sensor->SetSensorTripValue(), ZIVO_TRIP_MISMATCH);
}

TEST_F(WmiSensorTest, EachFailingStepOfATripCallHasItsStatus) {
  auto sensor = Publish();
  for (const auto& [op, target, getStatus, setStatus] :
       std::vector<std::tuple<FaultOp, const wchar_t*, int, int>>{
           {FaultOp::WmiGetObject, L"", ZIVO_WMI_GETOBJECT_FAILED, ZIVO_WMI_GETOBJECT_FAILED},
           {FaultOp::WmiGetMethod, L"", ZIVO_WMI_GET_FAILED, ZIVO_WMI_GET_FAILED},
           {FaultOp::WmiSpawnInstance, L"", ZIVO_WMI_CREATE_FAILED, ZIVO_WMI_CREATE_FAILED},
           {FaultOp::WmiPut, L"", ZIVO_WMI_CREATE_FAILED, ZIVO_WMI_PUT_FAILED},
           {FaultOp::WmiExecMethod, L"", ZIVO_WMI_EXEC_FAILED, ZIVO_WMI_EXEC_FAILED},
           {FaultOp::WmiGet, L"temp", ZIVO_WMI_GET_FAILED, ZIVO_TRIP_MISMATCH},
       }) {
    Faults().Fail(op, WBEM_E_FAILED, target);
    EXPECT_EQ(sensor->GetSensorTripValue(), getStatus) << static_cast<int>(op);
    Faults().Clear();
    Faults().Fail(op, WBEM_E_FAILED, target);
    EXPECT_EQ(sensor->SetSensorTripValue(), setStatus) << static_cast<int>(op);
    Faults().Clear();
  }

  // The second trip's read fails: the first keeps what it read.
  Firmware().SetTrip(mSensor.instanceName, 0, 3310);
  Firmware().SetTrip(mSensor.instanceName, 1, 3510);
  Faults().Fail(FaultOp::WmiExecMethod, WBEM_E_FAILED, L"GetSensorTrip", 2, 1);
  EXPECT_EQ(sensor->GetSensorTripValue(), ZIVO_WMI_EXEC_FAILED);
  EXPECT_EQ(TripsOf(*sensor), (Trips{{0, 3310}, {1, 3500}}));

  Faults().Fail(FaultOp::WmiExecMethod, WBEM_E_FAILED, mSensor.instanceName + L"/" + L"Start");
  EXPECT_EQ(sensor->Start(), ZIVO_WMI_EXEC_FAILED);
  EXPECT_EQ(sensor->Stop(), ZIVO_SUCCESS);
}

}  // namespace
