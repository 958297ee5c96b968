// The resynthesiser's description of a LUT takes the eight LUT data inputs
// only: an input used as anything else is the resynthesiser's internal error.
#include <gtest/gtest.h>

#include <memory>

#include "cmp/cmp_facade.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "testing/route_helpers.h"
#include "velmo_irsyn_test.h"
#include "wexan/wexan_env.h"

namespace {

using namespace host::testing;

class IrsynLutInputsTest : public HostTest {
public:
  void TearDown() override {
    manager.reset();
    delete env;
    env = nullptr;
    HostTest::TearDown();
  }
  WEXAN_ENV* env = nullptr;
  std::unique_ptr<IRSYN_MANAGER> manager;
};

// Inputs 0 and 7 are described at their own slot; a usage just below the
// first data input or just past the eighth is refused, whichever input
// carries it.
TEST_F(IrsynLutInputsTest, OnlyTheEightDataInputsAreDescribed) {
  device(Family::KY).build();
  NETLIST_BUILDER n(host::vok::top_netlist());
  SIG clk = n.input_port("clk");
  n.clock("clk", 10, clk);
  SIG a = n.reg("a").clk(clk).d(n.input_port("i"));
  SIG b = n.reg("b").clk(clk).d(n.input_port("j"));
  auto l = n.lut("l", {a, b}, [](const LUT_INPUTS& x) { return x[0] != x[1]; });
  n.reg("q").clk(clk).d(l);
  place_at(n.find("a"), 3, 3, 0);
  place_at(n.find("b"), 3, 3, 1);
  place_at(l, 3, 3, 2);
  place_at(n.find("q"), 3, 3, 3);
  n.timing();
  env = new WEXAN_ENV(CMP_FACADE::current(), 0, nolt_device_factory_fn);
  manager = std::make_unique<IRSYN_MANAGER>(CMP_FACADE::current(), env);
  manager->m_domain = HOV_INCR_WNS_DOMAIN{0, 0, 0, 0};
  VOK_ATOM_ITERM* in0 = l->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0);
  VOK_ATOM_ITERM* in1 = l->get_input_term_by_type(static_cast<DB_INPUT_PORT_TYPE>(DB_INPUT_PORT_LUT_DATA + 1), 0);
  ASSERT_TRUE(in0 && in1);
  std::uint64_t mask;
  int codes[8];
  bool inv[8];
  in1->set_usage(DB_INPUT_PORT_LUT_DATA + 7);
  manager->expand_lut(l, &mask, codes, inv, 1);
  EXPECT_GE(codes[0], 0);
  EXPECT_GE(codes[7], 0);
  EXPECT_NE(codes[0], codes[7]);
  for (int i = 1; i < 7; ++i) EXPECT_EQ(codes[i], IRSYN_CODE_UNUSED) << i;
  for (VOK_ATOM_ITERM* t : {in0, in1})
    for (int usage : {DB_INPUT_PORT_LUT_DATA - 1, DB_INPUT_PORT_LUT_DATA + 8, static_cast<int>(DB_INPUT_PORT_CARRY_IN)}) {
      const int kept = t->get_any_usage_as();
      t->set_usage(usage);
      const auto e = expect_internal_error([&] { manager->expand_lut(l, &mask, codes, inv, 1); });
      EXPECT_EQ(e.condition, "iidx >= 0 && iidx <= 7") << usage;
      t->set_usage(kept);
    }
}

}  // namespace
