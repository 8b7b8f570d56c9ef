// The one harness of the contract suites. A suite states what every
// implementation of a stand-in must do, and runs against each (the simulated
// one and the Linux one), always seen through the stand-in's fault decorator
// with a plan of its own: the plain cases check that the decorator forwards
// faithfully whichever implementation is behind it, and the fault cases that
// a fault armed on it fails the call without reaching that implementation.
//
//   struct CThingEnv : CContractEnv { ... };
//   using ThingContract = CContractTest<CThingEnv>;
//   TEST_P(ThingContract, ...) { ... Env() ... Plan() ... }
//   ZIVO_CONTRACT_SUITE(ThingContract, {"Sim", Make<CSimThingEnv>}, {"Linux", ...});
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>
#include <string>

#include "Sim/FaultPlan.h"

class CContractEnv {
 public:
  virtual ~CContractEnv() = default;
  // Why the implementation cannot run here (a skip), or "".
  virtual std::string Unavailable() { return ""; }
  // Why it could not be prepared although it can run (a failure), or "".
  virtual std::string Problem() { return ""; }

  const std::shared_ptr<CFaultPlan> mPlan = std::make_shared<CFaultPlan>();
};

template <typename Env>
struct _tagSContractImpl {
  const char* name;
  std::function<std::unique_ptr<Env>()> make;

  friend void PrintTo(const _tagSContractImpl& impl, std::ostream* os) { *os << impl.name; }
};

template <typename Env>
class CContractTest : public testing::TestWithParam<_tagSContractImpl<Env>> {
 protected:
  void SetUp() override {
    mEnv = this->GetParam().make();
    if (const std::string why = mEnv->Unavailable(); !why.empty()) {
      GTEST_SKIP() << why;
    }
    ASSERT_EQ(mEnv->Problem(), "");
  }

  Env& E() { return *mEnv; }
  CFaultPlan& Plan() { return *mEnv->mPlan; }

  std::unique_ptr<Env> mEnv;
};

template <typename Env, typename Base = Env>
std::unique_ptr<Base> Make() {
  return std::make_unique<Env>();
}

#define ZIVO_CONTRACT_SUITE(Suite, ...)                                            \
  INSTANTIATE_TEST_SUITE_P(                                                        \
      Impls, Suite, testing::ValuesIn(std::vector<Suite::ParamType>{__VA_ARGS__}), \
      [](const testing::TestParamInfo<Suite::ParamType>& info) { return info.param.name; })
