// The XML stand-in's contract, run against the libxml2 parser alone and
// wrapped in the fault-injecting decorator (with no fault armed).
#include <gtest/gtest.h>

#include <functional>

#include "Platform/Linux/LibXmlParser.h"
#include "Platform/Sim/FaultyXml.h"
#include "support/ConfigFileTest.h"

namespace {

struct _tagSXmlMaker {
  const char* name;
  std::function<std::shared_ptr<CXml>()> make;
};

std::ostream& operator<<(std::ostream& out, const _tagSXmlMaker& maker) {
  return out << maker.name;
}

}  // namespace

class XmlStandInTest : public CConfigFileTest, public testing::WithParamInterface<_tagSXmlMaker> {
 protected:
  // Loads `path` into a fresh document.
  std::unique_ptr<CXmlDocument> Load(const std::wstring& path, _tagSXmlParseError& error) {
    std::shared_ptr<CXml> xml = GetParam().make();
    std::unique_ptr<CXmlDocument> document;
    EXPECT_EQ(xml->CreateDocument(document), XmlStatus::Ok);
    EXPECT_EQ(document->Load(path, error), XmlStatus::Ok);
    mXml = xml;
    return document;
  }
  std::wstring NameOf(CXmlDocument& document, _tagSXmlNode node) {
    std::wstring name;
    EXPECT_EQ(document.NodeName(node, name), XmlStatus::Ok);
    return name;
  }
  std::shared_ptr<CXml> mXml;
};

TEST_P(XmlStandInTest, FindsElementsAnywhereInDocumentOrderAndReadsTheirAttributes) {
  const std::wstring path = Write("a.xml", R"(<?xml version="1.0"?>
<any><x:Device xmlns:x="urn:x" Path="outer"/><Wrap><Device Path="first"><Device Path="inner"/>
</Device></Wrap><!-- c --><Device Path="last" Empty="" Amp="a&amp;b" x:q="1" xmlns:x="urn:x">text</Device></any>)");
  _tagSXmlParseError error;
  auto document = Load(path, error);
  ASSERT_EQ(error.code, 0) << error.line;

  std::vector<_tagSXmlNode> devices;
  ASSERT_EQ(document->ElementsByTagName(L"Device", devices), XmlStatus::Ok);
  ASSERT_EQ(devices.size(), 3u);  // the prefixed one is named x:Device
  std::vector<std::wstring> paths;
  for (const _tagSXmlNode device : devices) {
    _tagSXmlNode attributes;
    ASSERT_EQ(document->Attributes(device, attributes), XmlStatus::Ok);
    bool found = false;
    std::wstring text;
    ASSERT_EQ(document->AttributeText(attributes, L"Path", found, text), XmlStatus::Ok);
    ASSERT_TRUE(found);
    paths.push_back(text);
  }
  EXPECT_EQ(paths, (std::vector<std::wstring>{L"first", L"inner", L"last"}));
  std::vector<_tagSXmlNode> prefixed;
  ASSERT_EQ(document->ElementsByTagName(L"x:Device", prefixed), XmlStatus::Ok);
  EXPECT_EQ(prefixed.size(), 1u);

  _tagSXmlNode attributes;
  ASSERT_EQ(document->Attributes(devices[2], attributes), XmlStatus::Ok);
  bool found = true;
  std::wstring text = L"kept";
  EXPECT_EQ(document->AttributeText(attributes, L"path", found, text), XmlStatus::Ok);
  EXPECT_FALSE(found);  // names are case-sensitive
  EXPECT_EQ(text, L"kept");
  EXPECT_EQ(document->AttributeText(attributes, L"Empty", found, text), XmlStatus::Ok);
  EXPECT_TRUE(found);
  EXPECT_EQ(text, L"");
  EXPECT_EQ(document->AttributeText(attributes, L"Amp", found, text), XmlStatus::Ok);
  EXPECT_EQ(text, L"a&b");
  EXPECT_EQ(document->AttributeText(attributes, L"x:q", found, text), XmlStatus::Ok);
  EXPECT_TRUE(found);

  std::vector<_tagSXmlNode> children;
  ASSERT_EQ(document->ChildNodes(devices[2], children), XmlStatus::Ok);
  ASSERT_EQ(children.size(), 1u);
  EXPECT_EQ(NameOf(*document, children[0]), L"#text");
  _tagSXmlNode none;
  EXPECT_EQ(document->Attributes(children[0], none), XmlStatus::Failed);

  std::vector<_tagSXmlNode> roots;
  ASSERT_EQ(document->ElementsByTagName(L"any", roots), XmlStatus::Ok);
  ASSERT_EQ(document->ChildNodes(roots[0], children), XmlStatus::Ok);
  std::vector<std::wstring> names;
  for (const _tagSXmlNode child : children) {
    names.push_back(NameOf(*document, child));
  }
  EXPECT_EQ(names, (std::vector<std::wstring>{L"x:Device", L"Wrap", L"#comment", L"Device"}));
}

TEST_P(XmlStandInTest, ReportsFilesThatDoNotLoadAsParseErrorsWithReasonAndLine) {
  _tagSXmlParseError error;
  Load(PathOf("missing.xml"), error);
  EXPECT_NE(error.code, 0);
  EXPECT_NE(error.reason.find(L"missing.xml"), std::wstring::npos) << error.reason;

  const std::wstring broken = Write("broken.xml", "<a>\n  <b>\n  </c>\n</a>\n");
  Load(broken, error);
  EXPECT_NE(error.code, 0);
  EXPECT_EQ(error.line, 3);
  EXPECT_EQ(error.srcText, L"  </c>");
  EXPECT_FALSE(error.reason.empty());
  EXPECT_NE(error.reason.back(), L'\n');

  Load(PathOf(""), error);  // a folder
  EXPECT_NE(error.code, 0);

  // A document that loaded is replaced by a failed load.
  auto document = Load(Write("ok.xml", "<a><b/></a>"), error);
  ASSERT_EQ(error.code, 0);
  ASSERT_EQ(document->Load(broken, error), XmlStatus::Ok);
  EXPECT_NE(error.code, 0);
  std::vector<_tagSXmlNode> found;
  EXPECT_EQ(document->ElementsByTagName(L"b", found), XmlStatus::Failed);
}

TEST_P(XmlStandInTest, ValidatesAgainstTheDeclaredDtdOnly) {
  Write("sub dir/rules.dtd",
        "<!ELEMENT a (b*)>\n<!ELEMENT b EMPTY>\n<!ATTLIST b n CDATA #REQUIRED m CDATA \"7\">\n");
  _tagSXmlParseError error;
  auto document =
      Load(Write("sub dir/valid.xml", "<!DOCTYPE a SYSTEM \"rules.dtd\">\n<a><b n=\"1\"/></a>\n"),
           error);
  ASSERT_EQ(error.code, 0) << error.reason;
  // Default attributes come from the DTD.
  std::vector<_tagSXmlNode> bs;
  ASSERT_EQ(document->ElementsByTagName(L"b", bs), XmlStatus::Ok);
  _tagSXmlNode attributes;
  ASSERT_EQ(document->Attributes(bs[0], attributes), XmlStatus::Ok);
  bool found = false;
  std::wstring text;
  ASSERT_EQ(document->AttributeText(attributes, L"m", found, text), XmlStatus::Ok);
  EXPECT_TRUE(found);
  EXPECT_EQ(text, L"7");

  Load(Write("sub dir/invalid.xml", "<!DOCTYPE a SYSTEM \"rules.dtd\">\n<a>\n<c/></a>\n"), error);
  EXPECT_NE(error.code, 0);
  EXPECT_EQ(error.line, 3);
  Load(Write("sub dir/missing-attribute.xml", "<!DOCTYPE a SYSTEM \"rules.dtd\">\n<a><b/></a>\n"),
       error);
  EXPECT_NE(error.code, 0);
  Load(Write("sub dir/no-dtd-file.xml", "<!DOCTYPE a SYSTEM \"absent.dtd\">\n<a/>\n"), error);
  EXPECT_NE(error.code, 0);
  EXPECT_NE(error.reason.find(L"absent.dtd"), std::wstring::npos) << error.reason;

  // Without a DOCTYPE only well-formedness counts.
  Load(Write("free.xml", "<anything><c/></anything>"), error);
  EXPECT_EQ(error.code, 0) << error.reason;
  // An internal subset is a DTD too.
  Load(Write("internal.xml", "<!DOCTYPE a [<!ELEMENT a EMPTY>]>\n<a><x/></a>"), error);
  EXPECT_NE(error.code, 0);
}

TEST_P(XmlStandInTest, ReadsLocalEntitiesButRefusesNetworkAndDeviceResources) {
  Write("name.txt", "local text");
  _tagSXmlParseError error;
  auto document =
      Load(Write("local.xml",
                 "<!DOCTYPE a [<!ELEMENT a (#PCDATA)><!ENTITY e SYSTEM \"name.txt\">]>\n"
                 "<a>&e;</a>\n"),
           error);
  ASSERT_EQ(error.code, 0) << error.reason;
  std::vector<_tagSXmlNode> as;
  ASSERT_EQ(document->ElementsByTagName(L"a", as), XmlStatus::Ok);
  std::vector<_tagSXmlNode> children;
  ASSERT_EQ(document->ChildNodes(as[0], children), XmlStatus::Ok);
  ASSERT_EQ(children.size(), 1u);  // the entity's text, substituted
  EXPECT_EQ(NameOf(*document, children[0]), L"#text");

  const std::wstring network = L"only local files are read";
  for (const char* text : {
           "<!DOCTYPE a SYSTEM \"http://127.0.0.1:9/a.dtd\">\n<a/>\n",
           "<!DOCTYPE a PUBLIC \"-//X//Y//EN\" \"ftp://127.0.0.1/a.dtd\">\n<a/>\n",
           "<!DOCTYPE a [<!ELEMENT a (#PCDATA)><!ENTITY e SYSTEM \"https://127.0.0.1/e\">]>\n"
           "<a>&e;</a>\n",
           "<!DOCTYPE a [<!ELEMENT a ANY><!ENTITY % p SYSTEM \"http://127.0.0.1/p\"> %p;]>\n<a/>\n",
           "<!DOCTYPE a [<!ELEMENT a (#PCDATA)><!ENTITY e SYSTEM \"file://otherhost/etc/x\">]>\n"
           "<a>&e;</a>\n",
       }) {
    Load(Write("remote.xml", text), error);
    EXPECT_NE(error.code, 0) << text;
    EXPECT_NE(error.reason.find(network), std::wstring::npos) << text;
  }
  Load(Write("device.xml",
             "<!DOCTYPE a [<!ELEMENT a (#PCDATA)><!ENTITY e SYSTEM \"/dev/zero\">]>\n<a>&e;</a>\n"),
       error);
  EXPECT_NE(error.reason.find(L"not a regular file"), std::wstring::npos);
  Load(L"http://127.0.0.1:9/config.xml", error);
  EXPECT_NE(error.reason.find(network), std::wstring::npos);
}

TEST_P(XmlStandInTest, KeepsTheDefaultLimitAgainstEntityExpansion) {
  std::string text = "<!DOCTYPE a [<!ELEMENT a (#PCDATA)>\n<!ENTITY e0 \"xxxxxxxxxxxxxxxx\">\n";
  for (int k = 1; k < 12; ++k) {
    text += "<!ENTITY e" + std::to_string(k) + " \"";
    for (int r = 0; r < 10; ++r) {
      text += "&e" + std::to_string(k - 1) + ";";
    }
    text += "\">\n";
  }
  text += "]>\n<a>&e11;</a>\n";
  _tagSXmlParseError error;
  Load(Write("laughs.xml", text), error);
  EXPECT_NE(error.code, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Parsers, XmlStandInTest,
    testing::Values(_tagSXmlMaker{"libxml2", [] { return CreateLibXmlParser(); }},
                    _tagSXmlMaker{
                        "decorated",
                        [] { return std::make_shared<CFaultyXml>(CreateLibXmlParser()); }}),
    [](const testing::TestParamInfo<_tagSXmlMaker>& info) { return std::string(info.param.name); });
