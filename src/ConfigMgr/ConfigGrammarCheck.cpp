#include <memory>

#include "Platform/Xml.h"
#include "zivorivizo/Diagnostics.h"
#include "zivorivizo/Platform.h"

bool CheckConfigGrammar(const std::wstring& path, const std::wstring& grammar,
                        _tagSXmlParseError& error) {
  std::unique_ptr<CXmlDocument> document;
  return CPlatform::Current()->Xml().CreateDocument(document) == XmlStatus::Ok && document &&
         document->Load(path, error) == XmlStatus::Ok && error.code == 0 &&
         document->ValidateAgainst(grammar, error) == XmlStatus::Ok;
}
