// The XML stand-in's contract: the libxml2 parser both platforms use, behind
// the fault decorator.
#include <filesystem>
#include <fstream>
#include <optional>

#include "Platform/Text.h"
#include "Platform/Xml/LibXmlParser.h"
#include "PlatformContract/Contract.h"
#include "Sim/FaultyXml.h"
#include "support/TempFolder.h"

namespace {

struct CXmlEnv : CContractEnv {
  CXml& Xml() { return mXml; }

  CTempFolder mTemp;
  const std::filesystem::path mFolder = mTemp.Path();
  CFaultyXml mXml{CreateLibXmlParser(), mPlan};
};

class XmlContract : public CContractTest<CXmlEnv> {
 protected:
  std::wstring PathOf(const std::string& name) const {
    return FromUtf8((mEnv->mFolder / name).string());
  }
  std::wstring Write(const std::string& name, const std::string& text) {
    std::filesystem::create_directories((mEnv->mFolder / name).parent_path());
    std::ofstream(mEnv->mFolder / name) << text;
    return PathOf(name);
  }
  // Loads `path` into a fresh document.
  std::unique_ptr<CXmlDocument> Load(const std::wstring& path, _tagSXmlParseError& error) {
    std::unique_ptr<CXmlDocument> document;
    EXPECT_EQ(E().Xml().CreateDocument(document), XmlStatus::Ok);
    EXPECT_EQ(document->Load(path, error), XmlStatus::Ok);
    return document;
  }
  std::wstring NameOf(CXmlDocument& document, _tagSXmlNode node) {
    std::wstring name;
    EXPECT_EQ(document.NodeName(node, name), XmlStatus::Ok);
    return name;
  }
  // The text of attribute `name` of `node`, or none.
  std::optional<std::wstring> Attribute(CXmlDocument& document, _tagSXmlNode node,
                                        std::wstring_view name) {
    _tagSXmlNode attributes;
    bool found = false;
    std::wstring text;
    if (document.Attributes(node, attributes) != XmlStatus::Ok ||
        document.AttributeText(attributes, name, found, text) != XmlStatus::Ok || !found) {
      return std::nullopt;
    }
    return text;
  }
  // The first element named `tag`.
  _tagSXmlNode First(CXmlDocument& document, std::wstring_view tag) {
    std::vector<_tagSXmlNode> nodes;
    EXPECT_EQ(document.ElementsByTagName(tag, nodes), XmlStatus::Ok);
    return nodes.empty() ? _tagSXmlNode{} : nodes[0];
  }
};

TEST_P(XmlContract, FindsElementsAnywhereInDocumentOrderAndReadsTheirAttributes) {
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
    paths.push_back(Attribute(*document, device, L"Path").value_or(L"?"));
  }
  EXPECT_EQ(paths, (std::vector<std::wstring>{L"first", L"inner", L"last"}));
  std::vector<_tagSXmlNode> prefixed;
  ASSERT_EQ(document->ElementsByTagName(L"x:Device", prefixed), XmlStatus::Ok);
  EXPECT_EQ(prefixed.size(), 1u);

  EXPECT_EQ(Attribute(*document, devices[2], L"path"), std::nullopt) << "names are case-sensitive";
  EXPECT_EQ(Attribute(*document, devices[2], L"Empty"), L"");
  EXPECT_EQ(Attribute(*document, devices[2], L"Amp"), L"a&b");
  EXPECT_EQ(Attribute(*document, devices[2], L"x:q"), L"1");

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

// Names and values are read in place: ASCII a chunk at a time, the rest
// decoded. Each row looks one attribute up by name.
TEST_P(XmlContract, ReadsAttributeNamesAndValuesWhateverTheirLengthAndCharacters) {
  const std::string longAscii(130, 'a');
  const std::wstring longWide(130, L'a');
  const std::wstring path =
      Write("names.xml",
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<R Path=\"p\" PathX=\"px\" caf\xC3\xA9=\"\xC3\xA9t\xC3\xA9\" "
            "long=\"" +
                longAscii + "\" mixed=\"" + longAscii + "\xE2\x82\xAC" + "z\" n=\"\"/>");
  _tagSXmlParseError error;
  auto document = Load(path, error);
  ASSERT_EQ(error.code, 0) << error.line;
  const _tagSXmlNode root = First(*document, L"R");
  const struct {
    std::wstring name;
    std::optional<std::wstring> text;
  } rows[] = {
      {L"Path", L"p"},
      {L"PathX", L"px"},
      {L"Pat", std::nullopt},
      {L"PathXY", std::nullopt},
      {L"caf\u00e9", L"\u00e9t\u00e9"},
      {L"cafe", std::nullopt},
      {L"long", longWide},
      {L"mixed", longWide + L"\u20acz"},
      {L"n", L""},
      {std::wstring(L"n\0", 2), std::nullopt},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(Attribute(*document, root, row.name), row.text) << ToUtf8(row.name);
  }
}

TEST_P(XmlContract, ReportsFilesThatDoNotLoadAsParseErrorsWithReasonAndLine) {
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

  // A load replaces the elements of the one before, asked for or not.
  ASSERT_EQ(document->Load(Write("two.xml", "<a><b/><c><b/></c></a>"), error), XmlStatus::Ok);
  ASSERT_EQ(document->Load(Write("three.xml", "<a><c/><b/></a>"), error), XmlStatus::Ok);
  ASSERT_EQ(error.code, 0);
  EXPECT_EQ(document->ElementsByTagName(L"b", found), XmlStatus::Ok);
  EXPECT_EQ(found.size(), 1u);
  EXPECT_EQ(document->ElementsByTagName(L"c", found), XmlStatus::Ok);
  EXPECT_EQ(found.size(), 1u);
}

TEST_P(XmlContract, ReadsLocalDtdPartsButRefusesNetworkAndDeviceResources) {
  Write("part.dtd", "<!ATTLIST a n CDATA \"from the part\">\n");
  _tagSXmlParseError error;
  auto document =
      Load(Write("local.xml",
                 "<!DOCTYPE a [<!ELEMENT a EMPTY><!ENTITY % part SYSTEM \"part.dtd\"> %part;]>\n"
                 "<a/>\n"),
           error);
  ASSERT_EQ(error.code, 0) << error.reason;
  EXPECT_EQ(Attribute(*document, First(*document, L"a"), L"n"), L"from the part");

  const std::wstring network = L"only local files are read";
  for (const char* text : {
           "<!DOCTYPE a SYSTEM \"http://127.0.0.1:9/a.dtd\">\n<a/>\n",
           "<!DOCTYPE a PUBLIC \"-//X//Y//EN\" \"ftp://127.0.0.1/a.dtd\">\n<a/>\n",
           "<!DOCTYPE a [<!ELEMENT a ANY><!ENTITY % p SYSTEM \"http://127.0.0.1/p\"> %p;]>\n<a/>\n",
           "<!DOCTYPE a [<!ELEMENT a ANY><!ENTITY % p SYSTEM \"file://otherhost/etc/x\"> %p;]>\n"
           "<a/>\n",
       }) {
    Load(Write("remote.xml", text), error);
    EXPECT_NE(error.code, 0) << text;
    EXPECT_NE(error.reason.find(network), std::wstring::npos) << text;
  }
  Load(Write("device.xml", "<!DOCTYPE a [<!ENTITY % p SYSTEM \"/dev/zero\"> %p;]>\n<a/>\n"), error);
  EXPECT_NE(error.reason.find(L"not a regular file"), std::wstring::npos);
  Load(L"http://127.0.0.1:9/config.xml", error);
  EXPECT_NE(error.reason.find(network), std::wstring::npos);
}

// Files under a megabyte whose text libxml2 would multiply (entity
// references in attribute values and DTD defaults, defaults copied into each
// element) are refused before the copies are made.
TEST_P(XmlContract, RefusesFilesThatWouldMultiplyTheirText) {
  const auto repeat = [](const std::string& text, int times) {
    std::string out;
    for (int k = 0; k < times; ++k) {
      out += text;
    }
    return out;
  };
  const std::string head = "<?xml version=\"1.0\"?>\n<!DOCTYPE a [\n<!ELEMENT a (b*)>\n";
  const std::string big(20000, 'x');
  struct _tagSCase {
    const char* what;
    std::string file;
    std::string dtd;  // written as part.dtd when not empty
    const wchar_t* reason;
    const char* where;  // the file the problem is in
    long line;
  };
  const std::vector<_tagSCase> cases = {
      {"an entity in a DTD default, copied into each element",
       head + "<!ELEMENT b EMPTY>\n<!ENTITY e \"" + big + "\">\n<!ATTLIST b v CDATA \"" +
           repeat("&e;", 400) + "\">\n]>\n<a>" + repeat("<b/>", 400) + "</a>\n",
       "", L"the general entity \"e\" is declared", "file.xml", 5},
      {"an entity in attribute values",
       "<!DOCTYPE a [\n<!ENTITY e \"" + std::string(4000, 'y') + "\">\n]>\n<a>" +
           repeat("<b v=\"" + repeat("&e;", 400) + "\"/>", 50) + "</a>\n",
       "", L"the general entity \"e\" is declared", "file.xml", 2},
      {"an external entity", "<!DOCTYPE a [\n<!ENTITY e SYSTEM \"part.dtd\">\n]>\n<a>&e;</a>\n",
       "x", L"the general entity \"e\" is declared", "file.xml", 2},
      {"an entity in the DTD file", "<!DOCTYPE a SYSTEM \"part.dtd\">\n<a/>\n",
       "<!ELEMENT a ANY>\n<!ENTITY e \"x\">\n", L"the general entity \"e\" is declared", "part.dtd",
       2},
      {"an unparsed entity",
       "<!DOCTYPE a [\n<!NOTATION n SYSTEM \"n\">\n<!ENTITY e SYSTEM \"x\" NDATA n>\n]>\n<a/>\n",
       "", L"the general entity \"e\" is declared", "file.xml", 3},
      {"a long default in many elements",
       head + "<!ELEMENT b EMPTY>\n<!ATTLIST b v CDATA \"" + std::string(400000, 'z') +
           "\">\n]>\n<a>" + repeat("<b/>", 100000) + "</a>\n",
       "", L"attribute values, DTD defaults included, hold more than 1048576 characters",
       "file.xml", 7},
      {"many empty defaults in many elements",
       head + "<!ELEMENT b EMPTY>\n<!ATTLIST b" +
           [] {
             std::string list;
             for (int k = 0; k < 1000; ++k) {
               list += " v" + std::to_string(k) + " CDATA \"\"";
             }
             return list;
           }() +
           ">\n]>\n<a>" + repeat("<b/>", 100) + "</a>\n",
       "", L"more than 65536 attributes", "file.xml", 7},
      {"a parameter entity used in many declarations", "<!DOCTYPE a SYSTEM \"part.dtd\">\n<a/>\n",
       "<!ENTITY % p '\"" + big + "\"'>\n" +
           [] {
             std::string list;
             for (int k = 0; k < 100; ++k) {
               list += "<!ATTLIST b" + std::to_string(k) + " v CDATA %p;>\n";
             }
             return list;
           }(),
       L"parameter entity references expand to more than 1048576 characters", "part.dtd", 53},
      {"a file over a megabyte",
       "<a>" + repeat("<!--" + std::string(1000, '-') + " -->", 1100) + "</a>", "",
       L"a policy file or its DTD may hold", "", 0},
  };
  for (const _tagSCase& row : cases) {
    std::filesystem::remove(mEnv->mFolder / "part.dtd");
    if (!row.dtd.empty()) {
      Write("part.dtd", row.dtd);
    }
    _tagSXmlParseError error;
    Load(Write("file.xml", row.file), error);
    EXPECT_NE(error.code, 0) << row.what;
    EXPECT_NE(error.reason.find(row.reason), std::wstring::npos)
        << row.what << ": " << ToUtf8(error.reason);
    EXPECT_EQ(error.line, row.line) << row.what;
    EXPECT_EQ(std::filesystem::path(error.file).filename().string(), row.where) << row.what;
  }

  // Within the bounds: a default copied into many elements, a parameter
  // entity used several times.
  Write("part.dtd",
        "<!ELEMENT a (b*)>\n<!ELEMENT b EMPTY>\n<!ENTITY % p '\"7\"'>\n"
        "<!ATTLIST b v CDATA %p; w CDATA %p;>\n");
  _tagSXmlParseError error;
  Load(
      Write("file.xml", "<!DOCTYPE a SYSTEM \"part.dtd\">\n<a>" + repeat("<b/>", 30000) + "</a>\n"),
      error);
  EXPECT_EQ(error.code, 0) << ToUtf8(error.reason);
}

TEST_P(XmlContract, ListsEveryProblemInTheFileWhereItIs) {
  Write("rules.dtd", "<!ELEMENT a (b*)>\n<!ELEMENT b EMPTY>\n<!ATTLIST b n CDATA #REQUIRED>\n");
  _tagSXmlParseError error;
  Load(Write("two.xml", "<!DOCTYPE a SYSTEM \"rules.dtd\">\n<a>\n<b/>\n<c/>\n</a>\n"), error);
  ASSERT_EQ(error.problems.size(), 3u) << ToUtf8(error.reason);
  EXPECT_EQ(error.problems[0].line, 3);  // b lacks n
  EXPECT_EQ(error.problems[0].srcText, L"<b/>");
  EXPECT_EQ(error.problems[1].line, 4);  // c is not declared
  EXPECT_EQ(error.problems[0].reason, error.reason);
  for (const XmlProblem& problem : error.problems) {
    EXPECT_EQ(std::filesystem::path(problem.file).filename(), "two.xml");
  }

  // A mistake inside the DTD is placed in the DTD, with the DTD's line.
  Write("sub dir/broken.dtd", "<!ELEMENT a EMPTY>\n\n<!ATTLIST a n CDATA #WRONG>\n");
  Load(Write("sub dir/uses.xml", "<!DOCTYPE a SYSTEM \"broken.dtd\">\n<a/>\n"), error);
  ASSERT_NE(error.code, 0);
  EXPECT_EQ(ToUtf8(error.file), ToUtf8(PathOf("sub dir/broken.dtd")));
  EXPECT_EQ(error.line, 3);
  EXPECT_EQ(error.srcText, L"<!ATTLIST a n CDATA #WRONG>");
}

TEST_P(XmlContract, ValidatesAgainstAGrammarGivenApart) {
  const std::wstring grammar =
      Write("given.dtd", "<!ELEMENT a (b)>\n<!ELEMENT b EMPTY>\n<!ATTLIST b n CDATA #REQUIRED>\n");
  _tagSXmlParseError error;
  auto document = Load(Write("free.xml", "<a><b n=\"1\"/></a>"), error);
  ASSERT_EQ(error.code, 0);
  EXPECT_EQ(document->ValidateAgainst(grammar, error), XmlStatus::Ok);
  EXPECT_EQ(error.code, 0) << ToUtf8(error.reason);

  document = Load(Write("wrong.xml", "<a>\n<b/>\n</a>"), error);
  ASSERT_EQ(error.code, 0);
  EXPECT_EQ(document->ValidateAgainst(grammar, error), XmlStatus::Ok);
  ASSERT_NE(error.code, 0);
  EXPECT_EQ(error.line, 2);
  EXPECT_NE(error.reason.find(L"n"), std::wstring::npos);

  EXPECT_EQ(document->ValidateAgainst(PathOf("absent.dtd"), error), XmlStatus::Ok);
  EXPECT_NE(error.reason.find(L"absent.dtd"), std::wstring::npos) << ToUtf8(error.reason);
  EXPECT_EQ(document->ValidateAgainst(Write("entity.dtd", "<!ENTITY e \"x\">\n"), error),
            XmlStatus::Ok);
  EXPECT_NE(error.reason.find(L"general entity"), std::wstring::npos) << ToUtf8(error.reason);

  document->Load(PathOf("absent.xml"), error);
  EXPECT_EQ(document->ValidateAgainst(grammar, error), XmlStatus::Failed);
}

// A failed call changes nothing: the next one works on the same document.
TEST_P(XmlContract, FaultsFailTheNamedCallsAndChangeNothing) {
  _tagSXmlParseError error;
  const std::wstring path = Write("a.xml", "<a><b n=\"1\"/><b n=\"2\"/></a>");
  Plan().Fail(FaultOp::XmlCreateDocument);
  std::unique_ptr<CXmlDocument> document;
  EXPECT_EQ(E().Xml().CreateDocument(document), XmlStatus::Failed);
  document = Load(path, error);
  Plan().Fail(FaultOp::XmlElementsByTagName, 0, L"b", 2);
  Plan().Fail(FaultOp::XmlAttributeText, 0, L"n");
  std::vector<_tagSXmlNode> nodes;
  EXPECT_EQ(document->ElementsByTagName(L"a", nodes), XmlStatus::Ok) << "another tag";
  EXPECT_EQ(document->ElementsByTagName(L"b", nodes), XmlStatus::Ok);
  EXPECT_EQ(document->ElementsByTagName(L"b", nodes), XmlStatus::Failed);
  ASSERT_EQ(nodes.size(), 2u) << "a failed call left the output alone";
  EXPECT_EQ(Attribute(*document, nodes[1], L"n"), std::nullopt);
  EXPECT_EQ(Attribute(*document, nodes[1], L"n"), L"2");
  Plan().Fail(FaultOp::XmlAny, 0, L"", 2, CFaultPlan::kAlways);
  EXPECT_EQ(NameOf(*document, nodes[0]), L"b");
  std::vector<_tagSXmlNode> children;
  EXPECT_EQ(document->ChildNodes(nodes[0], children), XmlStatus::Failed);
  EXPECT_EQ(document->Load(path, error), XmlStatus::Failed);
  EXPECT_EQ(Plan().Calls(FaultOp::XmlAny), Plan().Calls(FaultOp::Any));
}

ZIVO_CONTRACT_SUITE(XmlContract, {"LibXml2", Make<CXmlEnv>});

}  // namespace
