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
