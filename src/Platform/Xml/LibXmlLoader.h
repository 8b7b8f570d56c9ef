// The bounded loader over libxml2: parses a local file into a tree, or
// validates a tree against a local DTD, within the bounds that LibXmlParser.h
// describes, never touching the network. Every problem libxml2, the entity
// loader or a bound reports is handed back in a _tagSXmlParseError.
#pragma once

#include <libxml/tree.h>

#include <string>
#include <vector>

#include "Platform/Xml.h"

// An element as the parser made it: the node, its local name and its
// namespace, read while the node is still in the cache.
struct LibXmlElementMade {
  xmlNodePtr node;
  const xmlChar* name;
  const xmlNs* ns;
};

// Parses the local file `path` (UTF-8). Loaded: Ok, `doc` holds the tree
// (the caller frees it with xmlFreeDoc) and `error.code` is 0. Not loaded
// (missing, not well-formed, not valid against the DTD it declares, over a
// bound): Ok, `doc` null and the problems in `error`. Failed when libxml2
// cannot make a parser; `doc` is null then too. Each element the parser
// makes is added to `elements`, when given, in document order, as it is made;
// a load that fails leaves it empty.
XmlStatus LoadBoundedDocument(const std::string& path, xmlDocPtr& doc, _tagSXmlParseError& error,
                              std::vector<LibXmlElementMade>* elements);

// Validates `doc` against the DTD in the local file `grammar`, read with the
// same bounds. Valid: Ok with `error.code` 0; not valid, or the DTD does not
// load: Ok with the problems in `error`. Failed when `doc` is null or no
// validation context can be made.
XmlStatus ValidateBoundedDocument(xmlDocPtr doc, const std::string& grammar,
                                  _tagSXmlParseError& error);
