// The XML stand-in over libxml2, used by both the Linux and the simulated
// platform (the simulated one reads the files that tests write).
//
// Loading resolves entities and default attributes, validates against the
// DTD that a file declares (a file without one is only checked for being
// well-formed), keeps libxml2's default limits against entity expansion and
// never touches the network: external entities and DTDs are read from local
// regular files only, through an entity loader installed process-wide on
// first use that applies only to loads made here and forwards every other
// caller's requests to the loader that was installed before it.
#pragma once

#include <memory>

#include "Platform/Xml.h"

std::shared_ptr<CXml> CreateLibXmlParser();

// The parser options every load uses. Exposed so that a benchmark can time
// libxml2's own parse of the same file with the same options.
int LibXmlParseOptions();
