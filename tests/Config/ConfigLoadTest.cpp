// Loading the configuration file: the singleton, the platform and device
// sections, the attribute reader, and every way a load can fail.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <sstream>

#include "Platform/Text.h"
#include "support/ConfigFileTest.h"
#include "zivorivizo/OSConfigMgr.h"
#include "zivorivizo/StatusCodes.h"

namespace {

const std::string kSkinSensor =
    R"(<Sensor Path="TZ01" class="1" ThirdParty_DeviceCount="1">
         <Temperature shutdown="45" ThrottleStart="30"/><SUsage enable="1" aux_interval="2"/>
         <DevicePath Device0="FAN"/></Sensor>)";

std::string Device(const std::string& path, int limit, int step) {
  return "<Device Path=\"" + path + "\" class=\"3\"><Throttle limit=\"" + std::to_string(limit) +
         "\" step=\"" + std::to_string(step) +
         "\" priority=\"2\"/><DUsage enable=\"1\" shutdown=\"0\"/></Device>";
}

}  // namespace

class ConfigLoadTest : public CConfigFileTest {
 protected:
  COSConfigManager* Load(const std::string& body, const std::string& platform) {
    return COSConfigManager::GetInstance(Write("velmarconfig.xml", ConfigText(body, platform)));
  }
  COSConfigManager* Load(const std::string& body) {
    return COSConfigManager::GetInstance(Write("velmarconfig.xml", ConfigText(body)));
  }
  static bool Loaded(COSConfigManager* manager) {
    // Only a loaded manager accepts an update.
    _tagSPlatformConfig platform;
    manager->GetPlatformConfig(platform);
    return manager->SetPlatformConfig(platform) == 0;
  }
  static _tagSDeviceConfig DeviceOf(COSConfigManager* manager, const std::wstring& path) {
    _tagSDeviceConfig device;
    device.strPath = path;
    EXPECT_EQ(manager->GetDeviceConfig(device), 0) << ToUtf8(path);
    return device;
  }
  // Class, limit, step, priority, usage enable, usage shutdown.
  static std::vector<int> FieldsOf(COSConfigManager* manager, const std::wstring& path) {
    const _tagSDeviceConfig d = DeviceOf(manager, path);
    return {d.iClass,    d.iThrottleLimit, d.iThrottleStep,
            d.iPriority, d.iUsageEnable,   d.iUsageShutdown};
  }
  static std::vector<int> PlatformFields(COSConfigManager* manager) {
    const _tagSPlatformConfig p = PlatformOf(manager);
    return {p.iShutdownOption, p.iShutdownTimer, p.iThrottlePreference};
  }
  static _tagSPlatformConfig PlatformOf(COSConfigManager* manager) {
    _tagSPlatformConfig platform;
    EXPECT_EQ(manager->GetPlatformConfig(platform), 0);
    return platform;
  }
};

TEST_F(ConfigLoadTest, ReadsPlatformDevicesAndSensorsOfAValidFile) {
  COSConfigManager* manager = Load(R"(
    <Devices>
      <Device Path="PNP0C14\1_0" class="3">
        <Throttle limit="10" step="2" priority="1"/>
        <DUsage enable="1" shutdown="1"/>
      </Device>
    </Devices>
    <Sensors>)" + kSkinSensor + "</Sensors>");
  ASSERT_TRUE(Loaded(manager));
  EXPECT_EQ(PlatformFields(manager), (std::vector<int>{1, 15, 1}));
  EXPECT_EQ(FieldsOf(manager, L"ACPI\\PNP0C14\\1_0"), (std::vector<int>{3, 10, 2, 1, 1, 1}));
}

TEST_F(ConfigLoadTest, FindsSectionsAtAnyDepthUnderARootOfAnyName) {
  const std::string nested =
      "<?xml version=\"1.0\"?><Whatever><a><b><Platform><Shutdown option=\"hibernate\" "
      "timer=\"3\"/></Platform></b></a><x><y>" +
      Device("DEV", 4, 1) + "</y></x><z>" + kSkinSensor + "</z></Whatever>";
  COSConfigManager* manager = COSConfigManager::GetInstance(Write("nested.xml", nested));
  ASSERT_TRUE(Loaded(manager));
  EXPECT_EQ(PlatformOf(manager).iShutdownTimer, 3);
  EXPECT_EQ(DeviceOf(manager, L"DEV").iThrottleLimit, 4);
  _tagSSensorConfig sensor;
  sensor.strName = L"TZ01";
  EXPECT_EQ(manager->GetSensorConfig(sensor), 0);
}

TEST_F(ConfigLoadTest, ReadsOnlyTheFirstPlatformAndItsValuesExactly) {
  // Hibernate with a capital H is a shutdown; "active" leaves the preference
  // as it was (0 after construction); the second Platform is never read.
  COSConfigManager* manager = Load(
      "<Platform><Shutdown option=\"hibernate\" timer=\"99\"/>"
      "<Throttling preference=\"Active\"/></Platform>",
      "<Platform><!-- note --><Shutdown option=\"Hibernate\" timer=\" 15 s\"/>"
      "<Throttling preference=\"active\"/><Other/>text</Platform>");
  ASSERT_TRUE(Loaded(manager));
  EXPECT_EQ(PlatformFields(manager), (std::vector<int>{0, 15, 0}));
  COSConfigManager::DeleteInstance();

  manager = Load("",
                 "<Platform><Throttling preference=\"Passive\"/>"
                 "<Throttling preference=\"Active\"/><Throttling preference=\"x\"/></Platform>");
  EXPECT_EQ(PlatformOf(manager).iThrottlePreference, 1);
  EXPECT_EQ(PlatformOf(manager).iShutdownOption, 0);  // no Shutdown element
}

TEST_F(ConfigLoadTest, ReadsDecimalsAsAWideStreamExtractsAnInt) {
  // clang-format off
  const std::vector<std::string> texts = {"15", " 15 s", "+7", "-3", "007", "10abc", "abc", "",
      "   ", "- 5", "+-5", "0x10", "2147483647", "2147483648", "-2147483648", "-2147483649",
      "99999999999999999999999", "-99999999999999999999999", "&#9;&#10;42", "&#x661;", "1.5", "-0"};
  // clang-format on
  std::string body;
  for (std::size_t k = 0; k < texts.size(); ++k) {
    body += "<Device Path=\"D" + std::to_string(k) + ";\" class=\"" + texts[k] + "\"/>";
  }
  COSConfigManager* manager = Load(body);
  ASSERT_TRUE(Loaded(manager));
  for (std::size_t k = 0; k < texts.size(); ++k) {
    // What the attribute holds once character references are replaced.
    std::wstring value = FromUtf8(texts[k]);
    if (texts[k] == "&#9;&#10;42") {
      value = L"\t\n42";
    } else if (texts[k] == "&#x661;") {
      value = L"\x661";
    }
    std::wistringstream stream(value);
    int expected = 0;
    stream >> expected;
    EXPECT_EQ(DeviceOf(manager, L"D" + std::to_wstring(k) + L";").iClass, expected)
        << "class=\"" << texts[k] << "\"";
  }
}

TEST_F(ConfigLoadTest, AMissingOrNonNumericAttributeReadsAsZeroAndIsLogged) {
  // Each field stands alone: a missing one does not take the text of the
  // attribute read before it.
  COSConfigManager* manager = Load(
      "<Device Path=\"A\"><Throttle limit=\"9\" priority=\"x\"/><DUsage shutdown=\"1\"/></Device>"
      "<Device Path=\"B\" class=\"5\"><DUsage enable=\"1\"/></Device>",
      "<Platform><Shutdown option=\"hibernate\"/></Platform>");
  ASSERT_TRUE(Loaded(manager));
  EXPECT_EQ(FieldsOf(manager, L"A"), (std::vector<int>{0, 9, 0, 0, 0, 1}));
  EXPECT_EQ(FieldsOf(manager, L"B"), (std::vector<int>{5, 0, 0, 0, 1, 0}));
  EXPECT_EQ(PlatformFields(manager), (std::vector<int>{1, 0, 0}));
  EXPECT_EQ(mLog.CountMessage("Node step does not exist in the XML"), 1);
}

TEST_F(ConfigLoadTest, AStepAboveTheLimitRejectsEveryDevice) {
  COSConfigManager* manager = Load(Device("GOOD", 9, 1) + Device("BAD", 4, 5) + kSkinSensor);
  ASSERT_NE(manager, nullptr);
  EXPECT_FALSE(Loaded(manager));
  // Not loaded: the defaults answer, the good device is gone with the bad.
  EXPECT_EQ(FieldsOf(manager, L"GOOD"), (std::vector<int>{0, 0x50005, 2, 0, 1, 0}));
  EXPECT_EQ(manager->Init(PathOf("velmarconfig.xml")), ZIVO_CONFIG_RULE_BROKEN);
  COSConfigManager::DeleteInstance();

  manager = Load(Device("EQUAL", 5, 5));
  ASSERT_TRUE(Loaded(manager));
  EXPECT_EQ(DeviceOf(manager, L"EQUAL").iThrottleStep, 5);
}

TEST_F(ConfigLoadTest, AFileWithoutDevicesOrSensorsLoadsWithEmptyLists) {
  COSConfigManager* manager = Load("");
  ASSERT_TRUE(Loaded(manager));
  _tagSDeviceConfig device;
  device.strPath = L"X";
  EXPECT_EQ(manager->GetDeviceConfig(device), ZIVO_CONFIG_DEVICE_LIST_EMPTY);
  _tagSSensorConfig sensor;
  sensor.strName = L"X";
  EXPECT_EQ(manager->GetSensorConfig(sensor), ZIVO_CONFIG_SENSOR_LIST_EMPTY);
}

TEST_F(ConfigLoadTest, AFileThatDoesNotParseIsReportedInEightStatements) {
  const std::wstring path = Write("broken.xml", "<a>\n<Platform>\n</a>\n");
  COSConfigManager* manager = COSConfigManager::GetInstance(path);
  ASSERT_NE(manager, nullptr);
  EXPECT_FALSE(Loaded(manager));
  // Eight error lines: the file, a rule, reason, its text, source, the line
  // that failed, "Line: " and its number.
  const std::vector<std::string> messages = mLog.Messages();
  const auto at =
      std::find(messages.begin(), messages.end(), "XML Validation failed on " + ToUtf8(path));
  ASSERT_LT(at + 7, messages.end()) << mLog.Text();
  EXPECT_EQ(std::vector<std::string>(at + 4, at + 8),
            (std::vector<std::string>{"Source: ", "</a>", "Line: ", "3"}));
  EXPECT_EQ(mLog.LevelOf("Line: "), "ERROR");
  EXPECT_TRUE(mLog.HasMessage("Load failed for velmarconfig.xml"));
  EXPECT_EQ(manager->Init(path), ZIVO_CONFIG_LOAD_FAILED);
}

TEST_F(ConfigLoadTest, FallsBackToTheBareDefaultNameInTheWorkingFolder) {
  Write("velmarconfig.xml", ConfigText(Device("FROMDEFAULT", 3, 1)));
  COSConfigManager* manager = COSConfigManager::GetInstance(PathOf("absent.xml"));
  ASSERT_TRUE(Loaded(manager));
  EXPECT_EQ(DeviceOf(manager, L"FROMDEFAULT").iThrottleLimit, 3);
}

TEST_F(ConfigLoadTest, AnEmptyPathTriesTheDefaultNameTwice) {
  COSConfigManager* manager = COSConfigManager::GetInstance(L"");
  ASSERT_NE(manager, nullptr);
  EXPECT_FALSE(Loaded(manager));
  EXPECT_EQ(mLog.CountMessage("Load failed for velmarconfig.xml"), 2);
  EXPECT_EQ(mLog.CountMessage("XML Validation failed on "), 0);
  EXPECT_EQ(PlatformFields(manager), (std::vector<int>{1, 1, 10}));
}

TEST_F(ConfigLoadTest, ASecondGetInstanceReturnsTheFirstManagerWithoutReading) {
  COSConfigManager* first = Load(Device("ONE", 3, 1));
  const int loads = Faults().Calls(FaultOp::XmlLoad);
  COSConfigManager* second = COSConfigManager::GetInstance(PathOf("other.xml"));
  EXPECT_EQ(second, first);
  EXPECT_EQ(Faults().Calls(FaultOp::XmlLoad), loads);
  COSConfigManager::DeleteInstance();
  COSConfigManager::DeleteInstance();  // nothing left: harmless
}

TEST_F(ConfigLoadTest, InitReloadsALiveManager) {
  COSConfigManager* manager = Load(Device("OLD", 3, 1));
  ASSERT_TRUE(Loaded(manager));
  EXPECT_EQ(manager->Init(Write("new.xml", ConfigText(Device("NEW", 7, 1)))), 0);
  EXPECT_EQ(DeviceOf(manager, L"NEW").iThrottleLimit, 7);
  _tagSDeviceConfig old;
  old.strPath = L"OLD";
  EXPECT_EQ(manager->GetDeviceConfig(old), ZIVO_CONFIG_DEVICE_NOT_FOUND);

  // A document failure on a live manager is a result, not an exception.
  Faults().Fail(FaultOp::XmlElementsByTagName, 0, L"Device");
  EXPECT_EQ(manager->Init(PathOf("new.xml")), ZIVO_CONFIG_LOAD_FAILED);
  EXPECT_FALSE(Loaded(manager));
  EXPECT_TRUE(mLog.HasMessage("CM Exception caught"));
}

TEST_F(ConfigLoadTest, ValidatesAgainstADeclaredDtdAndRefusesTheNetwork) {
  Write("velmar.dtd",
        "<!ELEMENT Config (Platform, Device*)>\n<!ELEMENT Platform (Shutdown?)>\n"
        "<!ELEMENT Shutdown EMPTY>\n<!ATTLIST Shutdown option CDATA #REQUIRED timer CDATA "
        "\"30\">\n<!ELEMENT Device EMPTY>\n<!ATTLIST Device Path CDATA #REQUIRED class CDATA "
        "#REQUIRED>\n");
  const std::string head = "<?xml version=\"1.0\"?>\n<!DOCTYPE Config SYSTEM \"velmar.dtd\">\n";
  COSConfigManager* manager = COSConfigManager::GetInstance(Write(
      "valid.xml", head + "<Config><Platform><Shutdown option=\"x\"/></Platform><Device Path=\"D\" "
                          "class=\"2\"/></Config>"));
  ASSERT_TRUE(Loaded(manager));
  EXPECT_EQ(PlatformOf(manager).iShutdownTimer, 30);  // the DTD's default
  COSConfigManager::DeleteInstance();

  for (const std::string& text :
       {head + "<Config><Platform/><Device Path=\"D\"/></Config>",
        std::string("<!DOCTYPE Config SYSTEM \"http://127.0.0.1:9/velmar.dtd\">\n") +
            "<Config><Platform/></Config>"}) {
    manager = COSConfigManager::GetInstance(Write("invalid.xml", text));
    EXPECT_FALSE(Loaded(manager)) << text;
    EXPECT_TRUE(mLog.HasMessage("XML Validation failed on " + ToUtf8(PathOf("invalid.xml"))));
    COSConfigManager::DeleteInstance();
    mLog.Clear();
  }
}

TEST_F(ConfigLoadTest, DocumentFailuresEndTheConstructionWith15) {
  struct _tagSCase {
    const char* what;
    FaultOp op;
    const wchar_t* target;
  };
  const std::string file = ConfigText(Device("D", 3, 1) + kSkinSensor);
  for (const _tagSCase& fault : {
           _tagSCase{"load", FaultOp::XmlLoad, L""},
           _tagSCase{"Platform list", FaultOp::XmlElementsByTagName, L"Platform"},
           _tagSCase{"Device list", FaultOp::XmlElementsByTagName, L"Device"},
           _tagSCase{"Sensor list", FaultOp::XmlElementsByTagName, L"Sensor"},
           _tagSCase{"Platform children", FaultOp::XmlChildNodes, L""},
       }) {
    Faults().Fail(fault.op, 0, fault.target);
    int thrown = 0;
    try {
      COSConfigManager::GetInstance(Write("velmarconfig.xml", file));
    } catch (int value) {
      thrown = value;
    }
    EXPECT_EQ(thrown, ZIVO_THROW_CONFIG_FAILED) << fault.what;
    EXPECT_TRUE(mLog.HasMessage("CM Exception caught")) << fault.what;
    EXPECT_EQ(Faults().Pending(), 0) << fault.what;
    mLog.Clear();
  }
  // No Platform element at all: the same. The pointer stayed null, so the
  // next call constructs again.
  int thrown = 0;
  try {
    COSConfigManager::GetInstance(Write("none.xml", "<Config>" + Device("D", 3, 1) + "</Config>"));
  } catch (int value) {
    thrown = value;
  }
  EXPECT_EQ(thrown, ZIVO_THROW_CONFIG_FAILED);
  EXPECT_TRUE(Loaded(COSConfigManager::GetInstance(Write("velmarconfig.xml", file))));
}

TEST_F(ConfigLoadTest, ADocumentThatCannotBeCreatedLeavesTheManagerNotLoaded) {
  Faults().Fail(FaultOp::XmlCreateDocument, 0, L"", 1, 0);
  COSConfigManager* manager = Load(Device("D", 3, 1));
  ASSERT_NE(manager, nullptr);
  EXPECT_FALSE(Loaded(manager));
  EXPECT_EQ(mLog.CountMessage("Load XML CreateInstance of DOMDoc Failed"), 2);
}

TEST_F(ConfigLoadTest, AttributeReadFailuresAreLoggedAndReadAsZero) {
  // The attribute list fails for the seventh read (option, timer, preference,
  // Path, class, limit, step): 279; then a single attribute read fails: 278.
  Faults().Fail(FaultOp::XmlAttributes, 0, L"", 7, 1);
  Faults().Fail(FaultOp::XmlAttributeText, 0, L"enable");
  COSConfigManager* manager = Load(Device("D", 3, 1));
  ASSERT_TRUE(Loaded(manager));
  EXPECT_EQ(FieldsOf(manager, L"D"), (std::vector<int>{3, 3, 0, 2, 0, 0}));
}

TEST_F(ConfigLoadTest, AChildWhoseNameCannotBeReadEndsItsSection) {
  // Platform's children: Shutdown, Throttling. The second name read fails.
  Faults().Fail(FaultOp::XmlNodeName, 0, L"", 2, 1);
  COSConfigManager* manager = Load(Device("D", 3, 1));
  ASSERT_TRUE(Loaded(manager));
  EXPECT_EQ(mLog.CountMessage("Invalid child node queried!!"), 1);
  EXPECT_EQ(PlatformFields(manager), (std::vector<int>{1, 15, 0}));
}

TEST_F(ConfigLoadTest, EverySingleDocumentFailureLeavesACleanState) {
  const std::wstring path =
      Write("velmarconfig.xml", ConfigText(Device("D", 3, 1) + Device("E", 4, 2) + kSkinSensor));
  int outcomes = 0;
  for (int n = 0;; ++n) {
    Faults().Clear();
    Faults().Fail(FaultOp::XmlAny, 0, L"", n + 1, 1);
    COSConfigManager* manager = nullptr;
    try {
      manager = COSConfigManager::GetInstance(path);
    } catch (int value) {
      EXPECT_EQ(value, ZIVO_THROW_CONFIG_FAILED);
    }
    const bool fired = Faults().Pending() == 0;
    if (manager != nullptr) {
      // Whatever was loaded answers consistently.
      _tagSDeviceConfig device;
      device.strPath = L"D";
      const int result = manager->GetDeviceConfig(device);
      EXPECT_TRUE(result == 0 || result == ZIVO_CONFIG_DEVICE_NOT_FOUND ||
                  result == ZIVO_CONFIG_DEVICE_LIST_EMPTY)
          << n;
      COSConfigManager::DeleteInstance();
    }
    ++outcomes;
    if (!fired) {
      EXPECT_NE(manager, nullptr);
      break;
    }
    ASSERT_LT(n, 1000);
  }
  EXPECT_GT(outcomes, 20);
}
