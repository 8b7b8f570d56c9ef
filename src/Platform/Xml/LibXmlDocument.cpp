// The document adapter: a libxml2 tree seen through CXmlDocument, with
// element lookups by tag name served from an index built on first use from
// the elements the parser listed.
#include "Platform/Xml/LibXmlDocument.h"

#include <libxml/tree.h>

#include <new>
#include <string>
#include <unordered_map>
#include <vector>

#include "Platform/Text.h"
#include "Platform/Xml/LibXmlLoader.h"

namespace {

xmlNodePtr NodeOf(_tagSXmlNode node) {
  return static_cast<xmlNodePtr>(const_cast<void*>(node.handle));
}

_tagSXmlNode HandleOf(const void* node) {
  return _tagSXmlNode{node};
}

// Takes the UTF-8 text `utf8` off the front of `rest`; false when `rest` does
// not start with it. Names are nearly always ASCII, compared without copying.
bool ConsumeUtf8(const char* utf8, std::wstring_view& rest) {
  std::size_t i = 0;
  for (; utf8[i] != 0; ++i) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    if (c >= 0x80) {
      const std::wstring wide = FromUtf8(utf8);
      if (rest.substr(0, wide.size()) != wide) {
        return false;
      }
      rest.remove_prefix(wide.size());
      return true;
    }
    if (i >= rest.size() || rest[i] != static_cast<wchar_t>(c)) {
      return false;
    }
  }
  rest.remove_prefix(i);
  return true;
}

// Whether a node's qualified name ("prefix:local" or "local") is `name`.
bool NameIs(const xmlChar* local, const xmlNs* ns, std::wstring_view name) {
  if (local == nullptr) {
    return false;
  }
  if (ns == nullptr || ns->prefix == nullptr) {
    // An ASCII name, the usual case, is decided in place; most attribute
    // names differ from the wanted one at their first character.
    for (std::size_t i = 0; i < name.size(); ++i) {
      const unsigned char c = local[i];
      if (c >= 0x80) {
        return ConsumeUtf8(reinterpret_cast<const char*>(local), name) && name.empty();
      }
      if (c == 0 || static_cast<wchar_t>(c) != name[i]) {
        return false;
      }
    }
    return local[name.size()] == 0;
  }
  if (!ConsumeUtf8(reinterpret_cast<const char*>(ns->prefix), name) || name.empty() ||
      name.front() != L':') {
    return false;
  }
  name.remove_prefix(1);
  return ConsumeUtf8(reinterpret_cast<const char*>(local), name) && name.empty();
}

// Appends UTF-8 text to `out`. ASCII (nearly every name and value) is widened
// in one pass through a small buffer and appended a chunk at a time, so
// `out` grows once for a short text; from the first other byte on, the rest
// is decoded.
void AppendUtf8(std::wstring& out, const char* utf8) {
  if (utf8 == nullptr) {
    return;
  }
  constexpr std::size_t kChunk = 64;
  wchar_t chunk[kChunk];
  for (;;) {
    std::size_t n = 0;
    for (unsigned char c = 0;
         n < kChunk && (c = static_cast<unsigned char>(utf8[n])) != 0 && c < 0x80; ++n) {
      chunk[n] = static_cast<wchar_t>(c);
    }
    out.append(chunk, n);
    utf8 += n;
    if (*utf8 == 0) {
      return;
    }
    if (static_cast<unsigned char>(*utf8) >= 0x80) {
      out += FromUtf8(utf8);
      return;
    }
  }
}

void AssignQualifiedName(std::wstring& out, const xmlChar* local, const xmlNs* ns) {
  out.clear();
  if (ns != nullptr && ns->prefix != nullptr) {
    AppendUtf8(out, reinterpret_cast<const char*>(ns->prefix));
    out.push_back(L':');
  }
  AppendUtf8(out, reinterpret_cast<const char*>(local));
}

// Makes `state` the load in progress on this thread, with libxml2's error
// reports going to it, for the scope's life.

class CLibXmlDocument : public CXmlDocument {
 public:
  ~CLibXmlDocument() override { Release(); }

  XmlStatus Load(const std::wstring& path, _tagSXmlParseError& error) override {
    Release();
    try {
      mMade.reserve(kElementsReserved);
    } catch (const std::bad_alloc&) {
      return XmlStatus::Failed;
    }
    return LoadBoundedDocument(ToUtf8(path), mDoc, error, &mMade);
  }

  XmlStatus ValidateAgainst(const std::wstring& grammar, _tagSXmlParseError& error) override {
    return ValidateBoundedDocument(mDoc, ToUtf8(grammar), error);
  }

  XmlStatus ElementsByTagName(std::wstring_view tag, std::vector<_tagSXmlNode>& out) override {
    out.clear();
    if (mDoc == nullptr) {
      return XmlStatus::Failed;
    }
    if (!mIndexed) {
      BuildIndex();
    }
    const auto found = mElementsByName.find(std::wstring(tag));
    if (found != mElementsByName.end()) {
      out = found->second;
    }
    return XmlStatus::Ok;
  }

  XmlStatus NodeName(_tagSXmlNode handle, std::wstring& name) override {
    xmlNodePtr node = NodeOf(handle);
    if (node == nullptr) {
      return XmlStatus::Failed;
    }
    switch (node->type) {
      case XML_ELEMENT_NODE:
      case XML_ATTRIBUTE_NODE:
        AssignQualifiedName(name, node->name, node->ns);
        break;
      case XML_TEXT_NODE:
        name = L"#text";
        break;
      case XML_CDATA_SECTION_NODE:
        name = L"#cdata-section";
        break;
      case XML_COMMENT_NODE:
        name = L"#comment";
        break;
      case XML_DOCUMENT_NODE:
        name = L"#document";
        break;
      default:
        name.clear();
        AppendUtf8(name, reinterpret_cast<const char*>(node->name));
        break;
    }
    return XmlStatus::Ok;
  }

  long NodeLine(_tagSXmlNode handle) override {
    xmlNodePtr node = NodeOf(handle);
    if (node == nullptr) {
      return 0;
    }
    const long line = xmlGetLineNo(node);
    return line > 0 ? line : 0;
  }

  XmlStatus ChildNodes(_tagSXmlNode handle, std::vector<_tagSXmlNode>& out) override {
    out.clear();
    xmlNodePtr node = NodeOf(handle);
    if (node == nullptr) {
      return XmlStatus::Failed;
    }
    if (node->type == XML_ELEMENT_NODE || node->type == XML_DOCUMENT_NODE) {
      for (xmlNodePtr child = node->children; child != nullptr; child = child->next) {
        out.push_back(HandleOf(child));
      }
    }
    return XmlStatus::Ok;
  }

  XmlStatus Attributes(_tagSXmlNode handle, _tagSXmlNode& attributes) override {
    xmlNodePtr node = NodeOf(handle);
    if (node == nullptr || node->type != XML_ELEMENT_NODE) {
      return XmlStatus::Failed;
    }
    attributes = handle;  // an element stands for its own attribute list
    return XmlStatus::Ok;
  }

  XmlStatus AttributeText(_tagSXmlNode attributes, std::wstring_view name, bool& found,
                          std::wstring& text) override {
    found = false;
    xmlNodePtr node = NodeOf(attributes);
    if (node == nullptr || node->type != XML_ELEMENT_NODE) {
      return XmlStatus::Failed;
    }
    for (xmlAttrPtr attribute = node->properties; attribute != nullptr;
         attribute = attribute->next) {
      if (!NameIs(attribute->name, attribute->ns, name)) {
        continue;
      }
      xmlNodePtr value = attribute->children;
      if (value == nullptr) {
        text.clear();
      } else if (value->next == nullptr && value->type == XML_TEXT_NODE) {
        text.clear();
        AppendUtf8(text, reinterpret_cast<const char*>(value->content));
      } else {
        xmlChar* joined = xmlNodeListGetString(mDoc, value, 1);
        if (joined == nullptr) {
          return XmlStatus::Failed;
        }
        text = FromUtf8(reinterpret_cast<const char*>(joined));
        xmlFree(joined);
      }
      found = true;
      return XmlStatus::Ok;
    }
    return XmlStatus::Ok;
  }

 private:
  void Release() {
    mMade.clear();
    mElementsByName.clear();
    mIndexed = false;
    if (mDoc != nullptr) {
      xmlFreeDoc(mDoc);
      mDoc = nullptr;
    }
  }

  // Groups every element by its qualified name, so that each tag-name query
  // costs a lookup instead of a walk. The elements are those the parser
  // listed as it made them, in document order: every element of the tree
  // comes from the parser (a general entity, whose text could hold more, is
  // refused), and the list is read from one block instead of from nodes
  // spread over the whole tree.
  void BuildIndex() {
    // libxml2 keeps one copy of each name, so the name pointer of an element
    // without a prefix usually finds its group without building a string.
    std::unordered_map<const xmlChar*, std::vector<_tagSXmlNode>*> byPointer;
    std::wstring name;
    for (const LibXmlElementMade& made : mMade) {
      const bool prefixed = made.ns != nullptr && made.ns->prefix != nullptr;
      std::vector<_tagSXmlNode>* group = nullptr;
      if (!prefixed) {
        const auto cached = byPointer.find(made.name);
        group = cached != byPointer.end() ? cached->second : nullptr;
      }
      if (group == nullptr) {
        AssignQualifiedName(name, made.name, made.ns);
        group = &mElementsByName[name];
        if (!prefixed) {
          byPointer.emplace(made.name, group);
        }
      }
      group->push_back(HandleOf(made.node));
    }
    mMade = {};
    mIndexed = true;
  }

  // Room for the elements of a large policy file (a few thousand), so that
  // listing them does not grow a block among the tree's nodes as they are
  // made; a larger file grows it.
  static constexpr std::size_t kElementsReserved = 8192;
  xmlDocPtr mDoc = nullptr;
  // The elements the parser made, until the index is built from them.
  std::vector<LibXmlElementMade> mMade;
  bool mIndexed = false;
  // Element handles by qualified name, in document order. The vectors'
  // addresses stay put while the map grows (node-based container).
  std::unordered_map<std::wstring, std::vector<_tagSXmlNode>> mElementsByName;
};

}  // namespace

std::unique_ptr<CXmlDocument> CreateLibXmlDocument() {
  return std::make_unique<CLibXmlDocument>();
}
