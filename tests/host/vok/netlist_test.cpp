// The stand-in atom netlist: edits keep sources and fanout lists consistent,
// ids, kinds and predicates, pipeline-register marking, LUT masks,
// parameters, the builder's contradictions and the index of placed atoms.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "common/host_control.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "vok/vok_atom_netlist.h"
#include "yos/yos_interface.h"
#include "zel/zel_atom_util.h"

using host::testing::NETLIST_BUILD_ERROR;
using host::testing::NETLIST_BUILDER;
using host::testing::SIG;

namespace {

class NetlistTest : public host::testing::HostTest {
protected:
  static void expect_consistent(const VOK_ATOM_NETLIST* n) {
    std::string why;
    EXPECT_TRUE(n->sanity_check(&why)) << why;
  }
  static std::vector<int> fanout_ids(VOK_ATOM_OTERM* o) {
    std::vector<int> ids;
    for (VOK_ATOM_ITERM* t : o->fanout(VOK_TRAVERSE_AS_STORED)) ids.push_back(t->get_my_node()->get_id());
    return ids;
  }
};

TEST_F(NetlistTest, EditsKeepSourcesAndFanoutListsConsistent) {
  auto b = host::testing::netlist();
  VOK_ATOM_NETLIST* top = b.get_netlist();
  auto clk = b.input_port("clk");
  auto d = b.input_port("d");
  auto r0 = b.reg("r0").clk(clk).d(d);
  auto r1 = b.reg("r1").clk(clk).d(r0);
  auto r2 = b.reg("r2").clk(clk).d(r0);
  auto r3 = b.reg("r3").clk(clk).d(r0);
  VOK_ATOM_OTERM* q0 = r0.out().oterm;
  EXPECT_EQ(fanout_ids(q0), (std::vector<int>{r1.id(), r2.id(), r3.id()}));
  expect_consistent(top);

  // Open from the middle of the list: connection order of the rest kept.
  VOK_ATOM_ITERM* d2 = r2.iterm(DB_INPUT_PORT_DATA_IN);
  d2->disconnect_from_source(VOK_NET_ITERM::OPEN);
  EXPECT_FALSE(d2->is_connected());
  EXPECT_FALSE(d2->is_used());
  EXPECT_EQ(d2->get_source(VOK_TRAVERSE_AS_STORED), nullptr);
  EXPECT_EQ(fanout_ids(q0), (std::vector<int>{r1.id(), r3.id()}));
  expect_consistent(top);

  // Ground: connected without a source, tied low.
  VOK_ATOM_ITERM* d1 = r1.iterm(DB_INPUT_PORT_DATA_IN);
  d1->disconnect_from_source(VOK_NET_ITERM::GROUND);
  EXPECT_TRUE(d1->is_connected());
  EXPECT_TRUE(d1->is_vcc_or_gnd());
  EXPECT_TRUE(d1->is_tie_low());
  EXPECT_FALSE(d1->is_used_and_driven());
  EXPECT_EQ(fanout_ids(q0), (std::vector<int>{r3.id()}));
  // Tie high; then reconnect: appended at the end of the new source's list.
  d1->tie(false);
  EXPECT_TRUE(d1->is_vcc_or_gnd());
  EXPECT_FALSE(d1->is_tie_low());
  vok_connect(q0, d2);
  vok_connect(q0, d1);
  EXPECT_FALSE(d1->is_vcc_or_gnd());
  EXPECT_TRUE(d1->is_used_and_driven());
  EXPECT_EQ(fanout_ids(q0), (std::vector<int>{r3.id(), r2.id(), r1.id()}));
  // Moving an input to another source takes it off the old list.
  vok_connect(d.oterm, d2);
  EXPECT_EQ(fanout_ids(q0), (std::vector<int>{r3.id(), r1.id()}));
  expect_consistent(top);

  // Removing a driver leaves its fanouts OPEN; removing a sink takes it off
  // its sources' lists.
  const int r0_id = r0.id();
  top->remove(r0);
  EXPECT_EQ(top->get_atom_by_id(r0_id), nullptr);
  EXPECT_FALSE(r1.iterm(DB_INPUT_PORT_DATA_IN)->is_connected());
  EXPECT_FALSE(r3.iterm(DB_INPUT_PORT_DATA_IN)->is_connected());
  VOK_ATOM_OTERM* clk_out = clk.oterm;
  EXPECT_EQ(fanout_ids(clk_out), (std::vector<int>{r1.id(), r2.id(), r3.id()}));
  top->remove(r2);
  EXPECT_EQ(fanout_ids(clk_out), (std::vector<int>{r1.id(), r3.id()}));
  EXPECT_TRUE(fanout_ids(d.oterm).empty());
  expect_consistent(top);

  // The ground term belongs to the netlist, not to an atom.
  VOK_ATOM_ITERM* ce = r1->add_input_term(DB_INPUT_PORT_ENA, 0);
  vok_connect(top->get_ground_oterm(), ce);
  EXPECT_EQ(ce->get_source(VOK_TRAVERSE_HIERARCHICAL)->get_my_node(), nullptr);
  expect_consistent(top);

  // Connections across netlists and bad connect states are refused.
  VOK_ATOM_NETLIST other;
  VOK_ATOM_NODE* stranger = VOK_ATOM_FACTORY::create_node(392, false);
  other.add_node(stranger);
  VOK_ATOM_ITERM* sd = stranger->add_input_term(DB_INPUT_PORT_DATA_IN, 0);
  auto e = host::testing::expect_internal_error([&] { vok_connect(clk_out, sd); });
  EXPECT_EQ(e.condition, "source and sink in the same netlist");
  host::testing::expect_internal_error([&] { vok_connect(top->get_ground_oterm(), sd); });
  host::testing::expect_internal_error(
      [&] { sd->disconnect_from_source(static_cast<VOK_NET_ITERM::CONNECT_STATE>(3)); });
  EXPECT_FALSE(sd->is_connected());
}

TEST_F(NetlistTest, PlacedAtomIndexFollowsPlacementsAndMembership) {
  auto b = host::testing::netlist();
  VOK_ATOM_NETLIST* top = b.get_netlist();
  auto clk = b.input_port("clk");
  VOK_ATOM_NODE* r0 = b.reg("r0").clk(clk);
  VOK_ATOM_NODE* r1 = b.reg("r1").clk(clk);
  VOK_ATOM_NODE* r2 = b.reg("r2").clk(clk);
  const unsigned slot = 0x80000005u;
  const std::set<unsigned> gids{10, 11, 12, slot};
  using host::testing::expect_placed_index_matches_walk;

  // Two atoms on one site, one in a routing slot; away and back; unplaced
  // by clear_location and by a placement without an element.
  r0->set_location(10, 643);
  r1->set_location(10, 643);
  r2->set_location(slot, 282);
  EXPECT_EQ(top->count_atoms_at_gid(10), 2u);
  expect_placed_index_matches_walk(top, gids);
  r1->set_location(11, 643);
  r1->set_location(10, 643);
  expect_placed_index_matches_walk(top, gids);
  r0->clear_location();
  r1->set_location(12, 0);
  EXPECT_EQ(top->count_atoms_at_gid(10), 0u);
  expect_placed_index_matches_walk(top, gids);

  // A copy indexes its own atoms.
  r1->set_location(11, 643);
  std::unique_ptr<VOK_ATOM_NETLIST> copy(top->deep_copy());
  expect_placed_index_matches_walk(copy.get(), gids);
  EXPECT_EQ(copy->get_atoms_at_gid(slot).at(0)->get_parent_netlist(), copy.get());

  // Atoms leave by detach (moving afterwards tells only their new netlist),
  // remove and flagged removal.
  top->detach(r1);
  VOK_ATOM_NETLIST other;
  r1->set_location(12, 643);
  other.add_node(r1);
  top->remove(r2);
  r0->set_location(11, 643);
  r0->set_flagged_for_removal(true);
  top->remove_flagged_nodes();
  r0->release();
  expect_placed_index_matches_walk(top, gids);
  expect_placed_index_matches_walk(&other, gids);

  // A list of atoms owned elsewhere still finds them where they move.
  VOK_ATOM_NETLIST view;
  view.set_own_all_nodes(false);
  view.add_node(r1, false);
  r1->set_location(10, 643);
  EXPECT_EQ(view.get_atoms_at_gid(10), std::vector<VOK_ATOM_NODE*>{r1});
  EXPECT_EQ(view.count_atoms_at_gid(12), 0u);
  expect_placed_index_matches_walk(&other, gids);
}

TEST_F(NetlistTest, IdsComeFromOneCounterAndResetWithTheHost) {
  VOK_ATOM_NETLIST n;
  VOK_ATOM_NODE* a = VOK_ATOM_FACTORY::create_node(VOK_ATOM_KIND::COMB_CELL);
  VOK_ATOM_NODE* b = VOK_ATOM_FACTORY::create_node(VOK_ATOM_KIND::COMB_CELL);
  EXPECT_EQ(a->get_id(), 0);
  EXPECT_EQ(b->get_id(), 1);
  EXPECT_EQ(VOK_ATOM_NODE::s_next_id, 2);
  n.add_node(a);
  n.add_node(b);
  EXPECT_EQ(n.get_atom_by_id(1), b);
  EXPECT_EQ(n.get_atom_by_id(7), nullptr);

  // Adding twice, or an atom whose id is taken, is refused.
  host::testing::expect_internal_error([&] { n.add_node(a); });
  VOK_ATOM_NODE::reset_next_id(1);
  VOK_ATOM_NODE* dup = VOK_ATOM_FACTORY::create_node(VOK_ATOM_KIND::COMB_CELL);
  EXPECT_EQ(dup->get_id(), 1);
  auto e = host::testing::expect_internal_error([&] { n.add_node(dup); });
  EXPECT_EQ(e.condition, "unique atom id");
  delete dup;
  EXPECT_EQ(n.size(), 2u);

  // The ban follows the configuration variable when (re)applied.
  cfg_set_on("forbid_atom_id_manipulation");
  EXPECT_FALSE(VOK_ATOM_NODE::is_id_manipulation_forbidden());
  VOK_ATOM_NODE::forbid_id_manipulation();
  EXPECT_TRUE(VOK_ATOM_NODE::is_id_manipulation_forbidden());
  host::testing::expect_internal_error([] { VOK_ATOM_NODE::reset_next_id(40); });
  cfg_set_off("forbid_atom_id_manipulation");
  VOK_ATOM_NODE::forbid_id_manipulation();
  VOK_ATOM_NODE::reset_next_id(40);
  EXPECT_EQ(VOK_ATOM_NODE::s_next_id, 40);

  ASSERT_TRUE(host_reset());
  EXPECT_EQ(VOK_ATOM_NODE::s_next_id, 0);
  EXPECT_FALSE(VOK_ATOM_NODE::is_id_manipulation_forbidden());
}

TEST_F(NetlistTest, KindsCodesAndPredicates) {
  struct ROW {
    int type;
    int basic, atom, element;
  };
  for (const ROW& r : {ROW{392, 47, 392, 643}, ROW{401, 47, 401, 643}, ROW{393, 47, 393, 643}, ROW{61, 247, 247, 644},
                       ROW{248, 247, 248, 644}, ROW{250, 250, 250, 644}, ROW{251, 251, 251, 1337},
                       ROW{252, 252, 252, 1336}, ROW{253, 253, 253, 1336}, ROW{422, 422, 422, 581},
                       ROW{145, 145, 145, 581}, ROW{339, 339, 339, 581}, ROW{284, 284, 284, 0}, ROW{50, 3, 50, 0}}) {
    VOK_ATOM_NODE* a = VOK_ATOM_FACTORY::create_node(r.type, false);
    EXPECT_EQ(a->get_basic_type(), r.basic) << r.type;
    EXPECT_EQ(a->get_atom_type(), r.atom) << r.type;
    EXPECT_EQ(a->get_default_dev_element(), r.element) << r.type;
    EXPECT_EQ(a->is_box(), r.type == 50) << r.type;
    // MAC and FP MAC are disjoint.
    EXPECT_FALSE(a->is_mac() && a->is_fp_mac()) << r.type;
    delete a;
  }
  host::testing::expect_internal_error([] { VOK_ATOM_FACTORY::create_node(99999, false); });

  auto b = host::testing::netlist();
  auto reg = b.reg("r");
  auto pipe = b.zota_reg("p");
  auto io = b.io_reg("io", 397);
  auto lut = b.lut("l", {reg}, 0x1);
  auto arith = b.carry_chain("c", 1).head();
  auto mac = b.mac("m");
  auto fp = b.fp_mac("f");
  auto pad_in = b.io_in("pin");
  auto box = b.blackbox("bb");
  EXPECT_TRUE(reg->is_ff());
  EXPECT_FALSE(reg->is_peripheral());
  EXPECT_TRUE(io->is_ff() && io->is_peripheral());
  EXPECT_EQ(io->get_register_kind(), 397);
  EXPECT_TRUE(lut->is_lcell_comb() && arith->is_lcell_comb());
  EXPECT_EQ(arith->get_default_dev_element(), 557);
  EXPECT_TRUE(mac->is_mac() && !mac->is_fp_mac());
  EXPECT_TRUE(fp->is_fp_mac() && !fp->is_mac());
  EXPECT_TRUE(pad_in->is_io_ibuf());
  EXPECT_TRUE(b.find("pin")->is_io_pad() && b.find("pin")->is_pin());
  EXPECT_TRUE(box->is_box() && !box->is_port() && !box->is_ff());
  EXPECT_TRUE(b.find("pin") != nullptr);

  // Pipeline-register marking: made as such, or forced by the atom
  // operation; only registers can be forced.
  EXPECT_TRUE(ZEL_ATOM_UTIL::is_zota_marked_reg(pipe));
  EXPECT_FALSE(ZEL_ATOM_UTIL::is_zota_marked_reg(reg));
  EXPECT_TRUE(reg->apply_operation(VOK_ATOM_OPERATION_FORCE_ZOTA));
  EXPECT_TRUE(ZEL_ATOM_UTIL::is_zota_marked_reg(reg));
  EXPECT_EQ(reg->get_atom_type(), 392);  // the operation is not the atom type
  EXPECT_FALSE(lut->apply_operation(VOK_ATOM_OPERATION_FORCE_ZOTA));
  EXPECT_FALSE(box->apply_operation(VOK_ATOM_OPERATION_FORCE_ZOTA));
  EXPECT_FALSE(ZEL_ATOM_UTIL::is_zota_marked_reg(lut));
  EXPECT_FALSE(ZEL_ATOM_UTIL::is_zota_marked_reg(nullptr));
}

TEST_F(NetlistTest, StartUpCarryChainQueriesAreAnswered) {
  // What forcing carry-chain registers into ZOTA mode asks of the netlist: an
  // LCELL comb's carry-in (input type 2, index 0) whose hierarchical source is
  // a register, possibly through a black box.
  auto b = host::testing::netlist();
  auto clk = b.input_port("clk");
  auto chain = b.carry_chain("add", 3);
  auto r = b.reg("feeder").clk(clk);
  chain.head().input(DB_INPUT_PORT_CARRY_IN, 0, r);
  auto box = b.blackbox("u", [](NETLIST_BUILDER& c) { c.output("o", c.reg("inner")); });
  auto chain2 = b.carry_chain("sub", 1);
  chain2.head().input(DB_INPUT_PORT_CARRY_IN, 0, box.out("o"));

  std::vector<std::string> sources;
  for (VOK_ATOM_NODE* a : host::vok::top_netlist()->nodes(VOK_TRAVERSE_AS_STORED)) {
    if (!a->is_lcell_comb()) continue;
    VOK_ATOM_ITERM* t = a->get_input_term_by_type(DB_INPUT_PORT_CARRY_IN, 0);
    if (t == nullptr) continue;
    VOK_ATOM_OTERM* s = t->get_source(VOK_TRAVERSE_HIERARCHICAL);
    if (s == nullptr || s->get_my_node() == nullptr) continue;
    sources.push_back(a->get_string_hpath() + "<-" + s->get_name());
  }
  EXPECT_EQ(sources, (std::vector<std::string>{"add[0]<-feeder", "add[1]<-add[0]~COUT", "add[2]<-add[1]~COUT",
                                               "sub[0]<-u|inner"}));
  EXPECT_EQ(chain.cell(1)->get_output_term_by_type(DB_OUTPUT_PORT_SUM, 0)->get_name(), "add[1]");
  EXPECT_EQ(r->get_instance_name()->get_short_hpath(OMZ_HPATH_FORMAT_SHORT), "feeder");
  // How the call log shows netlist objects.
  host::log_call("TEST::touch", host::vok::arg(r.atom()), host::vok::arg(chain.head().iterm(DB_INPUT_PORT_CARRY_IN)),
                 host::vok::arg(r.out().oterm), host::vok::arg(static_cast<VOK_ATOM_NODE*>(nullptr)));
  const std::string id = std::to_string(r.id());
  EXPECT_EQ(host::call_lines().back(),
            "TEST::touch(atom#" + id + ", iterm#" + std::to_string(chain.head().id()) + ".2.0, net#" + id + ".10.0, null)");
}

TEST_F(NetlistTest, LutMasksUseTheComplementedIndex) {
  // imask is the raw pattern; lut_eval reads bit ~in.
  EXPECT_EQ(VOK_LUTMASK::imask(6, 0), 0xAAAAAAAAAAAAAAAAull);
  EXPECT_EQ(VOK_LUTMASK::imask(4, 2), 0xF0F0F0F0F0F0F0F0ull);
  host::testing::expect_internal_error([] { VOK_LUTMASK::imask(2, 2); });
  for (unsigned in = 0; in < 64; ++in)
    EXPECT_EQ(host::lut_eval(VOK_LUTMASK::imask(6, 0), 6, in), (in & 1u) == 0) << in;

  auto b = host::testing::netlist();
  auto x = b.input_port("x");
  auto y = b.input_port("y");
  auto z = b.input_port("z");
  auto f = b.lut("f", {x, y, z}, [](const host::testing::LUT_INPUTS& v) { return (v[0] && v[1]) || v[2]; });
  const std::uint64_t mask = f->get_lutmask().get_value();
  for (unsigned in = 0; in < 8; ++in) {
    const bool want = ((in & 1u) && (in & 2u)) || (in & 4u);
    EXPECT_EQ(host::lut_eval(mask, 3, in), want) << in;
    // The stored mask reads the same as a 6-input function.
    EXPECT_EQ(host::lut_eval(mask, 6, in | 0x28u), want) << in;
  }
  EXPECT_FALSE(f->get_lutmask().is_independent_of(0));
  EXPECT_FALSE(f->get_lutmask().is_independent_of(2));
  EXPECT_TRUE(f->get_lutmask().is_independent_of(3));
  // The inputs are ports 12 + i.
  EXPECT_EQ(f->get_input_term_by_type(static_cast<DB_INPUT_PORT_TYPE>(14), 0)->get_source(VOK_TRAVERSE_AS_STORED),
            z.oterm);

  auto g = b.lut("g", {x, y}, 0x6);  // raw mask, replicated
  EXPECT_EQ(g->get_lutmask().get_value(), 0x6666666666666666ull);
  EXPECT_TRUE(g->get_lutmask().is_independent_of(2));
}

TEST_F(NetlistTest, ParametersAreTypedPerAtom) {
  auto b = host::testing::netlist();
  auto m = b.mac("m").mode(9).widths(27, 27, 4);
  auto r = b.reg("r");
  YOS_INTERFACE* yos = yos_current_interface();
  int e = 5;
  EXPECT_FALSE(yos->get_enum_data(m, YOS_ENUM_OPERAND_SOURCE_MAX, &e));
  EXPECT_EQ(e, -1);
  yos->set_enum_data(m, YOS_ENUM_OPERAND_SOURCE_MAX, 0);
  EXPECT_TRUE(yos->get_enum_data(m, YOS_ENUM_OPERAND_SOURCE_MAX, &e));
  EXPECT_EQ(e, 0);
  // The same id in another type, or on another atom, is another parameter.
  yos->set_uint_data(r, static_cast<YOS_UINT_DATA_ENUM>(1), 430u);
  bool flag = true;
  EXPECT_FALSE(yos->get_bool_data(r, static_cast<YOS_BOOL_DATA_ENUM>(1), &flag));
  unsigned u = 0;
  EXPECT_FALSE(yos->get_uint_data(m, static_cast<YOS_UINT_DATA_ENUM>(1), &u));
  EXPECT_TRUE(yos->get_uint_data(r, static_cast<YOS_UINT_DATA_ENUM>(1), &u));
  EXPECT_EQ(u, 430u);

  EXPECT_EQ(m->get_mac_info().mode, 9);
  EXPECT_EQ(m->get_mac_info().width_result, 4);
  EXPECT_EQ(m->get_oterm_slot_count(), 4u);
}

TEST_F(NetlistTest, BuilderRefusesContradictions) {
  auto b = host::testing::netlist();
  auto clk = b.input_port("clk");
  auto r = b.reg("r").clk(clk);
  EXPECT_THROW(r.clk(clk), NETLIST_BUILD_ERROR);            // clock connected twice
  EXPECT_THROW(b.reg("r"), NETLIST_BUILD_ERROR);            // duplicate name
  EXPECT_THROW(r.d(SIG()), NETLIST_BUILD_ERROR);            // no signal
  EXPECT_THROW(b.lut("wide", {clk, clk, clk, clk, clk, clk, clk}, 0), NETLIST_BUILD_ERROR);
  EXPECT_THROW(b.lut("big", {clk}, 0x1F), NETLIST_BUILD_ERROR);  // mask wider than 2 bits
  EXPECT_THROW(b.mac("m").mode(35), NETLIST_BUILD_ERROR);
  EXPECT_THROW(b.io_reg("io", 399), NETLIST_BUILD_ERROR);
  EXPECT_THROW(b.input("p"), NETLIST_BUILD_ERROR);          // box port outside a box
  EXPECT_THROW(b.carry_chain("none", 0), NETLIST_BUILD_ERROR);
  auto box = b.blackbox("u", [](NETLIST_BUILDER& c) { c.output("o", c.reg("q")); });
  EXPECT_THROW(box.in("nope", clk), NETLIST_BUILD_ERROR);
  EXPECT_THROW(box.in("o", clk), NETLIST_BUILD_ERROR);      // an output port
  EXPECT_THROW(box.out("missing"), NETLIST_BUILD_ERROR);
  // A signal of the parent used inside the child must go through a port.
  EXPECT_THROW(b.blackbox("v", [&](NETLIST_BUILDER& c) { c.reg("x").clk(clk); }), NETLIST_BUILD_ERROR);
  // The message names the atom.
  try {
    r.clk(clk);
    FAIL();
  } catch (const NETLIST_BUILD_ERROR& e) {
    EXPECT_NE(std::string(e.what()).find("atom 'r'"), std::string::npos) << e.what();
  }
  expect_consistent(b.get_netlist());
}

TEST_F(NetlistTest, BlackBoxOwnsItsChildUnlessTold) {
  VOK_ATOM_NETLIST* kept = new VOK_ATOM_NETLIST();
  {
    auto b = host::testing::netlist();
    auto box = b.blackbox("p", [](NETLIST_BUILDER& c) { c.reg("r").clk(c.input("clk")); });
    auto clk = b.input_port("clk");
    box.in("clk", clk);
    EXPECT_EQ(box.child()->get_parent_box(), box.box());
    EXPECT_EQ(box.box()->get_port_by_index(0), "clk");
    EXPECT_EQ(box.box()->get_port_by_index(1), "");

    auto other = b.blackbox("q");
    other.box()->set_child_netlist(kept, false);
    EXPECT_EQ(kept->get_parent_box(), other.box());
    // Removing the owning box deletes its child (ASan checks the rest);
    // the other box's child survives its box.
    b.get_netlist()->remove(box);
    b.get_netlist()->remove(other);
    EXPECT_EQ(kept->get_parent_box(), nullptr);
    EXPECT_TRUE(fanout_ids(clk.oterm).empty());
    expect_consistent(b.get_netlist());
  }
  delete kept;
}

}  // namespace

namespace {

TEST_F(NetlistTest, BuilderMakesThePortsOtherCodeLooksFor) {
  auto b = host::testing::netlist();
  auto clk = b.input_port("clk");
  auto ff = b.reg("ff").clk(clk).d(b.io_in("din")).ce(clk).sclr(clk).powers_up(true);
  auto ram = b.lutram("mlab").data_in(ff).clk(clk).we(clk).addr(1, clk);
  auto m = b.mac("m").clk(clk, 2).ena(clk, 2);
  auto pll = b.iopll("pll").ref(clk).outputs(3);
  auto pad = b.io_out("dout", ram);

  for (auto [type, index] : {std::pair{DB_INPUT_PORT_CLK, 0}, {DB_INPUT_PORT_DATA_IN, 0}, {DB_INPUT_PORT_ENA, 0},
                             {DB_INPUT_PORT_SCLR, 0}})
    EXPECT_TRUE(ff.iterm(type, index) && ff.iterm(type, index)->is_used_and_driven()) << type;
  EXPECT_TRUE(ff->powers_up());
  EXPECT_TRUE(ff.iterm(DB_INPUT_PORT_DATA_IN)->get_source(VOK_TRAVERSE_AS_STORED)->get_my_node()->is_io_ibuf());
  EXPECT_EQ(ram.iterm(DB_INPUT_PORT_LUTRAM_DATA_A)->get_source(VOK_TRAVERSE_AS_STORED)->get_my_node(), ff.atom());
  EXPECT_NE(ram.iterm(DB_INPUT_PORT_LUTRAM_ADDR, 1), nullptr);
  EXPECT_EQ(m->get_mac_info().clocks[2], 3);
  EXPECT_EQ(m->get_mac_info().enables[2], 3);
  EXPECT_EQ(pll->get_oterm_slot_count(), 3u);
  EXPECT_TRUE(pll->is_pll());
  EXPECT_NE(pll.iterm(DB_INPUT_PORT_PLL_REFCLK), nullptr);
  // dout: output buffer fed by the RAM, then the pad.
  VOK_ATOM_NODE* obuf = pad.iterm(DB_INPUT_PORT_BOX)->get_source(VOK_TRAVERSE_AS_STORED)->get_my_node();
  EXPECT_TRUE(obuf->is_io_obuf());
  EXPECT_EQ(obuf->get_input_term_by_type(DB_INPUT_PORT_BOX, 0)->get_source(VOK_TRAVERSE_AS_STORED), ram.out().oterm);

  // A box's child atoms take consecutive ids after the box.
  auto box = b.blackbox("u", [](NETLIST_BUILDER& c) {
    auto i = c.input("i");
    c.reg("r0").clk(i);
    c.reg("r1").clk(i);
  });
  int expect = box.id();
  for (const VOK_ATOM_NODE* a : box.child()->nodes(VOK_TRAVERSE_AS_STORED)) EXPECT_EQ(a->get_id(), ++expect);
  EXPECT_EQ(NETLIST_BUILDER(box.child()).find("r1")->get_string_hpath(), "u|r1");
  expect_consistent(b.get_netlist());
}

TEST_F(NetlistTest, DeletingANetlistCutsLinksIntoAChildItDoesNotOwn) {
  auto* top = new VOK_ATOM_NETLIST();
  NETLIST_BUILDER b(top);
  auto clk = b.input_port("clk");
  auto box = b.blackbox("p", [](NETLIST_BUILDER& c) { c.output("o", c.reg("r").clk(c.input("clk"))); });
  box.in("clk", clk);
  b.reg("after").d(box.out("o"));
  VOK_ATOM_NETLIST* child = box.child();
  box.box()->set_child_netlist(child, false);  // the partition state owns it now
  VOK_ATOM_NODE* in_port = NETLIST_BUILDER(child).find("clk");
  VOK_ATOM_NODE* out_port = NETLIST_BUILDER(child).find("o");
  EXPECT_NE(in_port->get_oterm_slot(0)->get_hier_equiv(), nullptr);
  delete top;
  // The child survives with its own connections and no links to the box.
  EXPECT_EQ(child->get_parent_box(), nullptr);
  EXPECT_EQ(in_port->get_oterm_slot(0)->get_hier_equiv(), nullptr);
  EXPECT_EQ(out_port->get_iterm_slot(0)->get_hier_equiv(), nullptr);
  EXPECT_EQ(out_port->get_iterm_slot(0)->get_source(VOK_TRAVERSE_HIERARCHICAL)->get_my_node()->get_string_hpath(),
            "p|r");
  expect_consistent(child);
  delete child;
}

}  // namespace
