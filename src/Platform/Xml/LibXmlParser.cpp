#include "Platform/Xml/LibXmlParser.h"

#include "Platform/Xml/LibXmlDocument.h"

namespace {

class CLibXmlParser : public CXml {
 public:
  XmlStatus CreateDocument(std::unique_ptr<CXmlDocument>& out) override {
    out = CreateLibXmlDocument();
    return XmlStatus::Ok;
  }
};

}  // namespace

std::shared_ptr<CXml> CreateLibXmlParser() {
  return std::make_shared<CLibXmlParser>();
}
