// The retimer's timing service on registers and arithmetic cells: which
// fan-in edges of a register's keeper make it dont-touch, and which atoms
// and inputs keep a register from moving through an arithmetic cell.
#include <gtest/gtest.h>

#include "kem/kem_manager.h"
#include "kem/kem_netlist.h"
#include "testing/netlist_builder.h"
#include "testing/design_builder.h"
#include "testing/route_helpers.h"
#include "irtm_fixture.h"
#include "velmo_irtm_test.h"

namespace {

using namespace host::testing;

class IrtmKeeperEdgesTest : public velmo_test::IrtmFixture {
protected:
  void make_util() {
    IrtmFixture::make_util(KEM_MANAGER::get()->get_kem_netlist());
    util->update_multi_corner_info();
  }
};

// A register's keeper: flags on its clock edges never count, also when the
// register has no data edge at all and its clock edge is the netlist's
// first; a flag on a data edge does.
TEST_F(IrtmKeeperEdgesTest, OnlyTheDataEdgesOfAKeeperCount) {
  device(Family::KY).build();
  NETLIST_BUILDER n(host::vok::top_netlist());
  SIG clk = n.input_port("clk");
  n.clock("clk", 1000, clk);
  auto tied = n.reg("tied").clk(clk);  // its data input has no driver
  auto fed = n.reg("fed").clk(clk).d(tied);
  n.reg("out").clk(clk).d(fed);
  place_at(tied, 3, 3, 0);
  place_at(fed, 3, 3, 1);
  place_at(n.find("out"), 3, 3, 2);
  n.timing();
  make_util();
  KEM_NETLIST* kem = util->get_kem_netlist();
  int fed_data = -1;
  bool edge_zero = false;
  for (const char* name : {"tied", "fed"})
    for (int id : kem->get_cell_from_atom_id(n.find(name)->get_id())->keeper_range())
      for (int e = kem->get_node(id)->begin_fanin(); e >= 0; e = kem->get_edge(e)->get_next_fanin()) {
        if (kem->get_edge(e)->get_kind() == KEM_EDGE_KEEPER_DATA) {
          fed_data = e;
          continue;
        }
        edge_zero = edge_zero || e == 0;
        kem->set_edge_flag_bits(e, 3);
      }
  EXPECT_TRUE(edge_zero);
  ASSERT_GE(fed_data, 0);
  kem->set_edge_flag_bits(fed_data, 1);
  EXPECT_FALSE(util->is_timing_dont_touch(n.find("tied")));
  EXPECT_TRUE(util->is_timing_dont_touch(n.find("fed")));
  EXPECT_FALSE(util->is_timing_dont_touch(n.find("out")));
}

// An arithmetic cell with a data input fed by a register: movable through,
// but not once that input is used as one of the four upper LUT inputs (16
// to 19); a register or no atom at all is no arithmetic cell, even one
// whose output marks a result.
TEST_F(IrtmKeeperEdgesTest, WhatAnArithmeticCellMayBe) {
  device(Family::KY).build();
  NETLIST_BUILDER n(host::vok::top_netlist());
  SIG clk = n.input_port("clk");
  n.clock("clk", 1000, clk);
  SIG r = n.reg("r").clk(clk).d(n.input_port("i"));
  n.reg("q").clk(clk).d(r);
  auto chain = n.carry_chain("add", 2);
  VOK_ATOM_ITERM* in = chain.cell(1)->add_input_term(DB_INPUT_PORT_LUT_DATA, 0);
  vok_connect(r.oterm, in);
  n.timing();
  make_util();
  ASSERT_TRUE(util->is_retimable_arith(chain.cell(1)));
  const int usage = in->get_any_usage_as();
  for (int refused = 16; refused <= 19; ++refused) {
    in->set_usage(refused);
    EXPECT_FALSE(util->is_retimable_arith(chain.cell(1))) << "input usage " << refused;
  }
  in->set_usage(usage);
  EXPECT_TRUE(util->is_retimable_arith(chain.cell(1)));
  VOK_ATOM_NODE* reg = n.find("r");
  r.oterm->set_usage(8);
  EXPECT_FALSE(util->is_retimable_arith(reg));
  r.oterm->set_usage(0);
  EXPECT_FALSE(util->is_retimable_arith(reg));
  EXPECT_FALSE(util->is_retimable_arith(nullptr));
}

}  // namespace
