// The scene of the power-up state tests: a started retimer on an empty
// 32 x 32 device, a clock, placed registers (each on a site of its own) and
// the state manager that computes their values across a move.
#pragma once

#include <memory>
#include <string>

#include "irtm_fixture.h"
#include "testing/design_builder.h"
#include "testing/netlist_builder.h"
#include "testing/route_helpers.h"
#include "velmo_irtm_test.h"

namespace velmo_test {

class InitStateScene : public IrtmFixture {
public:
  using IV = INITIAL_STATE_MANAGER::INIT_VAL;
  void SetUp() override {
    IrtmFixture::SetUp();
    host::testing::device(host::testing::Family::KY).grid(32, 32).dsp_columns({}).ram_columns({}).build();
    n = std::make_unique<host::testing::NETLIST_BUILDER>(host::testing::netlist());
    clk = n->input_port("clk");
    make_util(nullptr);
  }
  // A register fed by `d` powering up high or low, on the next free site.
  VOK_ATOM_NODE* reg(const std::string& name, host::testing::SIG d, bool high) {
    auto r = n->reg(name).clk(clk).d(d).powers_up(high);
    const int lab = next / 40, site = next % 40;
    host::testing::place_at(r, 1 + lab % 28, 1 + lab / 28, 3 * (site / 2) + 1 + site % 2);
    ++next;
    return r;
  }
  // The value the manager recorded for an output.
  IV value(const VOK_ATOM_OTERM* o) {
    IV v = IV::ANY;
    EXPECT_TRUE(ism.get_value(o, &v)) << "no value recorded";
    return v;
  }
  static VOK_ATOM_OTERM* q(VOK_ATOM_NODE* a) { return a->get_oterm_slot(0); }

  std::unique_ptr<host::testing::NETLIST_BUILDER> n;
  host::testing::SIG clk;
  INITIAL_STATE_MANAGER ism{true};
  int next = 0;
};

}  // namespace velmo_test
