#pragma once
// A clean host with a fitter environment and the retimer's timing utility
// installed as its singleton for the test.
#include <memory>

#include "cmp/cmp_facade.h"
#include "testing/host_test.h"
#include "velmo_irtm_test.h"
#include "wexan/wexan_env.h"

namespace velmo_test {

class IrtmFixture : public host::testing::HostTest {
public:
  // The utility over a timing netlist (may be null for tests without timing).
  void make_util(KEM_NETLIST* kem) {
    env = new WEXAN_ENV(CMP_FACADE::current(), 0, nolt_device_factory_fn);
    util = std::make_unique<IRTM_UTIL>(env, kem);
    IRTM_UTIL::s_instance = util.get();
  }
  void TearDown() override {
    IRTM_UTIL::s_instance = nullptr;
    util.reset();
    delete env;
    env = nullptr;
    host::testing::HostTest::TearDown();
  }
  WEXAN_ENV* env = nullptr;
  std::unique_ptr<IRTM_UTIL> util;
};

}  // namespace velmo_test
