// Loading the configuration file: the singleton, the platform and device
// sections, the attribute reader, and every way a load can fail.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "Config/ConfigTest.h"

namespace {

const std::string kSkinSensor =
    R"(<Sensor Path="TZ01" class="1" ThirdParty_DeviceCount="1">
         <Temperature shutdown="45" ThrottleStart="30"/><SUsage enable="1" aux_interval="2"/>
         <DevicePath Device0="FAN"/></Sensor>)";

// The value thrown by constructing a manager on `path`, 0 when none.
int ThrownBy(const std::wstring& path) {
  try {
    COSConfigManager::GetInstance(path);
  } catch (int value) {
    return value;
  }
  return 0;
}

}  // namespace

class ConfigLoadTest : public CConfigTest {};

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
  EXPECT_EQ(PlatformOf(manager)[1], 30);  // the DTD's default
  COSConfigManager::DeleteInstance();
  for (const std::string& text :
       {head + "<Config><Platform/><Device Path=\"D\"/></Config>",
        std::string("<!DOCTYPE Config SYSTEM \"http://127.0.0.1:9/velmar.dtd\">\n") +
            "<Config><Platform/></Config>"}) {
    manager = COSConfigManager::GetInstance(Write("invalid.xml", text));
    EXPECT_FALSE(Loaded(manager)) << text;
    EXPECT_TRUE(mLog.HasMessage("XML Validation failed on " + ToUtf8(PathOf("invalid.xml"))));
    COSConfigManager::DeleteInstance();
  }
}

TEST_F(ConfigLoadTest, DocumentFailuresEndTheConstructionWith15) {
  const std::string file = ConfigText(Device("D", 3, 1) + kSkinSensor);
  const struct {
    FaultOp op;
    const wchar_t* target;
  } faults[] = {{FaultOp::XmlLoad, L""},
                {FaultOp::XmlElementsByTagName, L"Platform"},
                {FaultOp::XmlElementsByTagName, L"Device"},
                {FaultOp::XmlElementsByTagName, L"Sensor"},
                {FaultOp::XmlChildNodes, L""}};
  for (const auto& fault : faults) {
    SCOPED_TRACE(static_cast<int>(fault.op));
    Faults().Fail(fault.op, 0, fault.target);
    EXPECT_EQ(ThrownBy(Write("velmarconfig.xml", file)), ZIVO_THROW_CONFIG_FAILED);
    EXPECT_TRUE(mLog.HasMessage("CM Exception caught"));
    EXPECT_EQ(Faults().Pending(), 0);
    mLog.Clear();
  }
  // No Platform element at all: the same. The pointer stayed null, so the
  // next call constructs again.
  EXPECT_EQ(ThrownBy(Write("none.xml", "<Config>" + Device("D", 3, 1) + "</Config>")),
            ZIVO_THROW_CONFIG_FAILED);
  EXPECT_TRUE(Loaded(COSConfigManager::GetInstance(Write("velmarconfig.xml", file))));
}

TEST_F(ConfigLoadTest, ReadFailuresAreLoggedAndLeaveWhatTheyCan) {
  Faults().Fail(FaultOp::XmlCreateDocument, 0, L"", 1, 0);
  EXPECT_FALSE(Loaded(Load(Device("D", 3, 1))));
  EXPECT_EQ(mLog.CountMessage("Load XML CreateInstance of DOMDoc Failed"), 2);
  COSConfigManager::DeleteInstance();

  // The attribute list fails for the seventh read (option, timer, preference,
  // Path, class, limit, step), then a single attribute read fails.
  Faults().Clear();
  Faults().Fail(FaultOp::XmlAttributes, 0, L"", 7, 1);
  Faults().Fail(FaultOp::XmlAttributeText, 0, L"enable");
  COSConfigManager* manager = Load(Device("D", 3, 1));
  ASSERT_TRUE(Loaded(manager));
  EXPECT_EQ(DeviceOf(manager, L"D"), (Ints{3, 3, 0, 2, 0, 0}));
  COSConfigManager::DeleteInstance();

  // Platform's children: Shutdown, Throttling. The second name read fails
  // and ends the section.
  Faults().Clear();
  Faults().Fail(FaultOp::XmlNodeName, 0, L"", 2, 1);
  manager = Load(Device("D", 3, 1));
  ASSERT_TRUE(Loaded(manager));
  EXPECT_EQ(mLog.CountMessage("Invalid child node queried!!"), 1);
  EXPECT_EQ(PlatformOf(manager), (Ints{1, 15, 0}));
}

TEST_F(ConfigLoadTest, EverySingleDocumentFailureLeavesACleanState) {
  const std::wstring path =
      Write("velmarconfig.xml", ConfigText(Device("D", 3, 1) + Device("E", 4, 2) + kSkinSensor));
  int n = 0;
  for (;; ++n) {
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
    if (!fired) {
      EXPECT_NE(manager, nullptr);
      break;
    }
    ASSERT_LT(n, 1000);
  }
  EXPECT_GT(n, 20);
}
