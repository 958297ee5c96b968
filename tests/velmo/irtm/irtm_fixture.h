#pragma once
// A clean host with a fitter environment and the retimer's timing utility
// installed as its singleton for the test.
#include <memory>
#include <string>

#include "cmp/cmp_facade.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "testing/route_helpers.h"
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

// A design input placed on the left edge in row y (pad at site 1, its input
// buffer at site 2); the buffer's output.
inline host::testing::SIG left_pad_input(host::testing::NETLIST_BUILDER& n, const std::string& name, int y) {
  auto ibuf = n.io_in(name);
  host::testing::place_at(n.find(name), 0, y, 1);
  host::testing::place_at(ibuf, 0, y, 2);
  return ibuf;
}

}  // namespace velmo_test
