// A forwarding XML stand-in that fails the calls a fault plan names: "the
// next tag-list query for Device fails", "the third attribute read fails",
// "every child list fails from now on". A failed call returns
// XmlStatus::Failed and changes nothing. Thread-safe.
#pragma once

#include <memory>
#include <string>

#include "Platform/Xml.h"
#include "Sim/FaultForwarder.h"

class CFaultyXml : public CFaultForwarder<CXml> {
 public:
  CFaultyXml(std::shared_ptr<CXml> inner, std::shared_ptr<CFaultPlan> plan);
  ~CFaultyXml() override;

  XmlStatus CreateDocument(std::unique_ptr<CXmlDocument>& out) override;
};
