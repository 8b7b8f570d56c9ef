// The simulated handheld: what a description puts on the platform, the load
// model, hotplug participants, and how a broken description is refused.
#include <gtest/gtest.h>

#include <span>
#include <vector>

#include "Platform/DriverProtocol.h"
#include "Platform/Wmi.h"
#include "Sim/SimDeviceDriver.h"
#include "Sim/SimScriptedDriver.h"
#include "support/SimPlatformTest.h"
#include "support/TempFolder.h"
#include "zivorivizo-sim/SimHandheld.h"

namespace {

const wchar_t kParameters[] = L"SOFTWARE\\Zelan\\VOVUZER\\Parameters";

class SimHandheldTest : public CSimPlatformTest {
 protected:
  std::unique_ptr<CSimHandheld> Install(const std::string& description) {
    _tagSHandheldError error;
    auto handheld = CSimHandheld::Parse(description, "test.json", error);
    EXPECT_TRUE(handheld) << error.Text();
    if (handheld) {
      handheld->Install(mPlatform);
    }
    return handheld;
  }

  static int32_t IntOf(const std::shared_ptr<CWbemClassObject>& object, const wchar_t* name) {
    CVariant value;
    int32_t number = -1;
    if (object && HrSucceeded(object->Get(name, value))) VariantToInt32(value, number);
    return number;
  }

  // The raw reading a firmware sensor answers, through the WMI connection.
  int32_t FirmwareReading(const std::wstring& name) {
    std::shared_ptr<CWbemClassObject> out;
    const std::wstring path =
        L"DtmSensorControlMethod.InstanceName=\"" + CMemoryWmi::EscapeKey(name) + L"\"";
    EXPECT_EQ(Wmi().Connect()->ExecMethod(path, L"GetCurrentTemperature", nullptr, &out),
              WBEM_S_NO_ERROR);
    return IntOf(out, L"temperature");
  }

  // One request to the driver at `path`; false when it cannot be opened or fails.
  template <typename T>
  bool DriverRequest(const std::wstring& path, uint32_t code, T& out) {
    uint32_t error = 0;
    auto handle = Devices().Open(path, error);
    if (!handle) {
      return false;
    }
    std::byte buffer[sizeof(T)] = {};
    if (!handle->Control(code, {}, buffer, error)) {
      return false;
    }
    return ReadDriverBlock(std::span<const std::byte>(buffer), out);
  }

  // SetThrottleState through the firmware's control method, as the library calls it.
  void ThrottleFirmwareDevice(const std::wstring& name, int32_t state) {
    auto services = Wmi().Connect();
    std::shared_ptr<CWbemClassObject> cls, signature, input;
    ASSERT_EQ(services->GetObject(L"DtmDeviceControlMethod", cls), WBEM_S_NO_ERROR);
    ASSERT_EQ(cls->GetMethod(L"SetThrottleState", &signature, nullptr), WBEM_S_NO_ERROR);
    ASSERT_EQ(signature->SpawnInstance(input), WBEM_S_NO_ERROR);
    ASSERT_EQ(input->Put(L"State", CVariant::I4(state)), WBEM_S_NO_ERROR);
    const std::wstring path =
        L"DtmDeviceControlMethod.InstanceName=\"" + CMemoryWmi::EscapeKey(name) + L"\"";
    ASSERT_EQ(services->ExecMethod(path, L"SetThrottleState", input, nullptr), WBEM_S_NO_ERROR);
  }

  bool FirmwarePublishes(const wchar_t* cls, const std::wstring& name) {
    return Wmi().Instance(cls, name) != nullptr;
  }

  // The parameters key's lists: "sensors A B devices C".
  std::wstring Listed() {
    std::wstring out;
    for (const wchar_t* kind : {L"Sensor", L"Device"}) {
      uint32_t count = 0;
      Registry().ReadDword(kParameters, std::wstring(kind) + L"Count", count);
      out += std::wstring(out.empty() ? L"" : L" ") + (kind[0] == L'S' ? L"sensors" : L"devices");
      for (uint32_t i = 0; i < count; ++i) {
        std::wstring path = L"?";
        Registry().ReadString(kParameters, kind + std::to_wstring(i), path);
        out += L" " + path;
      }
    }
    return out;
  }
};

TEST_F(SimHandheldTest, TheLoadModelHeatsAndThrottlingCools) {
  auto handheld = Install(R"({
    "step_seconds": 7,
    "ambient": 30.0,
    "devices": [ { "path": "/sim/fan", "maximum": 4 },
                 { "path": "/sim/charger", "maximum": 2 },
                 { "wmi": 1, "maximum": 3 } ],
    "sensors": [
      { "path": "/sim/cpu", "base": 2, "devices": [0], "temperature": 40.0,
        "heat": 1.0, "cooling": 2.0, "cooled_by": [ "/sim/charger" ] },
      { "wmi": 10, "devices": [77], "temperature": 30.5, "heat": 0.0, "cooling": 1.5 },
      { "wmi": 12, "devices": [1], "temperature": 50.0, "heat": 0.5, "cooling": 1.5 },
      { "wmi": 11, "temperature": 20.0, "heat": 0.0, "cooling": 5.0, "cooled_by": ["/sim/fan"] },
      { "path": "/sim/fixed", "readings": [ 50.0 ] }
    ]
  })");
  ASSERT_TRUE(handheld);
  const uint64_t before = Clock().UtcSeconds();
  auto fan = std::static_pointer_cast<CSimDeviceDriver>(Devices().Driver(L"/sim/fan"));
  auto charger = std::static_pointer_cast<CSimDeviceDriver>(Devices().Driver(L"/sim/charger"));
  ASSERT_TRUE(fan && charger);

  handheld->Step();
  EXPECT_EQ(Clock().UtcSeconds(), before + 7);
  EXPECT_EQ(handheld->Temperature(L"/sim/cpu"), 3142) << "40.0 + 1.0, nothing throttled";
  int32_t reading = 0;
  ASSERT_TRUE(DriverRequest(L"/sim/cpu", DRIVER_SENSOR_GET_TEMP, reading));
  EXPECT_EQ(reading, 41) << "reported in the sensor's unit";
  EXPECT_EQ(FirmwareReading(L"ACPI\\PNP0C14\\12_0"), 3237) << "a firmware sensor is modelled";

  fan->SetState(2);                                  // half of 2.0
  charger->SetState(2);                              // all of 2.0
  ThrottleFirmwareDevice(L"ACPI\\PNP0C14\\1_0", 2);  // two thirds of 1.5
  EXPECT_EQ(handheld->ThrottleState(L"ACPI\\PNP0C14\\1_0"), 2u);
  handheld->Step();
  EXPECT_EQ(handheld->Temperature(L"/sim/cpu"), 3142 + 10 - 10 - 20);
  EXPECT_EQ(handheld->Temperature(L"ACPI\\PNP0C14\\12_0"), 3232 + 5 + 5 - 10);

  // Cooling stops at the ambient temperature, or at the start when lower;
  // a device number that names no device cools nothing.
  for (int i = 0; i < 5; ++i) {
    handheld->Step();
  }
  EXPECT_EQ(handheld->Temperature(L"ACPI\\PNP0C14\\10_0"), 3037);
  EXPECT_EQ(handheld->Temperature(L"ACPI\\PNP0C14\\11_0"), 2932);
  EXPECT_EQ(FirmwareReading(L"ACPI\\PNP0C14\\11_0"), 2932);
  EXPECT_EQ(handheld->Temperature(L"/sim/cpu"), 3032);
  ASSERT_TRUE(DriverRequest(L"/sim/fixed", DRIVER_SENSOR_GET_TEMP, reading));
  EXPECT_EQ(reading, 3232) << "fixed readings are not modelled";

  // A faulty sensor reports 255.0 degrees until it is mended.
  ASSERT_TRUE(handheld->SetFaulty(L"/sim/cpu", true));
  ASSERT_TRUE(handheld->SetFaulty(L"ACPI\\PNP0C14\\10_0", true));
  ASSERT_TRUE(DriverRequest(L"/sim/cpu", DRIVER_SENSOR_GET_TEMP, reading));
  EXPECT_EQ(reading, 255);
  EXPECT_EQ(FirmwareReading(L"ACPI\\PNP0C14\\10_0"), CSimHandheld::kFaultyTemp);
  handheld->Step();
  EXPECT_EQ(FirmwareReading(L"ACPI\\PNP0C14\\10_0"), CSimHandheld::kFaultyTemp);
  ASSERT_TRUE(handheld->SetFaulty(L"ACPI\\PNP0C14\\10_0", false));
  EXPECT_EQ(FirmwareReading(L"ACPI\\PNP0C14\\10_0"), 3037);
  EXPECT_FALSE(handheld->SetFaulty(L"/sim/none", true));
}
TEST_F(SimHandheldTest, HotplugParticipantsAppearOnlyWhenPublished) {
  auto handheld = Install(R"({
    "devices": [ { "wmi": 4, "maximum": 2, "hotplug": true },
                 { "path": "/sim/fan", "maximum": 3 },
                 { "path": "/sim/late", "maximum": 3, "hotplug": true } ],
    "sensors": [ { "wmi": 13, "devices": [4], "hotplug": true, "temperature": 40.0 },
                 { "path": "/sim/late-sensor", "hotplug": true, "temperature": 30.0 } ]
  })");
  ASSERT_TRUE(handheld);
  EXPECT_FALSE(FirmwarePublishes(L"DtmDeviceParticipantInformation", L"ACPI\\PNP0C14\\4_0"));
  EXPECT_FALSE(FirmwarePublishes(L"DtmSensorParticipantInformation", L"ACPI\\PNP0C14\\13_0"));
  EXPECT_EQ(Listed(), L"sensors devices /sim/fan");

  EXPECT_FALSE(handheld->Publish(L"/sim/fan")) << "not a hotplug participant";
  EXPECT_FALSE(handheld->Publish(L"/sim/nothing"));
  handheld->Step();  // a held-back sensor is not reported
  EXPECT_FALSE(FirmwarePublishes(L"DtmSensorParticipantInformation", L"ACPI\\PNP0C14\\13_0"));

  EXPECT_TRUE(handheld->Publish(L"ACPI\\PNP0C14\\13_0"));
  EXPECT_TRUE(FirmwarePublishes(L"DtmSensorParticipantInformation", L"ACPI\\PNP0C14\\13_0"));
  EXPECT_TRUE(FirmwarePublishes(L"DtmSensorControlMethod", L"ACPI\\PNP0C14\\13_0"));
  EXPECT_EQ(FirmwareReading(L"ACPI\\PNP0C14\\13_0"), 3132) << "the model's current value";
  EXPECT_FALSE(handheld->Publish(L"ACPI\\PNP0C14\\13_0")) << "published already";
  EXPECT_TRUE(handheld->Publish(L"ACPI\\PNP0C14\\4_0"));
  EXPECT_TRUE(FirmwarePublishes(L"DtmDeviceParticipantInformation", L"ACPI\\PNP0C14\\4_0"));

  // A registry-listed one is appended to the parameters key and its driver
  // can be opened.
  uint32_t state = 0;
  EXPECT_FALSE(DriverRequest(L"/sim/late", DRIVER_DEVICE_GET_STATE, state));
  EXPECT_TRUE(handheld->Publish(L"/sim/late"));
  EXPECT_TRUE(handheld->Publish(L"/sim/late-sensor"));
  EXPECT_EQ(Listed(), L"sensors /sim/late-sensor devices /sim/fan /sim/late");
  EXPECT_TRUE(DriverRequest(L"/sim/late", DRIVER_DEVICE_GET_STATE, state));
  int32_t reading = 0;
  EXPECT_TRUE(DriverRequest(L"/sim/late-sensor", DRIVER_SENSOR_GET_TEMP, reading));
  EXPECT_EQ(reading, 3032) << "30.0 degrees, from the model";
}

// A host left running on the handheld reads its sensors for ever: the drivers'
// record of requests keeps the newest ones only, and none once told so.
TEST_F(SimHandheldTest, ADriverKeepsABoundedRecordOfItsNewestRequests) {
  auto handheld = Install(R"({ "sensors": [ { "path": "/sim/cpu", "temperature": 40.0 } ] })");
  ASSERT_TRUE(handheld);
  auto driver = std::static_pointer_cast<CSimScriptedDriver>(Devices().Driver(L"/sim/cpu"));
  ASSERT_TRUE(driver);
  const std::size_t bound = CSimScriptedDriver::kMaxRecordedRequests;
  int32_t reading = 0;
  for (std::size_t i = 0; i < bound + 10; ++i) {
    ASSERT_TRUE(DriverRequest(L"/sim/cpu", DRIVER_SENSOR_GET_TEMP, reading));
  }
  uint32_t error = 0;
  auto handle = Devices().Open(L"/sim/cpu", error);
  ASSERT_TRUE(handle);
  const std::byte last[] = {std::byte{7}};
  _tagSTripBlock trips;
  handle->Control(DRIVER_SENSOR_GET_TRIPS, last, std::as_writable_bytes(std::span(&trips, 1)),
                  error);
  const auto kept = driver->Requests();
  EXPECT_LE(kept.size(), bound);
  EXPECT_GE(kept.size(), bound / 2);
  ASSERT_FALSE(kept.empty());
  EXPECT_EQ(kept.back().code, DRIVER_SENSOR_GET_TRIPS) << "the newest request is kept";
  EXPECT_EQ(kept.back().input, std::vector<std::byte>(last, last + 1));

  driver->ClearRequests();
  driver->KeepRequests(false);
  EXPECT_TRUE(DriverRequest(L"/sim/cpu", DRIVER_SENSOR_GET_TEMP, reading)) << "still answered";
  EXPECT_EQ(driver->CountRequests(SIM_ANY_REQUEST), 0);
}

TEST_F(SimHandheldTest, ABrokenDescriptionIsRefusedWithTheFilePlaceAndProblem) {
  struct _tagSCase {
    const char* text;
    const char* place;
    const char* problem;  // a part of it
  };
  const _tagSCase cases[] = {
      {"{\n  \"devices\": [\n    { \"wmi\": 1, }\n  ]\n}", "line 3:17", "JSON syntax error"},
      {"[1, 2]", "top level", "must be a JSON object"},
      {R"({"devices": [{"wmi": 1, "maximum": 2}, {"wmi": 2, "maximum": 2},
                       {"wmi": 3, "maximum": -1}]})",
       "devices[2].maximum", "from 0 to 4294967295, not -1"},
      {R"({"devices": [{"wmi": 1, "maximum": 2.5}]})", "devices[0].maximum", "whole number"},
      {R"({"devices": [{"wmi": 1}]})", "devices[0]", "needs \"maximum\""},
      {R"({"devices": [{"wmi": 1, "maximum": 2, "current": 3}]})", "devices[0].current",
       "above the maximum 2"},
      {R"({"devices": [{"wmi": 1, "maximum": 2, "maximun": 3}]})", "devices[0].maximun",
       "unknown key"},
      {R"({"devices": [{"maximum": 2}]})", "devices[0]", "needs \"wmi\""},
      {R"({"devices": [{"wmi": 1, "path": "/a", "maximum": 2}]})", "devices[0]", "both"},
      {R"({"devices": [{"wmi": 1, "maximum": 2}], "sensors": [{"wmi": 1}]})", "sensors[0].wmi",
       "already used by devices[0].wmi"},
      {R"({"devices": [{"path": "/a", "maximum": 2}], "sensors": [{"path": "/a"}]})",
       "sensors[0].path", "already used"},
      {R"({"sensors": [{"path": "/0123456789012345678901234567890123456789012345678901234567890123"}]})",
       "sensors[0].path", "at most 63"},
      {R"({"sensors": [{"wmi": 1, "base": 3}]})", "sensors[0].base", "from 0 to 2"},
      {R"({"sensors": [{"wmi": 1, "trips": [{"id": 0}]}]})", "sensors[0].trips[0]",
       "needs \"id\" and \"temp\""},
      {R"({"sensors": [{"path": "/a", "trips": [{"id": 0, "temp": 1}, {"id": 1, "temp": 2},
                                                {"id": 2, "temp": 3}]}]})",
       "sensors[0].trips", "at most 2"},
      {R"({"sensors": [{"wmi": 1, "temperature": 36.25}]})", "sensors[0].temperature",
       "more than one decimal"},
      {R"({"sensors": [{"wmi": 1, "temperature": -300}]})", "sensors[0].temperature",
       "from -273.2"},
      {R"({"sensors": [{"wmi": 1, "readings": [30.0], "heat": 1.0}]})", "sensors[0].heat",
       "not heated by the load model"},
      {R"({"sensors": [{"wmi": 1, "readings": []}]})", "sensors[0].readings", "at least one"},
      {R"({"sensors": [{"wmi": 1, "aux_count": 2}]})", "sensors[0].aux_count", "registry"},
      {R"({"sensors": [{"wmi": 1, "cooled_by": ["/fan"]}]})", "sensors[0].cooled_by[0]",
       "names no device"},
      {R"({"registry": [{"key": "A", "values": {"V": [1]}}]})", "registry[0].values.V",
       "REG_DWORD"},
      {R"({"step_seconds": 0})", "step_seconds", "from 1 to 3600"},
  };
  for (const _tagSCase& c : cases) {
    SCOPED_TRACE(c.text);
    _tagSHandheldError error;
    EXPECT_EQ(CSimHandheld::Parse(c.text, "broken.json", error), nullptr);
    EXPECT_EQ(error.file, "broken.json");
    EXPECT_EQ(error.place, c.place);
    EXPECT_NE(error.problem.find(c.problem), std::string::npos) << error.problem;
    EXPECT_EQ(error.Text(), "broken.json: " + error.place + ": " + error.problem);
  }

  CTempFolder folder;
  _tagSHandheldError error;
  const std::string missing = folder.Path() + "/none.json";
  EXPECT_EQ(CSimHandheld::Load(missing, error), nullptr);
  EXPECT_EQ(error.Text(), missing + ": file: cannot be opened for reading");
  const std::string good = folder.Write("good.json", R"({"name": "tiny"})");
  auto handheld = CSimHandheld::Load(good, error);
  ASSERT_NE(handheld, nullptr);
  EXPECT_EQ(handheld->Name(), "tiny");
}

}  // namespace
