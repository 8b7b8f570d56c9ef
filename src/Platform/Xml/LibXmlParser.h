// The XML stand-in over libxml2, used by both the Linux and the simulated
// platform (the simulated one reads the files that tests write).
//
// Loading resolves parameter entities and default attributes, validates
// against the DTD that a file declares (a file without one is only checked
// for being well-formed) and never touches the network: DTDs and external
// parameter entities are read from local regular files only, through an
// entity loader installed process-wide on first use that applies only to
// loads made here and forwards every other caller's requests to the loader
// that was installed before it.
//
// The work a load may cause is bounded, so that any file under
// kXmlMaxFileBytes loads within a few tens of megabytes or is refused with a
// parse error that names the bound:
//  - a general entity declaration (no policy file needs one; their
//    references in attribute values and DTD defaults multiply the text);
//  - a file (the policy file, its DTD, an external parameter entity) of more
//    than kXmlMaxFileBytes, or more than four times that read in one load;
//  - parameter entity references expanding to more than kXmlMaxFileBytes;
//  - more than 65536 attributes, or attribute values of more than
//    kXmlMaxFileBytes characters, in the whole document, DTD defaults
//    included (a default is copied into every element that lacks it).
// libxml2's own limits (nesting, name and text lengths) stay in force.
#pragma once

#include <memory>

#include "Platform/Xml.h"
#include "zivorivizo/Export.h"

inline constexpr long long kXmlMaxFileBytes = 1 << 20;

ZIVO_EXPORT std::shared_ptr<CXml> CreateLibXmlParser();

// The parser options every load uses. Exposed so that a benchmark can time
// libxml2's own parse of the same file with the same options.
int LibXmlParseOptions();
