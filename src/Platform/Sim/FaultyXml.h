// A forwarding XML stand-in that a test can make fail at any call: "the next
// tag-list query for Device fails", "the third attribute read fails", "every
// child list fails from now on". The simulated platform wraps its parser in
// one, so every failure a loader handles is reachable without a special path
// in the library. Thread-safe.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Platform/Xml.h"

class CFaultyXml : public CXml {
 public:
  // The calls that can be made to fail. Any matches every call.
  enum class Op {
    Any,
    CreateDocument,
    Load,
    ElementsByTagName,
    NodeName,
    ChildNodes,
    Attributes,
    AttributeText
  };

  explicit CFaultyXml(std::shared_ptr<CXml> inner);
  ~CFaultyXml() override;

  XmlStatus CreateDocument(std::unique_ptr<CXmlDocument>& out) override;

  // Arms a fault: of the calls of `op` whose target equals `target` (the tag
  // of ElementsByTagName, the attribute name of AttributeText, the path of
  // Load or the grammar of ValidateAgainst, which counts as a Load; an empty
  // target matches every call), the first `skip` pass, then
  // `count` fail (count 0: every one from then on). A failed call returns
  // XmlStatus::Failed and changes nothing.
  void FailNext(Op op, const std::wstring& target = L"", int count = 1, int skip = 0);
  void ClearFaults();
  // Calls of `op` made so far (Any: all calls), failed ones included.
  int CallCount(Op op);
  // Faults armed and not yet used up.
  int PendingFaults();

  // Called by the forwarding documents: counts the call and tells whether it
  // is to fail.
  bool TakeFault(Op op, std::wstring_view target);

 private:
  struct _tagSFault {
    Op op;
    std::wstring target;
    int skip;
    int remaining;  // 0: always
  };

  std::shared_ptr<CXml> mInner;
  std::mutex mLock;
  std::vector<_tagSFault> mFaults;
  std::map<Op, int> mCalls;
};
