// A forwarding registry that fails the calls a fault plan names (RegOpen and
// RegWait by key path, the others by value name). A failing open returns no
// key; a failing set changes nothing unless the fault proceeds. Thread-safe.
#pragma once

#include <memory>

#include "Platform/Registry.h"
#include "Sim/FaultForwarder.h"

class CFaultyRegistry : public CFaultForwarder<CRegistry> {
 public:
  CFaultyRegistry(std::shared_ptr<CRegistry> inner, std::shared_ptr<CFaultPlan> plan);

  std::unique_ptr<CRegistryKey> Open(const std::wstring& path, uint32_t access,
                                     long& status) override;
  void Refresh() override { mInner->Refresh(); }
};
