// The document adapter over libxml2: a loaded tree behind CXmlDocument.
// Loading and validation go through the bounded loader (LibXmlLoader.h); the
// document owns the tree it holds and frees it when it loads another or dies.
#pragma once

#include <memory>

#include "Platform/Xml.h"

// An empty document; the caller owns it.
std::unique_ptr<CXmlDocument> CreateLibXmlDocument();
