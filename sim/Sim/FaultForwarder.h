// The base of the fault decorators: it holds the object a decorator wraps
// (shared, or owned for the objects a factory hands out) and the plan it
// consults, and gives the one way a decorated call asks the plan whether it
// fails. A decorator derives from CFaultForwarder<Interface> and overrides
// the calls it can fail; each asks Fault (or FaultAfter for a call whose
// fault may proceed) and otherwise forwards to Inner().
#pragma once

#include <initializer_list>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>

#include "Sim/FaultPlan.h"

template <typename Interface, typename Holder = std::shared_ptr<Interface>>
class CFaultForwarder : public Interface {
 public:
  const Holder& Inner() const { return mInner; }
  const std::shared_ptr<CFaultPlan>& Plan() const { return mPlan; }

 protected:
  // `base` goes to the interface's own constructor, for one that has one.
  template <typename... BaseArgs>
  CFaultForwarder(Holder inner, std::shared_ptr<CFaultPlan> plan, BaseArgs&&... base)
      : Interface(std::forward<BaseArgs>(base)...),
        mInner(std::move(inner)),
        mPlan(std::move(plan)) {}

  // The status of the fault that fails this call of `op` on one of
  // `targets` (0 when the fault names none); nothing when the call goes on.
  std::optional<long> Fault(FaultOp op, std::initializer_list<std::wstring_view> targets) const {
    long status = 0;
    if (mPlan->Take(op, targets, status)) {
      return status;
    }
    return std::nullopt;
  }

  // As Fault, for a call whose fault may proceed: then `call` runs all the
  // same (the request reached the wrapped object, which refused it) before
  // the fault's status is returned.
  template <typename Call>
  std::optional<long> FaultAfter(FaultOp op, std::initializer_list<std::wstring_view> targets,
                                 Call call) const {
    long status = 0;
    bool proceed = false;
    if (!mPlan->Take(op, targets, status, &proceed)) {
      return std::nullopt;
    }
    if (proceed) {
      call();
    }
    return status;
  }

  Holder mInner;
  std::shared_ptr<CFaultPlan> mPlan;
};
