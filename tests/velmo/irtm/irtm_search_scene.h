// The move search suites' scene: a KY device with a 1 ns design clock,
// placed registers on a global clock and placed LUTs, and a retiming manager
// set up on the design once it is built (start()).
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <string>

#include "cmp/cmp_facade.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "testing/route_helpers.h"
#include "velmo_irtm_test.h"
#include "wexan/wexan_env.h"

class IRTM_SEARCH_SCENE : public host::testing::HostTest {
public:
  using SIG = host::testing::SIG;
  using REG_BUILDER = host::testing::REG_BUILDER;

  void SetUp() override {
    HostTest::SetUp();
    host::testing::device(host::testing::Family::KY).build();
    n = std::make_unique<host::testing::NETLIST_BUILDER>(host::testing::netlist());
    clk = n->input_port("clk");
    n->clock("clk", 1000, clk);
  }
  void TearDown() override {
    if (mgr) {
      mgr->cleanup(true);
      mgr.reset();
    }
    delete env;
    env = nullptr;
    HostTest::TearDown();
  }
  // A placed register on a global clock (the design clock unless `c`).
  REG_BUILDER reg(const std::string& name, SIG d, int x, int y, int z, SIG c = SIG()) {
    REG_BUILDER r = n->reg(name).clk(c.oterm ? c : clk);
    if (d.oterm) r.d(d);
    host::testing::place_at(r, x, y, z);
    r.iterm(DB_INPUT_PORT_CLK)->set_connection_code(2);
    return r;
  }
  VOK_ATOM_NODE* lut(const std::string& name, std::initializer_list<SIG> in, int x, int y, int z) {
    VOK_ATOM_NODE* l = n->lut(name, in, [](const host::testing::LUT_INPUTS& v) { return v[0] != (v.n > 1 && v[1]); });
    host::testing::place_at(l, x, y, z);
    return l;
  }
  void start() {
    n->timing();
    env = new WEXAN_ENV(CMP_FACADE::current(), 0, nolt_device_factory_fn);
    mgr = std::make_unique<IRTM_MANAGER>(CMP_FACADE::current(), env);
    mgr->setup();
  }
  IRTM_FF* ff(VOK_ATOM_NODE* a) { return mgr->create_irtm_ff(a); }
  static VOK_ATOM_ITERM* d_of(VOK_ATOM_NODE* a) { return a->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0); }
  static std::uint32_t gid(VOK_ATOM_NODE* a) { return a->get_location_gid(); }

  std::unique_ptr<host::testing::NETLIST_BUILDER> n;
  SIG clk;
  WEXAN_ENV* env = nullptr;
  std::unique_ptr<IRTM_MANAGER> mgr;
  IRTM_MOVE move{0};
};
