#include "ConfigCheckRules.h"

#include <optional>
#include <sstream>

#include "Platform/Text.h"

namespace {

constexpr int kSkinSensorClass = 1;

// Reads the parts of one document, turning stand-in failures into findings.
class CInspector {
 public:
  CInspector(CXmlDocument& document, std::vector<_tagSConfigFinding>& findings)
      : mDocument(document), mFindings(findings) {}

  std::vector<_tagSXmlNode> Elements(const wchar_t* tag) {
    std::vector<_tagSXmlNode> out;
    if (mDocument.ElementsByTagName(tag, out) != XmlStatus::Ok) {
      Add(true, 0, "", "the parser could not list the <" + ToUtf8(tag) + "> elements");
      out.clear();
    }
    return out;
  }

  std::vector<std::pair<std::wstring, _tagSXmlNode>> Children(_tagSXmlNode node) {
    std::vector<_tagSXmlNode> nodes;
    std::vector<std::pair<std::wstring, _tagSXmlNode>> out;
    if (mDocument.ChildNodes(node, nodes) != XmlStatus::Ok) {
      return out;
    }
    for (const _tagSXmlNode child : nodes) {
      std::wstring name;
      if (mDocument.NodeName(child, name) != XmlStatus::Ok) {
        break;
      }
      out.emplace_back(name, child);
    }
    return out;
  }

  std::optional<std::wstring> Attribute(_tagSXmlNode node, const std::wstring& name) {
    _tagSXmlNode attributes;
    bool found = false;
    std::wstring text;
    if (mDocument.Attributes(node, attributes) != XmlStatus::Ok ||
        mDocument.AttributeText(attributes, name, found, text) != XmlStatus::Ok || !found) {
      return std::nullopt;
    }
    if (text.size() > 254) {
      text.resize(254);  // what the loader keeps
    }
    return text;
  }

  // A decimal attribute as the loader reads it (wide-stream extraction),
  // with a warning when it is missing or not a number: then the loader uses
  // 0 and this returns nothing.
  std::optional<int> Number(_tagSXmlNode node, const std::string& element,
                            const std::wstring& name) {
    const std::optional<std::wstring> text = Attribute(node, name);
    if (!text) {
      Add(false, Line(node), element, "has no " + ToUtf8(name) + " attribute; 0 is used");
      return std::nullopt;
    }
    std::wistringstream stream(*text);
    int value = 0;
    stream >> value;
    if (stream.fail() && value == 0) {
      Add(false, Line(node), element,
          ToUtf8(name) + "=\"" + ToUtf8(*text) + "\" is not a number; 0 is used");
      return std::nullopt;
    } else if (stream.fail()) {
      Add(false, Line(node), element,
          ToUtf8(name) + "=\"" + ToUtf8(*text) + "\" is out of range; " + std::to_string(value) +
              " is used");
    } else if (!stream.eof()) {
      std::wstring rest;
      std::getline(stream, rest);
      if (rest.find_first_not_of(L" \t\r\n") != std::wstring::npos) {
        Add(false, Line(node), element,
            ToUtf8(name) + "=\"" + ToUtf8(*text) + "\" is read as " + std::to_string(value) +
                "; the rest is ignored");
      }
    }
    return value;
  }

  long Line(_tagSXmlNode node) { return mDocument.NodeLine(node); }

  void Add(bool error, long line, const std::string& element, const std::string& message) {
    mFindings.push_back(_tagSConfigFinding{error, line, element, message});
  }

 private:
  CXmlDocument& mDocument;
  std::vector<_tagSConfigFinding>& mFindings;
};

std::string Describe(const char* tag, const char* key, const std::optional<std::wstring>& value) {
  std::string text = std::string("<") + tag;
  if (value) {
    text += std::string(" ") + key + "=\"" + ToUtf8(*value) + "\"";
  }
  return text + ">";
}

std::string Celsius(const std::optional<int>& value) {
  return value ? std::to_string(*value) + " degrees Celsius" : "(missing, 0 kelvin)";
}

void InspectPlatform(CInspector& in) {
  const std::vector<_tagSXmlNode> platforms = in.Elements(L"Platform");
  if (platforms.empty()) {
    in.Add(true, 0, "<Platform>",
           "the file has no <Platform> element; the loader needs one (at any depth) and gives up "
           "without it");
    return;
  }
  for (std::size_t k = 1; k < platforms.size(); ++k) {
    in.Add(false, in.Line(platforms[k]), "<Platform>",
           "only the first <Platform> (line " + std::to_string(in.Line(platforms[0])) +
               ") is read; this one is ignored");
  }
  for (const auto& [name, child] : in.Children(platforms[0])) {
    if (name == L"Shutdown") {
      const std::optional<std::wstring> option = in.Attribute(child, L"option");
      if (!option) {
        in.Add(false, in.Line(child), "<Shutdown>",
               "has no option attribute; the machine will shut down (not hibernate)");
      } else if (*option != L"hibernate") {
        std::wstring lower = *option;
        for (wchar_t& c : lower) {
          c = static_cast<wchar_t>(std::towlower(c));
        }
        if (lower == L"hibernate") {
          in.Add(false, in.Line(child), "<Shutdown>",
                 "option=\"" + ToUtf8(*option) +
                     "\" is not \"hibernate\" (the comparison is exact); the machine will "
                     "shut down");
        }
      }
      in.Number(child, "<Shutdown>", L"timer");
    } else if (name == L"Throttling") {
      const std::optional<std::wstring> preference = in.Attribute(child, L"preference");
      if (!preference || (*preference != L"Active" && *preference != L"Passive")) {
        in.Add(false, in.Line(child), "<Throttling>",
               (preference ? "preference=\"" + ToUtf8(*preference) + "\"" : "no preference") +
                   " is neither \"Active\" nor \"Passive\"; the preference stays passive (0)");
      }
    }
  }
}

void InspectDevices(CInspector& in) {
  struct _tagSSeen {
    std::wstring path;
    long line;
  };
  std::vector<_tagSSeen> seen;
  for (const _tagSXmlNode device : in.Elements(L"Device")) {
    const std::optional<std::wstring> path = in.Attribute(device, L"Path");
    const std::string element = Describe("Device", "Path", path);
    const long line = in.Line(device);
    if (!path) {
      in.Add(false, line, element, "has no Path attribute; it applies to every device");
    }
    in.Number(device, element, L"class");
    const std::wstring fragment = path.value_or(L"");
    for (const _tagSSeen& earlier : seen) {
      if (fragment.find(earlier.path) != std::wstring::npos) {
        in.Add(false, line, element,
               "is never used for the paths it names: the earlier <Device Path=\"" +
                   ToUtf8(earlier.path) + "\"> (line " + std::to_string(earlier.line) +
                   ") occurs in them and matches first");
        break;
      }
    }
    seen.push_back(_tagSSeen{fragment, line});
    for (const auto& [name, child] : in.Children(device)) {
      if (name == L"DUsage") {
        in.Number(child, element + " <DUsage>", L"enable");
        in.Number(child, element + " <DUsage>", L"shutdown");
        continue;
      }
      if (name != L"Throttle") {
        continue;
      }
      in.Number(child, element + " <Throttle>", L"priority");
      const int limit = in.Number(child, element + " <Throttle>", L"limit").value_or(0);
      const int step = in.Number(child, element + " <Throttle>", L"step").value_or(0);
      if (step > limit) {
        in.Add(true, in.Line(child), element + " <Throttle>",
               "step " + std::to_string(step) + " is greater than limit " + std::to_string(limit) +
                   "; the step must not exceed the limit");
      }
    }
  }
}

void InspectSkinPaths(CInspector& in, const std::string& element, _tagSXmlNode sensor,
                      const std::vector<std::pair<std::wstring, _tagSXmlNode>>& children) {
  const std::optional<std::wstring> countText = in.Attribute(sensor, L"ThirdParty_DeviceCount");
  int announced = -1;
  if (countText) {
    std::wistringstream stream(*countText);
    announced = 0;
    stream >> announced;
  }
  int added = 0;
  int pathElements = 0;
  for (const auto& [name, child] : children) {
    if (name != L"DevicePath") {
      continue;
    }
    ++pathElements;
    const int limit = announced > 0 ? announced : 1;
    for (int k = 0; k < limit; ++k) {
      if (!in.Attribute(child, L"Device" + std::to_wstring(k))) {
        if (added == 0 && (announced == 0 || announced == -1)) {
          added = announced;
        }
        break;
      }
      ++added;
    }
  }
  if (added == announced) {
    return;
  }
  const long line = in.Line(sensor);
  if (!countText) {
    in.Add(true, line, element,
           pathElements == 0
               ? "a skin sensor (class 1) needs ThirdParty_DeviceCount; give 0 when it governs "
                 "no further devices"
               : "has a <DevicePath> with Device0 but no ThirdParty_DeviceCount; give the number "
                 "of device paths");
  } else if (announced < 0) {
    in.Add(true, line, element,
           "ThirdParty_DeviceCount=\"" + ToUtf8(*countText) + "\" is negative");
  } else if (pathElements == 0) {
    in.Add(true, line, element,
           "ThirdParty_DeviceCount is " + std::to_string(announced) +
               " but the sensor has no <DevicePath> element");
  } else {
    in.Add(true, line, element,
           "ThirdParty_DeviceCount is " + std::to_string(announced) + " but " +
               std::to_string(added) + " device path" + (added == 1 ? " was" : "s were") +
               " found; one <DevicePath> must hold Device0" +
               (announced > 1 ? " to Device" + std::to_string(announced - 1) : "") +
               (announced == 0 ? " only when the count is above 0" : ", without gaps"));
  }
}

void InspectSensors(CInspector& in) {
  std::vector<std::wstring> names;
  for (const _tagSXmlNode sensor : in.Elements(L"Sensor")) {
    const std::optional<std::wstring> name = in.Attribute(sensor, L"Path");
    const std::string element = Describe("Sensor", "Path", name);
    const long line = in.Line(sensor);
    if (!name) {
      in.Add(false, line, element, "has no Path attribute; it is stored under an empty name");
    }
    for (const std::wstring& earlier : names) {
      if (earlier == name.value_or(L"")) {
        in.Add(false, line, element,
               "has the name of an earlier sensor; only the earlier one is ever found");
        break;
      }
    }
    names.push_back(name.value_or(L""));
    const int sensorClass = in.Number(sensor, element, L"class").value_or(0);
    const auto children = in.Children(sensor);
    for (const auto& [childName, child] : children) {
      if (childName == L"Temperature") {
        const std::string where = element + " <Temperature>";
        const std::optional<int> shutdown = in.Number(child, where, L"shutdown");
        const std::optional<int> start = in.Number(child, where, L"ThrottleStart");
        // A missing or unreadable temperature is stored as 0 tenths of kelvin.
        const long long shutdownTenths = shutdown ? *shutdown * 10LL + 2732 : 0;
        const long long startTenths = start ? *start * 10LL + 2732 : 0;
        if (startTenths >= shutdownTenths) {
          in.Add(true, in.Line(child), where,
                 "ThrottleStart " + Celsius(start) + " is not below shutdown " + Celsius(shutdown) +
                     "; throttling must start below the shutdown temperature");
        }
      } else if (childName == L"SUsage") {
        in.Number(child, element + " <SUsage>", L"enable");
        in.Number(child, element + " <SUsage>", L"aux_interval");
      }
    }
    if (sensorClass == kSkinSensorClass) {
      InspectSkinPaths(in, element, sensor, children);
    }
  }
}

}  // namespace

_tagSConfigInspection InspectConfigFile(CXml& xml, const std::wstring& path) {
  _tagSConfigInspection inspection;
  std::unique_ptr<CXmlDocument> document;
  if (xml.CreateDocument(document) != XmlStatus::Ok || !document ||
      document->Load(path, inspection.parseError) != XmlStatus::Ok) {
    inspection.parseError.code = -1;
    inspection.parseError.reason = L"the XML parser could not be used";
    return inspection;
  }
  if (inspection.parseError.code != 0) {
    return inspection;
  }
  inspection.parsed = true;
  CInspector in(*document, inspection.findings);
  InspectPlatform(in);
  InspectDevices(in);
  InspectSensors(in);
  return inspection;
}
