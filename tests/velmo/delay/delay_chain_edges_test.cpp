// Which timing edges the I/O delay chains act on, which chains act on each,
// and the PLL edge records.
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "hov/hov_utility.h"
#include "kem/kem_netlist.h"
#include "msg/msg_base.h"
#include "omz/omz_option.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/io_delay_scene.h"
#include "testing/netlist_builder.h"
#include "testing/timing_builder.h"
#include "velmo_delay_chain_op.h"
#include "vok/vok_atom_netlist.h"
#include "wexan/wexan_env.h"
#include "yos/yos_interface.h"
#include "zel/zel_dc_table.h"

using host::testing::Family;

namespace {

using TYPES = std::vector<int>;
using GROUP = VELMO_OPT_ELEMENT_GROUP_TYPE;

TYPES ints(const std::vector<YOS_UINT_DATA_ENUM>& v) { return TYPES(v.begin(), v.end()); }

class DelayChainEdgesTest : public host::testing::EnvTest {
protected:
  // The scene's I/O shapes, built and timed.
  void design() {
    sc = host::testing::scenes::io_delay_chains();
    din = sc.din, ireg = sc.ireg, ddio = sc.ddio, chain = sc.chain, lane = sc.lane, ela = sc.ela, core = sc.core;
    oreg = sc.oreg, oereg = sc.oereg, obuf = sc.obuf, obuf2 = sc.obuf2;
    kem = hov_get_accessories()->get_kem_netlist();
  }
  void list_forms(int family);
  void dq_filters(int family);
  // The edge into an atom's data input (a register's D, a LUT's first input,
  // a buffer's input `index`).
  KEM_EDGE* into(VOK_ATOM_NODE* atom, int index = 0) const {
    VOK_ATOM_ITERM* t = atom->is_ff() ? atom->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0)
                        : atom->is_lcell_comb() && !atom->get_io_roles()
                            ? atom->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0)
                            : atom->get_input_term_by_type(DB_INPUT_PORT_BOX, index);
    const KEM_NODE* node = t ? kem->get_kem_node_from_iterm(t) : nullptr;
    return node ? kem->get_edge(node->begin_fanin()) : nullptr;
  }
  TYPES list_of(VELMO_DELAY_CHAIN_OP& op, KEM_EDGE* e, GROUP g, bool newer) {
    std::vector<YOS_UINT_DATA_ENUM> types;
    bool oe1 = true, oe2 = true;
    if (newer) {
      op.get_delay_chain_type_vec_new(e, types, g, &oe1, &oe2);
      if (g == VELMO_OPT_ELEMENT_CORE_TO_PIN_DELAY_CHAIN) {
        EXPECT_FALSE(oe1 || oe2) << "flags come back false";
      }
    } else {
      op.get_delay_chain_type_vec(e, types, g);
    }
    return ints(types);
  }
  static int count(const std::string& line) {
    int c = 0;
    for (const auto& t : host::debug::texts()) c += t == line;
    return c;
  }
  VOK_ATOM_NODE *din = nullptr, *ireg = nullptr, *ddio = nullptr, *chain = nullptr, *lane = nullptr, *ela = nullptr,
                *core = nullptr, *oreg = nullptr, *oereg = nullptr, *obuf = nullptr, *obuf2 = nullptr;
  KEM_NETLIST* kem = nullptr;
  host::testing::scenes::IO_DELAY_CHAINS sc;
};

TEST_F(DelayChainEdgesTest, NewerEdgeTestsRefuseOnlyJtagAtoms) {
  host::testing::device(Family::KY).build();
  design();
  VELMO_DELAY_CHAIN_OP op(m_env);
  ASSERT_TRUE(op.get_flag(0));
  EXPECT_TRUE(op.is_pin_to_core(into(ela)));
  EXPECT_FALSE(op.is_pin_to_core_new(into(ela)));
  for (VOK_ATOM_NODE* a : {ireg, ddio, chain, lane}) EXPECT_TRUE(op.is_pin_to_core_new(into(a)));
  EXPECT_EQ(count("dst_atom_type = ATOM_247"), 0);
  EXPECT_TRUE(op.is_pin_to_core_new(into(core)));
  EXPECT_EQ(count("dst_atom_type = ATOM_247"), 1);

  EXPECT_TRUE(op.is_core_to_pin(into(obuf)));
  EXPECT_TRUE(op.is_core_to_pin(into(obuf, 1)));
  EXPECT_FALSE(op.is_core_to_pin(into(obuf2)));
  EXPECT_FALSE(op.is_core_to_pin(into(ireg)));
  EXPECT_EQ(count("src_atom_type = ATOM_247"), 0);
  ela->set_io_roles(0);
  EXPECT_TRUE(op.is_core_to_pin(into(obuf2)));
  EXPECT_EQ(count("src_atom_type = ATOM_247"), 1);
}

// The list forms of one family (flag 3 set).
void DelayChainEdgesTest::list_forms(int family) {
  {
    host::testing::device(Family::code(family)).basic_bool_data(77, true).basic_bool_data(114, true).build();
    design();
    VELMO_DELAY_CHAIN_OP op(m_env);
    const bool short_family = family == 8 || family == 12 || family == 19;
    EXPECT_EQ(list_of(op, into(ireg), VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN, false),
              short_family ? (TYPES{144, 146}) : (TYPES{144, 145, 146}));
    EXPECT_EQ(list_of(op, into(ireg), VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN, true), (TYPES{446}));
    // Without the pair (item 119 clear) the single type of an I/O input
    // register, a DDIO input and a delay-chain cell is chain 15.
    for (VOK_ATOM_NODE* a : {ireg, ddio, chain})
      EXPECT_EQ(static_cast<int>(op.get_pin_to_core_delay_chain_type(into(a))), 15) << a->get_string_hpath();
    EXPECT_EQ(list_of(op, into(chain), VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN, false),
              short_family ? (TYPES{146}) : (TYPES{145, 146}));
    EXPECT_EQ(list_of(op, into(chain), VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN, true),
              short_family ? (TYPES{144, 146}) : (TYPES{145, 146}));
    EXPECT_EQ(list_of(op, into(lane), VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN, true), (TYPES{448}));
    EXPECT_EQ(list_of(op, into(core), VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN, true), (TYPES{446}));
    EXPECT_EQ(list_of(op, into(core), VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN, false),
              short_family ? (TYPES{146}) : (TYPES{145, 146}));
    // Output side: by the buffer input's use, whatever drives it.
    EXPECT_EQ(list_of(op, into(obuf), VELMO_OPT_ELEMENT_CORE_TO_PIN_DELAY_CHAIN, true), (TYPES{430}));
    EXPECT_EQ(list_of(op, into(obuf, 1), VELMO_OPT_ELEMENT_CORE_TO_PIN_DELAY_CHAIN, true), (TYPES{431}));
    EXPECT_EQ(list_of(op, into(obuf2), VELMO_OPT_ELEMENT_CORE_TO_PIN_DELAY_CHAIN, true), (TYPES{}));
    // PLL groups; groups outside the list are empty or refused.
    EXPECT_EQ(list_of(op, into(obuf), VELMO_OPT_ELEMENT_PLL_DELAY_CHAIN, true), (TYPES{414, 415, 416, 417}));
    EXPECT_EQ(list_of(op, into(obuf), VELMO_OPT_ELEMENT_PLL_DELAY_CHAIN, false), (TYPES{414, 415, 416, 417}));
    EXPECT_EQ(list_of(op, into(obuf), VELMO_OPT_ELEMENT_PLL_PHASE_DELAY_CHAIN, true), (TYPES{418}));
    EXPECT_EQ(list_of(op, into(obuf), VELMO_OPT_ELEMENT_PLL_PHASE_DELAY_CHAIN, false), (TYPES{}));
    EXPECT_EQ(list_of(op, into(obuf), static_cast<GROUP>(4), false), (TYPES{}));
    std::vector<YOS_UINT_DATA_ENUM> types;
    bool flag = false;
    EXPECT_EQ(host::testing::expect_internal_error([&] {
                op.get_delay_chain_type_vec_new(into(obuf), types, static_cast<GROUP>(4), &flag, &flag);
              }).condition,
              "Unsupported element group type.");
    EXPECT_EQ(host::testing::expect_internal_error([&] {
                op.get_delay_chain_type_vec_new(into(obuf), types, VELMO_OPT_ELEMENT_CORE_TO_PIN_DELAY_CHAIN,
                                                nullptr, &flag);
              }).condition,
              "need_oe_offset != NULL");
    EXPECT_EQ(host::testing::expect_internal_error([&] {
                op.get_delay_chain_type_vec_new(into(obuf), types, VELMO_OPT_ELEMENT_CORE_TO_PIN_DELAY_CHAIN,
                                                &flag, nullptr);
              }).condition,
              "is_oe_edge != NULL");
    core->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0)->set_delay_chain_connection(8, 2);
    EXPECT_EQ(host::testing::expect_internal_error([&] {
                op.get_delay_chain_type_vec(into(core), types, VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN);
              }).condition,
              "Illegal T3 delay chain index");
  }
}

// The older pin form (item 77 clear): the pin is a timing cell between its
// device-pin node and the core, and registers buried in a pin meet its
// device-pin node.
TEST_F(DelayChainEdgesTest, OlderPinFormClassifiesThroughThePinCell) {
  host::testing::device(Family::code(12)).build();
  design();
  VELMO_DELAY_CHAIN_OP op(m_env);
  ASSERT_FALSE(op.get_flag(0));
  ASSERT_FALSE(op.get_flag(3));
  const KEM_NODE* bin_pin = kem->get_kem_node_from_oterm(sc.bin->get_oterm_slot(0));
  ASSERT_TRUE(bin_pin->is_sta_type(KEM_NODE_DEVICE_PIN));
  const KEM_NETLIST_CELL* pin_cell = kem->get_cell_from_atom_id(din->get_id());
  ASSERT_NE(pin_cell, nullptr) << "the older pin is a timing cell";

  // Device pin -> buried input register: 15 on the pin.
  KEM_EDGE* buried_in = into(sc.bireg);
  ASSERT_EQ(buried_in->get_src_node(), bin_pin);
  EXPECT_TRUE(op.is_pin_to_core(buried_in));
  EXPECT_TRUE(op.is_pin_to_core_new(buried_in));
  EXPECT_EQ(static_cast<int>(op.get_pin_to_core_delay_chain_type(buried_in)), 15);
  EXPECT_EQ(op.get_io_atom(buried_in, static_cast<YOS_UINT_DATA_ENUM>(15)), sc.bin);

  // The pin's own output into the core on pad-to-core chain 0: 12; the input
  // buffer is a core atom here.
  KEM_EDGE* own = into(sc.ibuf);
  ASSERT_TRUE(own->get_src_node()->is_sta_type(KEM_NODE_OUTPUT_PIN));
  EXPECT_EQ(own->get_src_node()->get_atom(), din);
  EXPECT_TRUE(op.is_pin_to_core(own));
  EXPECT_EQ(static_cast<int>(op.get_pin_to_core_delay_chain_type(own)), 12);
  EXPECT_EQ(ints([&] { std::vector<YOS_UINT_DATA_ENUM> t; op.get_pin_to_core_delay_chain_type_vec(own, t); return t; }()),
            TYPES({12}));
  EXPECT_EQ(op.get_io_atom(own, static_cast<YOS_UINT_DATA_ENUM>(12)), din);
  EXPECT_FALSE(op.is_pin_to_core(into(core)));
  EXPECT_FALSE(op.is_pin_to_core(into(ireg)));
  // The chain acts on the pin's own edge (3 x 50 ps), not on the buffer's.
  const int own_ps = kem->get_edge_delay_ps(*own, 0), core_ps = kem->get_edge_delay_ps(*into(core), 0);
  yos_current_interface()->set_uint_data(din, static_cast<YOS_UINT_DATA_ENUM>(12), 3);
  EXPECT_EQ(kem->get_edge_delay_ps(*own, 0), own_ps + 150);
  EXPECT_EQ(kem->get_edge_delay_ps(*into(core), 0), core_ps);

  // Buried output register -> device pin: the chain's atom is the register,
  // which carries no chain of its own, so no type stands.
  KEM_EDGE* buried_out = kem->get_edge(kem->get_kem_node_from_oterm(sc.boreg->get_oterm_slot(0))->begin_fanout());
  ASSERT_TRUE(buried_out->get_dst_node()->is_sta_type(KEM_NODE_DEVICE_PIN));
  EXPECT_TRUE(op.is_core_to_pin(buried_out));
  EXPECT_EQ(op.get_io_atom(buried_out, static_cast<YOS_UINT_DATA_ENUM>(14)), sc.boreg);
  EXPECT_EQ(static_cast<int>(op.get_core_to_pin_delay_chain_type(buried_out)), -1);

  // The pin's data input -> its device-pin node: 14 by usage 68; the edge
  // from the output buffer into the pin is not core-to-pin.
  const KEM_NODE* dout_in = kem->get_kem_node_from_iterm(sc.dout->get_input_term_by_type(DB_INPUT_PORT_BOX, 0));
  ASSERT_TRUE(dout_in->is_sta_type(KEM_NODE_INPUT_PIN));
  KEM_EDGE* own_out = kem->get_edge(dout_in->begin_fanout());
  ASSERT_TRUE(own_out->get_dst_node()->is_sta_type(KEM_NODE_DEVICE_PIN));
  EXPECT_TRUE(op.is_core_to_pin(own_out));
  EXPECT_EQ(static_cast<int>(op.get_core_to_pin_delay_chain_type(own_out)), 14);
  EXPECT_EQ(op.get_io_atom(own_out, static_cast<YOS_UINT_DATA_ENUM>(14)), sc.dout);
  EXPECT_FALSE(op.is_core_to_pin(kem->get_edge(dout_in->begin_fanin())));
  EXPECT_FALSE(op.is_core_to_pin(into(obuf)));
}

TEST_F(DelayChainEdgesTest, ListFormsOnAFamilyWithoutD2) { list_forms(12); }
TEST_F(DelayChainEdgesTest, ListFormsOnFamily8WithoutD2) { list_forms(8); }
TEST_F(DelayChainEdgesTest, ListFormsOnAFamilyWithD2) { list_forms(30); }

TEST_F(DelayChainEdgesTest, SingleTypesWithAcceptance) {
  // Family 52 without the list form: an I/O input register takes 294 (and
  // 296 in the older list); the core input its pad-to-core chain.
  host::dc::FAMILY_TABLE t = host::dc::table(52);
  t.user_types = {12, 13, 294, 296, 14, 16};
  t.chains[294] = {7, host::dc::SIDE::INPUT, 0, 0, {}, {}, false};
  t.chains[296] = {7, host::dc::SIDE::INPUT, 0, 0, {}, {}, false};
  host::dc::set_table(52, t);
  host::testing::device(Family::code(52)).basic_bool_data(77, true).basic_bool_data(119, true).build();
  design();
  VELMO_DELAY_CHAIN_OP op(m_env);
  EXPECT_EQ(static_cast<int>(op.get_pin_to_core_delay_chain_type(into(ireg))), 294);
  EXPECT_EQ(list_of(op, into(ireg), VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN, false), (TYPES{294, 296}));
  EXPECT_EQ(list_of(op, into(ireg), VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN, true), (TYPES{294}));
  EXPECT_EQ(list_of(op, into(core), VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN, true), (TYPES{12}));
  // On this family a DDIO input takes the pair's first chain too.
  EXPECT_EQ(static_cast<int>(op.get_pin_to_core_delay_chain_type(into(ddio))), 294);
  // The output chains of a register that is not an I/O output register: none.
  EXPECT_EQ(list_of(op, into(obuf), VELMO_OPT_ELEMENT_CORE_TO_PIN_DELAY_CHAIN, false), (TYPES{14}));
  EXPECT_EQ(list_of(op, into(obuf, 1), VELMO_OPT_ELEMENT_CORE_TO_PIN_DELAY_CHAIN, false), (TYPES{}));  // 16 is unused
  // A chain the device lacks is refused.
  t.user_types = {13, 294, 296, 14, 16};
  t.auto_types = {};
  host::dc::set_table(52, t);
  VELMO_DELAY_CHAIN_OP op2(m_env);
  EXPECT_EQ(op2.get_pin_to_core_delay_chain_type(into(core)), VELMO_NO_DELAY_CHAIN);
  // Pad-to-core chain 1 is type 13, which the device has.
  core->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0)->set_delay_chain_connection(8, 1);
  EXPECT_EQ(static_cast<int>(op2.get_pin_to_core_delay_chain_type(into(core))), 13);
  core->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0)->set_delay_chain_connection(8, 3);
  EXPECT_EQ(host::testing::expect_internal_error([&] { op2.get_pin_to_core_delay_chain_type(into(core)); }).condition,
            "Illegal PAD-TO-CORE delay chain index");
  // I/O atoms by chain: source side, destination side, none.
  for (int source : {12, 13, 15, 19, 144, 145, 146, 147, 149, 300, 446, 447, 448, 449}) {
    EXPECT_EQ(op2.get_io_atom(into(core), static_cast<YOS_UINT_DATA_ENUM>(source)), din) << source;
    EXPECT_EQ(op2.get_io_atom(into(obuf), static_cast<YOS_UINT_DATA_ENUM>(source)), nullptr) << source;
  }
  for (int destination : {14, 16, 148, 150, 151, 152, 153, 154, 155, 156, 298, 299, 301, 305, 430, 431}) {
    EXPECT_EQ(op2.get_io_atom(into(obuf), static_cast<YOS_UINT_DATA_ENUM>(destination)),
              host::testing::netlist().find("dout"))
        << destination;
    EXPECT_EQ(op2.get_io_atom(into(core), static_cast<YOS_UINT_DATA_ENUM>(destination)), nullptr) << destination;
  }
  for (int none : {17, 18, 302, 303, 304})
    EXPECT_EQ(op2.get_io_atom(into(core), static_cast<YOS_UINT_DATA_ENUM>(none)), nullptr) << none;
}

// Another family with the pair: the I/O input register still takes 294, a
// DDIO input no chain (the DDIO rule is family 52's; its input is not one a
// pad-to-core chain serves).
TEST_F(DelayChainEdgesTest, DdioInputTakesThePairOnlyOnFamily52) {
  host::dc::FAMILY_TABLE t = host::dc::table(30);
  t.user_types.push_back(294);
  t.user_types.push_back(296);
  t.chains[294] = {7, host::dc::SIDE::INPUT, 0, 0, {}, {}, false};
  t.chains[296] = {7, host::dc::SIDE::INPUT, 0, 0, {}, {}, false};
  host::dc::set_table(30, t);
  host::testing::device(Family::code(30)).basic_bool_data(77, true).basic_bool_data(119, true).build();
  design();
  VELMO_DELAY_CHAIN_OP op(m_env);
  EXPECT_EQ(static_cast<int>(op.get_pin_to_core_delay_chain_type(into(ireg))), 294);
  EXPECT_EQ(op.get_pin_to_core_delay_chain_type(into(ddio)), VELMO_NO_DELAY_CHAIN);
  // A DDIO input that is also a buried register, its data input used as
  // 20, picks 296 or 294 by its output's usage (511, 510) for the edge into
  // its output; either chain is then looked up on the DDIO atom itself, which
  // carries no chain in this host, so both stop at "atom != 0" and which of
  // the two was picked cannot be seen from here.
}

// Filters A and B of one family with the simpler DQ/DQS rule off.
void DelayChainEdgesTest::dq_filters(int family) {
  {
    host::testing::device(Family::code(family))
        .basic_bool_data(77, true)
        .basic_bool_data(114, true)
        .basic_bool_data(105, false)
        .build();
    design();
    VELMO_DELAY_CHAIN_OP op(m_env);
    host::dc::mark_dq(din->get_id());
    // A DQ pin without option 1032: filter B empties the list on both
    // families, filter A only on 7.
    EXPECT_EQ(list_of(op, into(core), VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN, true), (TYPES{}));
    EXPECT_EQ(list_of(op, into(core), VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN, false).empty(), family == 7);
    host::options::set(1032, 6, "5", "din");
    EXPECT_EQ(list_of(op, into(core), VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN, true), (TYPES{446}));
    host::dc::mark_dqsn(din->get_id());
    EXPECT_EQ(list_of(op, into(core), VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN, true), (TYPES{}));
  }
}

TEST_F(DelayChainEdgesTest, DqFiltersOnFamily36) { dq_filters(36); }
TEST_F(DelayChainEdgesTest, DqFiltersOnFamily7) { dq_filters(7); }

TEST_F(DelayChainEdgesTest, CollectionsAndTheEdgeFilter) {
  host::testing::device(Family::KY).build();
  design();
  HOV_ACCESSORIES* acc = hov_get_accessories();
  for (int id = 0; id < kem->get_edge_count(); ++id) kem->set_quick_slack(id, KEM_QUICK_NO_SLACK);
  kem->set_quick_slack(into(core)->get_id(), 100);
  kem->set_quick_slack(into(obuf)->get_id(), -20);
  VELMO_DELAY_CHAIN_OP op(m_env);
  op.init_kem_edges_for_processing_new(acc, true);
  EXPECT_EQ(op.get_pin_to_core_edge_ids(), (std::vector<int>{into(core)->get_id()}));
  EXPECT_EQ(op.get_core_to_pin_edge_ids(), (std::vector<int>{into(obuf)->get_id()}));
  EXPECT_TRUE(acc->has_sta_edge_filter());
  EXPECT_TRUE(acc->edge_passes_filter(into(core)->get_id()));
  EXPECT_FALSE(acc->edge_passes_filter(into(ireg)->get_id()));
  // The older collection keeps edges without slack; the filter is replaced.
  op.init_kem_edges_for_processing(acc, true);
  EXPECT_EQ(op.get_pin_to_core_edge_ids().size(), 6u);
  EXPECT_EQ(op.get_core_to_pin_edge_ids().size(), 2u);  // not from the JTAG atom
  EXPECT_TRUE(acc->edge_passes_filter(into(ireg)->get_id()));
  EXPECT_FALSE(acc->edge_passes_filter(into(oreg)->get_id()));
  acc->clear_sta_edge_filter();
  op.init_kem_edges_for_processing(acc, false);
  EXPECT_FALSE(acc->has_sta_edge_filter());
  EXPECT_TRUE(op.get_edges_to_analyse().empty());
}

TEST_F(DelayChainEdgesTest, PllRecordsArePrunedFilteredAndReattached) {
  host::testing::device(Family::KY).build();
  design();
  HOV_ACCESSORIES* acc = hov_get_accessories();
  VELMO_DELAY_CHAIN_OP op(m_env);
  auto& dc = op.get_pll_delay_chain_edges();
  auto& ps = op.get_pll_phase_shift_edges();
  KEM_EDGE* e1 = into(oreg);
  KEM_EDGE* e2 = into(oereg);
  const int id1 = e1->get_id(), id2 = e2->get_id();
  dc[e1->get_id()] = PLL_AFFECTED_KEM_EDGE{e1, {din, core, ireg}, {0, -1, 1}};
  dc[5000] = PLL_AFFECTED_KEM_EDGE{nullptr, {din, core}, {-1, -1}};
  dc[5001] = PLL_AFFECTED_KEM_EDGE{nullptr, {}, {}};
  ps[e2->get_id()] = PLL_AFFECTED_KEM_EDGE{e2, {din}, {1}};
  // Without the filter: pruned, nothing handed to the accessories.
  op.init_pll_kem_edges_for_processing(acc, false);
  ASSERT_EQ(dc.size(), 1u);
  EXPECT_EQ(dc[e1->get_id()].atoms, (std::vector<VOK_ATOM_NODE*>{din, ireg}));
  EXPECT_EQ(dc[e1->get_id()].relationships, (std::vector<std::int32_t>{0, 1}));
  EXPECT_FALSE(acc->has_sta_edge_filter());
  // With it: the pin edges' filter is replaced by pin edges then PLL edges.
  for (int id = 0; id < kem->get_edge_count(); ++id) kem->set_quick_slack(id, 1);
  op.init_kem_edges_for_processing_new(acc, true);
  const std::size_t pin_edges = op.get_edges_to_analyse().size();
  op.init_pll_kem_edges_for_processing(acc, true);
  ASSERT_EQ(op.get_edges_to_analyse().size(), pin_edges + 2);
  EXPECT_EQ(op.get_edges_to_analyse()[pin_edges], e1);
  EXPECT_EQ(op.get_edges_to_analyse()[pin_edges + 1], e2);
  EXPECT_TRUE(acc->edge_passes_filter(e2->get_id()));

  // A rebuilt netlist: new edge objects with the same ids; a pin edge that is
  // gone leaves an empty entry.
  m_env->indicate_that_atom_netlist_is_modified();
  m_env->get_hov_utility_or_create_if_necessary(0, 2, 5, false, false, false, false, nullptr, false, false);
  kem = hov_get_accessories()->get_kem_netlist();
  op.rebuild_kem_edges_for_processing();
  EXPECT_EQ(dc[id1].edge, kem->get_edge(id1));
  EXPECT_EQ(ps[id2].edge, kem->get_edge(id2));
  const int lane_edge = into(lane)->get_id();
  const int lane_id = lane->get_id();
  lane->get_parent_netlist()->remove(lane);
  m_env->indicate_that_atom_netlist_is_modified(lane_id, false, false);
  m_env->get_hov_utility_or_create_if_necessary(0, 2, 5, false, false, false, false, nullptr, false, false);
  op.rebuild_kem_edges_for_processing();
  const auto& ids = op.get_pin_to_core_edge_ids();
  bool seen = false;
  for (std::size_t i = 0; i < ids.size(); ++i) {
    if (ids[i] != lane_edge) continue;
    seen = true;
    EXPECT_EQ(op.get_pin_to_core_edges()[i], nullptr);
  }
  EXPECT_TRUE(seen);
  EXPECT_EQ(op.get_edges_to_analyse().size(), pin_edges + 1);
  for (KEM_EDGE* e : op.get_edges_to_analyse()) EXPECT_NE(e, nullptr);
  ps[9999] = PLL_AFFECTED_KEM_EDGE{nullptr, {din}, {0}};
  EXPECT_EQ(host::testing::expect_internal_error([&] { op.rebuild_kem_edges_for_processing(); }).condition, "edge");
  dc[4] = PLL_AFFECTED_KEM_EDGE{nullptr, {din, core}, {0}};
  EXPECT_EQ(host::testing::expect_internal_error([&] { op.remove_invalid_relationships(false); }).condition,
            "atom_vec->size() == rel_vec->size()");
}

}  // namespace
