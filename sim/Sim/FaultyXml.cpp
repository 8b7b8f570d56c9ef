#include "Sim/FaultyXml.h"

#include <utility>

namespace {

class CFaultyXmlDocument : public CFaultForwarder<CXmlDocument, std::unique_ptr<CXmlDocument>> {
 public:
  CFaultyXmlDocument(std::unique_ptr<CXmlDocument> inner, std::shared_ptr<CFaultPlan> plan)
      : CFaultForwarder(std::move(inner), std::move(plan)) {}

  XmlStatus Load(const std::wstring& path, _tagSXmlParseError& error) override {
    return Fault(FaultOp::XmlLoad, {path}) ? XmlStatus::Failed : mInner->Load(path, error);
  }
  XmlStatus ValidateAgainst(const std::wstring& grammar, _tagSXmlParseError& error) override {
    return Fault(FaultOp::XmlLoad, {grammar}) ? XmlStatus::Failed
                                              : mInner->ValidateAgainst(grammar, error);
  }
  XmlStatus ElementsByTagName(std::wstring_view tag, std::vector<_tagSXmlNode>& out) override {
    return Fault(FaultOp::XmlElementsByTagName, {tag}) ? XmlStatus::Failed
                                                       : mInner->ElementsByTagName(tag, out);
  }
  XmlStatus NodeName(_tagSXmlNode node, std::wstring& name) override {
    return Fault(FaultOp::XmlNodeName, {L""}) ? XmlStatus::Failed : mInner->NodeName(node, name);
  }
  // Never fails: a line is for messages only.
  long NodeLine(_tagSXmlNode node) override { return mInner->NodeLine(node); }
  XmlStatus ChildNodes(_tagSXmlNode node, std::vector<_tagSXmlNode>& out) override {
    return Fault(FaultOp::XmlChildNodes, {L""}) ? XmlStatus::Failed : mInner->ChildNodes(node, out);
  }
  XmlStatus Attributes(_tagSXmlNode node, _tagSXmlNode& attributes) override {
    return Fault(FaultOp::XmlAttributes, {L""}) ? XmlStatus::Failed
                                                : mInner->Attributes(node, attributes);
  }
  XmlStatus AttributeText(_tagSXmlNode attributes, std::wstring_view name, bool& found,
                          std::wstring& text) override {
    return Fault(FaultOp::XmlAttributeText, {name})
               ? XmlStatus::Failed
               : mInner->AttributeText(attributes, name, found, text);
  }
};

}  // namespace

CFaultyXml::CFaultyXml(std::shared_ptr<CXml> inner, std::shared_ptr<CFaultPlan> plan)
    : CFaultForwarder(std::move(inner), std::move(plan)) {}
CFaultyXml::~CFaultyXml() = default;

XmlStatus CFaultyXml::CreateDocument(std::unique_ptr<CXmlDocument>& out) {
  if (Fault(FaultOp::XmlCreateDocument, {})) {
    return XmlStatus::Failed;
  }
  std::unique_ptr<CXmlDocument> inner;
  const XmlStatus result = mInner->CreateDocument(inner);
  if (result != XmlStatus::Ok) {
    return result;
  }
  out = std::make_unique<CFaultyXmlDocument>(std::move(inner), mPlan);
  return XmlStatus::Ok;
}
