#include "Platform/Sim/FaultyXml.h"

#include <utility>

namespace {

using Op = CFaultyXml::Op;

class CFaultyXmlDocument : public CXmlDocument {
 public:
  CFaultyXmlDocument(std::unique_ptr<CXmlDocument> inner, CFaultyXml& faults)
      : mInner(std::move(inner)), mFaults(faults) {}

  XmlStatus Load(const std::wstring& path, _tagSXmlParseError& error) override {
    if (mFaults.TakeFault(Op::Load, path)) {
      return XmlStatus::Failed;
    }
    return mInner->Load(path, error);
  }
  XmlStatus ValidateAgainst(const std::wstring& grammar, _tagSXmlParseError& error) override {
    if (mFaults.TakeFault(Op::Load, grammar)) {
      return XmlStatus::Failed;
    }
    return mInner->ValidateAgainst(grammar, error);
  }
  XmlStatus ElementsByTagName(std::wstring_view tag, std::vector<_tagSXmlNode>& out) override {
    if (mFaults.TakeFault(Op::ElementsByTagName, tag)) {
      return XmlStatus::Failed;
    }
    return mInner->ElementsByTagName(tag, out);
  }
  XmlStatus NodeName(_tagSXmlNode node, std::wstring& name) override {
    if (mFaults.TakeFault(Op::NodeName, L"")) {
      return XmlStatus::Failed;
    }
    return mInner->NodeName(node, name);
  }
  long NodeLine(_tagSXmlNode node) override { return mInner->NodeLine(node); }
  XmlStatus ChildNodes(_tagSXmlNode node, std::vector<_tagSXmlNode>& out) override {
    if (mFaults.TakeFault(Op::ChildNodes, L"")) {
      return XmlStatus::Failed;
    }
    return mInner->ChildNodes(node, out);
  }
  XmlStatus Attributes(_tagSXmlNode node, _tagSXmlNode& attributes) override {
    if (mFaults.TakeFault(Op::Attributes, L"")) {
      return XmlStatus::Failed;
    }
    return mInner->Attributes(node, attributes);
  }
  XmlStatus AttributeText(_tagSXmlNode attributes, std::wstring_view name, bool& found,
                          std::wstring& text) override {
    if (mFaults.TakeFault(Op::AttributeText, name)) {
      return XmlStatus::Failed;
    }
    return mInner->AttributeText(attributes, name, found, text);
  }

 private:
  std::unique_ptr<CXmlDocument> mInner;
  CFaultyXml& mFaults;
};

}  // namespace

CFaultyXml::CFaultyXml(std::shared_ptr<CXml> inner) : mInner(std::move(inner)) {}
CFaultyXml::~CFaultyXml() = default;

XmlStatus CFaultyXml::CreateDocument(std::unique_ptr<CXmlDocument>& out) {
  if (TakeFault(Op::CreateDocument, L"")) {
    return XmlStatus::Failed;
  }
  std::unique_ptr<CXmlDocument> inner;
  const XmlStatus status = mInner->CreateDocument(inner);
  if (status != XmlStatus::Ok) {
    return status;
  }
  // The forwarding document refers back to this object, which the platform
  // keeps alive as long as anything created through it may be used.
  out = std::make_unique<CFaultyXmlDocument>(std::move(inner), *this);
  return XmlStatus::Ok;
}

void CFaultyXml::FailNext(Op op, const std::wstring& target, int count, int skip) {
  std::lock_guard<std::mutex> hold(mLock);
  mFaults.push_back(_tagSFault{op, target, skip < 0 ? 0 : skip, count < 0 ? 0 : count});
}

void CFaultyXml::ClearFaults() {
  std::lock_guard<std::mutex> hold(mLock);
  mFaults.clear();
}

int CFaultyXml::CallCount(Op op) {
  std::lock_guard<std::mutex> hold(mLock);
  const auto found = mCalls.find(op);
  return found == mCalls.end() ? 0 : found->second;
}

int CFaultyXml::PendingFaults() {
  std::lock_guard<std::mutex> hold(mLock);
  return static_cast<int>(mFaults.size());
}

bool CFaultyXml::TakeFault(Op op, std::wstring_view target) {
  std::lock_guard<std::mutex> hold(mLock);
  ++mCalls[op];
  ++mCalls[Op::Any];
  // Every armed fault that matches counts the call, so faults armed together
  // do not disturb each other's counts.
  bool fail = false;
  for (auto fault = mFaults.begin(); fault != mFaults.end();) {
    if ((fault->op != op && fault->op != Op::Any) ||
        (!fault->target.empty() && fault->target != target)) {
      ++fault;
      continue;
    }
    if (fault->skip > 0) {
      --fault->skip;
      ++fault;
      continue;
    }
    fail = true;
    if (fault->remaining > 0 && --fault->remaining == 0) {
      fault = mFaults.erase(fault);
    } else {
      ++fault;
    }
  }
  return fail;
}
