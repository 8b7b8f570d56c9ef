// XML stand-in: load a file into a document, find elements by tag name
// anywhere in the tree, walk child nodes by name and read attributes by name.
//
// Nodes are opaque handles owned by their document: a handle stays valid while
// the document that returned it lives, and a null handle means "no node".
// Every operation that the configuration loader treats as a possible failure
// returns an XmlStatus, so that a decorator can make any single call fail.
//
// Names and texts are wide strings. Element and attribute names compare
// case-sensitively, as qualified names ("prefix:local" when namespaced).
//
// Thread safety: a CXml may be used from any thread. One document is used by
// one thread at a time.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "zivorivizo/XmlParseError.h"

enum class XmlStatus { Ok, Failed };

// A node of a loaded document (element, text, comment, attribute...).
struct _tagSXmlNode {
  const void* handle = nullptr;
  explicit operator bool() const { return handle != nullptr; }
};

class CXmlDocument {
 public:
  virtual ~CXmlDocument() = default;

  // Loads and parses `path`, replacing whatever the document held. A file that
  // is missing, unreadable, not well-formed, or that declares a DTD and does
  // not validate against it, loads as a parse error (`error.code` non-zero,
  // status Ok). External DTDs are read from local regular files only: a
  // reference to anything else (a network resource, a device) is a parse
  // error. The work a file can cause is bounded (see LibXmlParser.h): a file
  // that declares a general entity, or that exceeds one of the limits, is a
  // parse error too. Failed means the document itself could not do the work.
  virtual XmlStatus Load(const std::wstring& path, _tagSXmlParseError& error) = 0;

  // Validates the loaded document against the DTD in the local file
  // `grammar` (whatever DTD the document declares itself). Valid: Ok with
  // `error.code` 0. Not valid, or the grammar does not load: Ok with the
  // problems in `error`. Failed when nothing is loaded or the document
  // cannot do the work.
  virtual XmlStatus ValidateAgainst(const std::wstring& grammar, _tagSXmlParseError& error) = 0;

  // Every element named `tag`, in document order (replaces `out`).
  virtual XmlStatus ElementsByTagName(std::wstring_view tag, std::vector<_tagSXmlNode>& out) = 0;

  // The node's name: the tag of an element, "#text", "#comment",
  // "#cdata-section", or a processing instruction's target.
  virtual XmlStatus NodeName(_tagSXmlNode node, std::wstring& name) = 0;

  // The line of the file a node starts on (1-based), or 0 when unknown. For
  // messages only; never fails.
  virtual long NodeLine(_tagSXmlNode node) = 0;

  // The node's child nodes of every kind, in order (replaces `out`).
  virtual XmlStatus ChildNodes(_tagSXmlNode node, std::vector<_tagSXmlNode>& out) = 0;

  // The node's attribute collection, to look attributes up with
  // AttributeText. Fails for a node that has none (a text node).
  virtual XmlStatus Attributes(_tagSXmlNode node, _tagSXmlNode& attributes) = 0;

  // Looks `name` up in a collection from Attributes. Absent: Ok with `found`
  // false and `text` untouched. Present: Ok, `found` true and its whole text.
  // Failed leaves `text` untouched too.
  virtual XmlStatus AttributeText(_tagSXmlNode attributes, std::wstring_view name, bool& found,
                                  std::wstring& text) = 0;
};

class CXml {
 public:
  virtual ~CXml() = default;
  // Makes an empty document. On failure `out` stays null.
  virtual XmlStatus CreateDocument(std::unique_ptr<CXmlDocument>& out) = 0;
};
