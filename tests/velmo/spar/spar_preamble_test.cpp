// Preparation of the hold-fixing re-route: which input terms keep their
// routing, and what routing is left for the re-route to keep.
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "cmp/cmp_facade.h"
#include "common/host_call_log.h"
#include "jov/jov_design.h"
#include "msg/msg_base.h"
#include "msg/msg_internal_error.h"
#include "pexa/pexa_utility.h"
#include "swavo/swavo_recompile_op.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "testing/routing_builder.h"
#include "velmo_expert.h"
#include "velmo_main.h"
#include "vok/vok_chip_db_entry.h"
#include "wexan/wexan_env.h"
#include "wump/wump_die_info.h"
#include "wump/wump_route_info.h"
#include "zib/zib_wireluts.h"

using host::testing::h;
using host::testing::v;

namespace {

class SparPreambleTest : public host::testing::EnvTest {};

TEST_F(SparPreambleTest, KeepsFilteredRoutesAndErasesWhatServesOnlyTheOthers) {
  auto n = host::testing::netlist();
  auto in = n.input_port("in");
  auto a = n.lut("a", {in}, 0x2);
  auto x = n.lut("x", {a}, 0x2);
  x.iterm(DB_INPUT_PORT_LUT_DATA)->set_connection_code(3);  // an ordinary kind
  auto g = n.atom(VOK_ATOM_KIND::CLK_GATE, "g").input(DB_INPUT_PORT_CLK, 0, a);
  // The other clock and interface blocks keep their inputs' routing too.
  for (VOK_ATOM_KIND kind : {VOK_ATOM_KIND::CLK_DIVIDER, VOK_ATOM_KIND::CLK_BURST, VOK_ATOM_KIND::UFI_UIB,
                             VOK_ATOM_KIND::UFI_ESRAM, VOK_ATOM_KIND::UFIND4H_UIB, VOK_ATOM_KIND::UIBSSM,
                             VOK_ATOM_KIND::UIB_IO_PHY, VOK_ATOM_KIND::UIB_RDRC, VOK_ATOM_KIND::UIB_WDRC})
    n.atom(kind, "block" + std::to_string(static_cast<int>(kind))).input(DB_INPUT_PORT_CLK, 0, a);
  auto b = n.lut("b", {in}, 0x2);
  auto y = n.lut("y", {b}, 0x2);
  b->set_modifiable(false);
  y->set_modifiable(false);
  // A tied input of an atom that may not be modified has no source to be
  // modified either: it is filtered.
  y.tie(static_cast<DB_INPUT_PORT_TYPE>(DB_INPUT_PORT_LUT_DATA + 1), 0, true);
  auto c = n.lut("c", {in}, 0x2);
  auto z = n.lut("z", {c}, 0x2);
  z.iterm(DB_INPUT_PORT_LUT_DATA)->set_connection_code(4);  // an ordinary kind too
  auto glob = n.lut("glob", {in}, 0x2);
  glob.iterm(DB_INPUT_PORT_LUT_DATA)->set_connection_code(5);
  auto d = n.lut("d", {in}, 0x2);
  auto w = n.lut("w", {d}, 0x2);
  w.iterm(DB_INPUT_PORT_LUT_DATA)->set_connection_code(1);  // ordinary
  auto e = n.lut("e", {in}, 0x2);
  auto q = n.lut("q", {e}, 0x2);
  auto p1 = n.lut("p1", {in}, 0x2);
  auto p2 = n.lut("p2", {p1}, 0x2);
  host::zib::set_pr_wirelut(p1.id(), false);
  host::zib::set_pr_wirelut(p2.id(), true);
  auto f = n.lut("f", {in}, 0x2);
  auto s = n.lut("s", {f}, 0x2);
  auto u = n.lut("u", {in}, 0x2);
  auto k = n.lut("k", {u}, 0x2);
  auto m = n.lut("m", {in}, 0x2);
  auto t = n.lut("t", {m}, 0x2);

  const WUMP_ROUTE_INFO* ri = host::device::die_info()->get_route_info();
  auto r = host::testing::routing();
  VOK_RE_ROUTING& routing = r.get();
  // A scratch root holds slot 0 until f's routing (below) takes it, so node
  // ids are no markers there.
  const unsigned block_out = ri->gids(283).front();
  std::vector<unsigned> fanouts;
  host::device::die_info()->get_fanout_gids(block_out, fanouts);
  ASSERT_FALSE(fanouts.empty());
  const int scratch = routing.new_root(VOK_RE_ROUTING::VIRTUAL_VALUE);
  auto f_net = r.routing(f);
  // m -> t enters the core from another block output, then passes a routing
  // register: its Q side is still trimmed.
  int t_after = -1;
  const unsigned block_out2 = ri->gids(283)[1];
  std::vector<unsigned> fanouts2;
  host::device::die_info()->get_fanout_gids(block_out2, fanouts2);
  r.routing(m).wire_gid(block_out2).wire_gid(fanouts2.front()).zota(DEV_ELEMENT_REF{282, 7, 8, 61}).wire(v(7, 6)).mark(
      t_after).sink(t.iterm(DB_INPUT_PORT_LUT_DATA));
  int a_trunk = -1, a_to_x = -1, a_to_g = -1, c_wire = -1, c_root = -1, d_reg = -1, d_after = -1, e_wire = -1,
      y_wire = -1, f_block = -1, f_wire = -1, u_trunk = -1, u_stub = -1, u_to_k = -1;
  r.routing(a)
      .wire(h(2, 2)).mark(a_trunk)
      .branch([&](auto& br) { br.wire(v(2, 2)).mark(a_to_x).sink(x.iterm(DB_INPUT_PORT_LUT_DATA)); })
      .wire(h(3, 2)).mark(a_to_g).sink(g.iterm(DB_INPUT_PORT_CLK));
  r.routing(b).wire(h(5, 5)).mark(y_wire).sink(y.iterm(DB_INPUT_PORT_LUT_DATA));
  r.routing(c).mark(c_root).wire(h(6, 6)).mark(c_wire).sink(z.iterm(DB_INPUT_PORT_LUT_DATA));
  r.routing(d).wire(h(7, 7)).zota(DEV_ELEMENT_REF{282, 7, 8, 60}).wire(v(7, 8)).mark(d_after).sink(
      w.iterm(DB_INPUT_PORT_LUT_DATA));
  r.routing(e).wire(h(8, 3)).mark(e_wire).wire(v(8, 3)).sink(q.iterm(DB_INPUT_PORT_LUT_DATA));
  // u -> k with a wire that ends in no sink: a leaf that is not a sink stays,
  // and with it the trunk above it.
  r.routing(u)
      .wire(h(3, 4)).mark(u_trunk)
      .branch([&](auto& br) { br.wire(v(3, 4)).mark(u_stub); })
      .wire(h(4, 4)).mark(u_to_k).sink(k.iterm(DB_INPUT_PORT_LUT_DATA));
  // A route that enters the core from a block output: the edge leaves the
  // core fabric, so the wire stays. The block-output wire is node 0, the
  // upper end of that edge.
  routing.erase(scratch);
  f_net.wire_gid(block_out).mark(f_block).wire_gid(fanouts.front()).mark(f_wire).sink(
      s.iterm(DB_INPUT_PORT_LUT_DATA));
  ASSERT_EQ(f_block, 0);
  r.attach();
  ASSERT_EQ(&routing, m_env->get_chip_db_entry()->get_routing());
  // The D side of d's routing register.
  for (int id = 0; id < routing.forest().num_slots(); ++id)
    if (routing.is_live(id) && routing.is_zota_node(id) && routing.forest().parent(id) != -1) d_reg = id;
  ASSERT_NE(d_reg, -1);

  // e's first wire, two wires above q's sink, is reserved for a partition.
  JOV_DESIGN* design = JOV_ROOT::get()->get_design("");
  JOV_PARTITION* part = design->add_partition("sub");
  part->get_state(JOV_PARTITION::s_unspecified)->reserved_re_ids().push_back(
      static_cast<int>(routing.get_gid(e_wire) & 0x7FFFFFFFu));
  // So is f's block-output wire, node 0: s's route passes it.
  part->get_state(JOV_PARTITION::s_unspecified)->reserved_re_ids().push_back(
      static_cast<int>(routing.get_gid(f_block) & 0x7FFFFFFFu));
  m_env->m_zota_state = 1;

  spar_preamble();

  EXPECT_THAT(host::debug::texts(), HasDebugLine("spar_preamble: filtered 16 iterms"));
  EXPECT_EQ(m_env->m_zota_state, 0);
  // a: the trunk and the branch to the clock gate stay; the branch to x goes.
  EXPECT_TRUE(routing.is_live(a_trunk));
  EXPECT_TRUE(routing.is_live(a_to_g));
  EXPECT_FALSE(routing.is_live(a_to_x));
  // b -> y: neither end may be modified.
  EXPECT_TRUE(routing.is_live(y_wire));
  // c -> z: only the source root is left.
  EXPECT_FALSE(routing.is_live(c_wire));
  EXPECT_TRUE(routing.is_live(c_root));
  // d -> register -> w: the register stays, w is merged at it.
  EXPECT_TRUE(routing.is_live(d_reg));
  EXPECT_FALSE(routing.is_live(d_after));
  EXPECT_THAT(host::call_lines(),
              ::testing::Contains(::testing::StartsWith("VOK_RE_ROUTING_MODIFIER::merge_at_routing_register(\"spar_preamble\", iterm#" +
                                                        std::to_string(w.id()))));
  EXPECT_TRUE(routing.is_live(e_wire));
  EXPECT_TRUE(routing.is_live(u_stub));
  EXPECT_TRUE(routing.is_live(u_trunk));
  EXPECT_FALSE(routing.is_live(u_to_k));
  // Below a wire entered over a non-fabric edge the whole route stays, its
  // sink included: no dangling stub.
  EXPECT_TRUE(routing.is_live(f_block));
  EXPECT_TRUE(routing.is_live(f_wire));
  EXPECT_FALSE(routing.is_live(t_after));
  const auto s_sinks = routing.get_sink_nodes(s.iterm(DB_INPUT_PORT_LUT_DATA));
  ASSERT_EQ(s_sinks.size(), 1u);
  EXPECT_TRUE(routing.is_live(s_sinks.front()));
  EXPECT_EQ(routing.forest().parent(s_sinks.front()), f_wire);
  // The netlist is not touched.
  EXPECT_TRUE(x.iterm(DB_INPUT_PORT_LUT_DATA)->is_connected());
  EXPECT_EQ(host::swavo::recompile_argument(), "routed -hold_fixup");
  EXPECT_FALSE(std::filesystem::exists("spar_hard_routing_constraints-stitched.echo"));
}

TEST_F(SparPreambleTest, OrderOfItsStepsAndTheDebugDumps) {
  auto n = host::testing::netlist();
  auto in = n.input_port("in");
  n.lut("a", {in}, 0x2);
  host::testing::routing().attach();
  cfg_set_on("velmo_spar_debug");
  spar_preamble();
  const bool committed = velmo_write_intermediate_snapshot(nullptr);
  const std::vector<std::string> calls = host::call_lines();
  EXPECT_EQ(std::any_of(calls.begin(), calls.end(),
                        [](const std::string& l) {
                          return l.rfind("GEN_PROFILE_BINS::open_with_tag(\"VELMO\", \"bbic_push_routing_to_partitions\"", 0) == 0;
                        }),
            !committed);
  EXPECT_THAT(host::call_lines(),
              CallSequence(std::vector<std::string>{
                  "GEN_PROFILE_BINS::open_with_tag(\"VELMO\", \"spar_preamble\"",
                  "SWAVO_RECOMPILE_OP::parse_recompile_argument(\"routed -hold_fixup\")",
                  "SWAVO_RECOMPILE_OP::reset_swavo_recompile_to_current",
                  "VOK_RE_ROUTING_MODIFIER::VOK_RE_ROUTING_MODIFIER(\"spar_preamble\", false, false)",
                  "VOK_RE_ROUTING_MODIFIER::~VOK_RE_ROUTING_MODIFIER(\"spar_preamble\")",
                  "GEN_PROFILE_BINS::close(\"spar_preamble\")"}));
  EXPECT_TRUE(std::filesystem::exists("spar_hard_routing_constraints-stitched1.echo"));
  EXPECT_TRUE(std::filesystem::exists("spar_hard_routing_constraints-stitched.echo"));

  // Without a device there is no routing graph to judge edges by: the step
  // stops at an internal error.
  host::pexa::hide_current_device(true);
  const HOST_INTERNAL_ERROR err = host::testing::expect_internal_error([] { spar_preamble(); });
  host::pexa::hide_current_device(false);
  EXPECT_EQ(err.condition, "dev_device");
  EXPECT_EQ(err.file, "velmo_expert");
  // Nor without an environment.
  delete new WEXAN_ENV(CMP_FACADE::current(), 0, nolt_device_factory_fn);
  EXPECT_EQ(host::testing::expect_internal_error([] { spar_preamble(); }).condition, "env");
}

}  // namespace
