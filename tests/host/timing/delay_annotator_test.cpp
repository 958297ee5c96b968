// The delay annotator's partial rebuild and the load of dangling stubs on
// the routed connections below them.
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "cmp/cmp_facade.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/timing_builder.h"
#include "tibex/tibex_vpr_facade.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_routing.h"
#include "wexan/wexan_env.h"
#include "wump/wump_die_info.h"
#include "xab/xab_delay_annotator.h"

namespace {

using namespace host::testing;

class DelayAnnotatorTest : public HostTest {
protected:
  void SetUp() override {
    HostTest::SetUp();
    device(Family::KY).build();
    env = new WEXAN_ENV(CMP_FACADE::current(), 0, nolt_device_factory_fn);
    n = std::make_unique<NETLIST_BUILDER>(netlist());
    clk = n->io_in("clk");
    n->clock("clk", 2000, clk);
    a = n->reg("a").clk(clk).d(n->io_in("in"));
    b = n->reg("b").clk(clk).d(a);
    c = n->reg("c").clk(clk).d(a);
    n->io_out("out", b);
    n->io_out("out2", c);
    TIBEX_VPR_FACADE f;
    ASSERT_TRUE(f.place());
    ASSERT_TRUE(f.route());
    VOK_CHIP_DB_ENTRY::current()->get_routing()->attach_atom_netlist(host::vok::top_netlist(), 1);
    env->get_hov_utility_or_create_if_necessary(0, 3, 5, false, false, false, false, nullptr, false, false);
    routing = VOK_CHIP_DB_ENTRY::current()->get_routing();
  }
  void TearDown() override {
    delete env;
    HostTest::TearDown();
  }
  // The interconnect edge into an atom's data input.
  const KEM_EDGE* edge_into(VOK_ATOM_NODE* atom) const {
    const KEM_NODE* node = timing_input(atom, DB_INPUT_PORT_DATA_IN);
    const KEM_NETLIST* kem = KEM_MANAGER::get()->get_kem_netlist();
    for (int e = node->begin_fanin(); e >= 0; e = kem->get_edge(e)->get_next_fanin())
      if (kem->get_edge(e)->get_kind() == KEM_EDGE_INTERCONNECT) return kem->get_edge(e);
    return nullptr;
  }
  // A spare element fed by the wire node `at`, appended under it as a stub.
  unsigned attach_stub(int at) {
    std::set<unsigned> used;
    for (int id = 0; id < routing->forest().num_slots(); ++id)
      if (routing->is_live(id) && routing->is_wire(id)) used.insert(routing->get_gid(id));
    const WUMP_ROUTE_INFO* info = host::device::die_info()->get_route_info();
    for (auto it = info->begin_fanout_gids(routing->get_gid(at)); it != info->end_fanout_gids(routing->get_gid(at)); ++it) {
      const unsigned g = *it | 0x80000000u;
      const int kind = info->get_dev_element_from_gid(g);
      if (used.count(g) || (kind != 700 && kind != 701) || info->is_zota_gid(g)) continue;
      routing->append_child(at, g & 0x7FFFFFFFu);
      return g;
    }
    return 0;
  }
  WEXAN_ENV* env = nullptr;
  std::unique_ptr<NETLIST_BUILDER> n;
  SIG clk;
  VOK_ATOM_NODE *a = nullptr, *b = nullptr, *c = nullptr;
  VOK_RE_ROUTING* routing = nullptr;
};

TEST_F(DelayAnnotatorTest, AStubLoadsTheConnectionsBelowItAtEveryCornerAfterTheNetRebuild) {
  KEM_NETLIST* kem = KEM_MANAGER::get()->get_kem_netlist();
  const KEM_EDGE* into_b = edge_into(b);
  const KEM_EDGE* into_c = edge_into(c);
  ASSERT_TRUE(into_b && into_c);
  const int b_id = into_b->get_id(), c_id = into_c->get_id();
  const int slow_b = kem->get_edge_delay_ps(*into_b, 0), fast_b = kem->get_edge_delay_ps(*into_b, 1);
  const int slow_c = kem->get_edge_delay_ps(*into_c, 0);
  const int hold_b = host::sta::edge_hold_slack(b_id, 0);

  // The stub hangs on the wire just above b's sink, which c's route does not
  // pass.
  const std::vector<int> sinks = routing->get_sink_nodes(b->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0));
  ASSERT_EQ(sinks.size(), 1u);
  int at = routing->forest().parent(sinks[0]);
  unsigned stub = 0;
  for (; at >= 0 && stub == 0; at = stub ? at : routing->forest().parent(at))
    if (routing->is_wire(at)) stub = attach_stub(at);
  ASSERT_GE(at, 0);
  ASSERT_NE(stub, 0u);
  const double load = 0.5 * host::device::die_info()->get_route_info()->get_hop_delay_ps(stub, 1.0);
  // Before the stub the connection's delay was its path's hop delays alone.
  double path = 0.0;
  for (int up = sinks[0]; up >= 0; up = routing->forest().parent(up))
    if (routing->is_wire(up)) path += host::device::die_info()->get_route_info()->get_hop_delay_ps(routing->get_gid(up), 1.0);
  EXPECT_EQ(slow_b, static_cast<int>(path + 0.5));

  // Nothing changes before the rebuild.
  EXPECT_EQ(kem->get_edge(b_id)->get_max_delay(), slow_b);
  XAB_DELAY_ANNOTATOR annotator(CMP_FACADE::current(), true);
  annotator.rebuild_netlist_for_atoms({}, {}, {}, {a->get_output_term_by_type(DB_OUTPUT_PORT_REG, 0)}, {});

  const KEM_EDGE* after_b = kem->get_edge(b_id);
  ASSERT_TRUE(after_b);
  EXPECT_EQ(after_b, edge_into(b));
  EXPECT_EQ(kem->get_edge_delay_ps(*after_b, 0), slow_b + static_cast<int>(std::lround(load)));
  EXPECT_NEAR(kem->get_edge_delay_ps(*after_b, 1), fast_b + load * 0.65, 1.0);
  EXPECT_EQ(host::sta::edge_hold_slack(b_id, 0), hold_b + static_cast<int>(std::lround(load)));
  // c's connection gains the load only when its path passes the stub's
  // parent.
  bool c_below = false;
  for (int node : routing->get_sink_nodes(c->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0)))
    for (int up = node; up >= 0; up = routing->forest().parent(up)) c_below = c_below || up == at;
  EXPECT_EQ(kem->get_edge_delay_ps(*kem->get_edge(c_id), 0), slow_c + (c_below ? static_cast<int>(std::lround(load)) : 0));

  // The routing hops carry the load too, for the sink below the stub only.
  float hop[4];
  kem->get_re_hop_delays(sinks[0], 0, hop);
  EXPECT_NEAR(hop[0] * 1e12, slow_b + load, 1.0);
  EXPECT_FALSE(kem->is_re_element_free(at));
  EXPECT_EQ(kem->get_re_element_gid(at), routing->get_gid(at));
  EXPECT_TRUE(kem->is_re_element_free(sinks[0]));

  // A full rebuild gives the same delays and slacks.
  const int hold_after = host::sta::edge_hold_slack(b_id, 0);
  env->indicate_that_atom_netlist_is_modified();
  env->get_hov_utility_or_create_if_necessary(0, 3, 5, false, false, false, false, nullptr, false, false);
  const KEM_EDGE* full = edge_into(b);
  EXPECT_EQ(KEM_MANAGER::get()->get_kem_netlist()->get_edge_delay_ps(*full, 0), slow_b + static_cast<int>(std::lround(load)));
  EXPECT_EQ(host::sta::edge_hold_slack(full->get_id(), 0), hold_after);
}

TEST_F(DelayAnnotatorTest, TheAtomListsRebuildCellsAndAGoneAtomLosesItsCell) {
  KEM_NETLIST* kem = KEM_MANAGER::get()->get_kem_netlist();
  // c leaves the netlist; naming it by id drops its cell and a's net loses
  // the load; b is named by the second list and keeps its cell.
  const int cid = c->get_id();
  host::vok::top_netlist()->remove(c);
  XAB_DELAY_ANNOTATOR annotator(CMP_FACADE::current(), true);
  annotator.rebuild_netlist_for_atoms({}, {b}, {static_cast<unsigned>(cid)}, {}, {});
  EXPECT_EQ(kem->get_cell_from_atom_id(cid), nullptr);
  EXPECT_NE(kem->get_cell_from_atom_id(b->get_id()), nullptr);
  EXPECT_NE(edge_into(b), nullptr);
  // Nothing happens without a timing netlist.
  KEM_MANAGER::get()->set_kem_netlist(nullptr);
  annotator.rebuild_netlist_for_atoms({a}, {}, {}, {}, {});
  EXPECT_EQ(KEM_MANAGER::get()->get_kem_netlist(), nullptr);
}

}  // namespace
