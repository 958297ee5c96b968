// The per-family MAC merge rules: mergeable modes, compatibility of two MACs
// (buses, clocks or enables, settings, scan chains, the DRC) and the netlist
// surgery of one merge.
#include <memory>
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "testing/own_process.h"
#include "velmo_mac_merge_util_kx.h"
#include "velmo_mac_merge_util_ky.h"
#include "velmo_mac_merge_util_kz.h"
#include "wexan/wexan_atom_mod_drc.h"
#include "wexan/wexan_env.h"
#include "wexan/wexan_utilities.h"
#include "yos/yos_interface.h"
#include "zel/zel_mac_unified_util.h"

using host::testing::expect_internal_error;
using host::testing::Family;
using host::testing::MAC_BUILDER;
using host::testing::SIG;

namespace {

constexpr auto P408 = DB_MAC_DATA_AX;
constexpr auto P409 = DB_MAC_DATA_AY;
constexpr auto P410 = DB_MAC_DATA_BX;
constexpr auto P411 = DB_DATA_BY;
constexpr auto P3045 = DB_MAC_COEFSELA;
constexpr auto P3048 = DB_MAC_COEFSELB;
constexpr auto OUT363 = static_cast<DB_OUTPUT_PORT_TYPE>(363);
constexpr auto OUT364 = static_cast<DB_OUTPUT_PORT_TYPE>(364);

class MacMergeFamilyTest : public host::testing::EnvTest {
protected:
  // The variant of the device's family, used through the base.
  std::unique_ptr<VELMO_QDSP_MERGE_UTIL_INTERFACE> util() const {
    switch (m_env->get_base_family_code()) {
      case 26: return std::make_unique<VELMO_QDSP_MERGE_UTIL_KZ>(m_env);
      case 46: return std::make_unique<VELMO_QDSP_MERGE_UTIL_KY>(m_env);
      default: return std::make_unique<VELMO_QDSP_MERGE_UTIL_KX>(m_env);
    }
  }
  // The three families' variants, whatever the device.
  std::vector<std::unique_ptr<VELMO_QDSP_MERGE_UTIL_INTERFACE>> variants() const {
    std::vector<std::unique_ptr<VELMO_QDSP_MERGE_UTIL_INTERFACE>> all;
    all.push_back(std::make_unique<VELMO_QDSP_MERGE_UTIL_KX>(m_env));
    all.push_back(std::make_unique<VELMO_QDSP_MERGE_UTIL_KY>(m_env));
    all.push_back(std::make_unique<VELMO_QDSP_MERGE_UTIL_KZ>(m_env));
    return all;
  }
  static bool compatible(VELMO_QDSP_MERGE_UTIL_INTERFACE& u, VOK_ATOM_NODE* a, VOK_ATOM_NODE* b) {
    std::vector<VOK_ATOM_NODE*> atoms{a, b};
    return u.mac_atoms_are_compatible(&atoms, nullptr);
  }
  static bool both_orders(VELMO_QDSP_MERGE_UTIL_INTERFACE& u, VOK_ATOM_NODE* a, VOK_ATOM_NODE* b) {
    return compatible(u, a, b) && compatible(u, b, a);
  }
  static VOK_ATOM_NODE* merge(VELMO_QDSP_MERGE_UTIL_INTERFACE& u, VOK_ATOM_NODE* a, VOK_ATOM_NODE* b) {
    std::vector<VOK_ATOM_NODE*> atoms{a, b};
    EXPECT_TRUE(u.merge_mac_atoms(&atoms, VOK_MAC_MODE_M18X18_FULL));
    return atoms[0];
  }
  static const VOK_ATOM_NODE* driver_of(VOK_ATOM_NODE* atom, DB_INPUT_PORT_TYPE port, int bit) {
    const VOK_ATOM_ITERM* t = atom->get_input_term_by_type(port, bit);
    const VOK_ATOM_OTERM* o = t != nullptr ? t->get_source(VOK_TRAVERSE_AS_STORED) : nullptr;
    return o != nullptr ? o->get_my_node() : nullptr;
  }
  static const VOK_ATOM_OTERM* source_of(const VOK_ATOM_NODE* atom, DB_INPUT_PORT_TYPE port, int bit) {
    const VOK_ATOM_ITERM* t = atom->get_input_term_by_type(port, bit);
    return t != nullptr ? t->get_source(VOK_TRAVERSE_AS_STORED) : nullptr;
  }
  static bool exists(int id) { return host::vok::top_netlist()->get_atom_by_id(id) != nullptr; }
  ZEL_MAC_UNIFIED_UTIL m_mac;
};

}  // namespace

TEST_F(MacMergeFamilyTest, MergeableModeNeedsOneFullMultiplierAndNoUnsupportedFeature) {
  host::testing::device(Family::KX).build();
  auto n = host::testing::netlist();
  SIG x = n.input_port("x");
  // Every family's variant applies the same rules.
  const auto all = variants();
  for (std::size_t f = 0; f < all.size(); ++f) {
    SCOPED_TRACE(f);
    VELMO_QDSP_MERGE_UTIL_INTERFACE* u = all[f].get();
    const std::string v = std::to_string(f);
    EXPECT_EQ(u->get_mergeable_mode_of_atom(n.mac("plain" + v).mode(2)), VOK_MAC_MODE_M18X18_FULL);
    EXPECT_EQ(u->get_mergeable_mode_of_atom(n.fp_mac("fp" + v).mode(2)), VOK_MAC_MODE_NONE);
    EXPECT_EQ(u->get_mergeable_mode_of_atom(n.mac("m27" + v).mode(9)), VOK_MAC_MODE_NONE);
    auto two = n.mac("two" + v).mode(2);
    two->get_mac_info().mult_elements = 2;
    EXPECT_EQ(u->get_mergeable_mode_of_atom(two), VOK_MAC_MODE_NONE);
    auto denied = n.mac("denied" + v).mode(2);
    host::drc::deny(denied.id(), 39);
    EXPECT_EQ(u->get_mergeable_mode_of_atom(denied), VOK_MAC_MODE_NONE);

    // Each unsupported input, and the chain output, makes a MAC unmergeable.
    for (int port : {3048, 3198, 3047, 3197, 3196, 543}) {
      auto m = n.mac("in" + std::to_string(port) + v).mode(2);
      m.data(static_cast<DB_INPUT_PORT_TYPE>(port), {x}, false, 1);
      EXPECT_EQ(u->get_mergeable_mode_of_atom(m), VOK_MAC_MODE_NONE) << port;
    }
    auto chain_head = n.mac("chain_head" + v).mode(2);
    chain_head.feeds(n.mac("chain_tail" + v).mode(9), DB_MAC_CHAINOUT, DB_MAC_CHAININ);
    EXPECT_EQ(u->get_mergeable_mode_of_atom(chain_head), VOK_MAC_MODE_NONE);

    // A constant input is in use only when inverted against its port's
    // default.
    auto tied = n.mac("tied" + v).mode(2).tie(static_cast<DB_INPUT_PORT_TYPE>(3047), 0, true);
    EXPECT_EQ(u->get_mergeable_mode_of_atom(tied), VOK_MAC_MODE_M18X18_FULL);
    tied.iterm(static_cast<DB_INPUT_PORT_TYPE>(3047))->set_inverted(true);
    EXPECT_EQ(u->get_mergeable_mode_of_atom(tied), VOK_MAC_MODE_NONE);
    host::vok::set_port_default_inverted(tied.id(), 3047);
    EXPECT_EQ(u->get_mergeable_mode_of_atom(tied), VOK_MAC_MODE_M18X18_FULL);

    // Scan chains are mergeable by default.
    auto s0 = n.mac("s0" + v).mode(2);
    s0.feeds(n.mac("s1" + v).mode(2), DB_MAC_SCANOUT, DB_MAC_SCANIN);
    EXPECT_EQ(u->get_mergeable_mode_of_atom(s0), VOK_MAC_MODE_M18X18_FULL);

    auto adder = n.mac("adder" + v).mode(2);
    adder->get_mac_info().chainout_adder = true;
    EXPECT_EQ(expect_internal_error([&] { u->get_mergeable_mode_of_atom(adder); }).condition,
              "!m_mac_util->can_have_chainout_adder(mac_atom)");
  }
}

TEST_F(MacMergeFamilyTest, ScanChainsOffMakeScanChainedMacsUnmergeable) {
  // The scan-chain switch is read once per process.
  if (!host::testing::in_own_process()) return;
  cfg_set_off("velmo_mac_merge_enable_scanchains");
  host::testing::device(Family::KZ).build();
  auto n = host::testing::netlist();
  auto u = util();
  auto s0 = n.mac("s0").mode(2);
  auto s1 = n.mac("s1").mode(2);
  s0.feeds(s1, DB_MAC_SCANOUT, DB_MAC_SCANIN);
  EXPECT_EQ(u->get_mergeable_mode_of_atom(s0), VOK_MAC_MODE_NONE);
  EXPECT_EQ(u->get_mergeable_mode_of_atom(s1), VOK_MAC_MODE_NONE);
  EXPECT_EQ(u->get_mergeable_mode_of_atom(n.mac("free").mode(2)), VOK_MAC_MODE_M18X18_FULL);
}

TEST_F(MacMergeFamilyTest, CompatibilityComparesModesBusSettingsAndTheDrc) {
  host::testing::device(Family::KY).build();
  auto n = host::testing::netlist();
  SIG x0 = n.input_port("x0"), x1 = n.input_port("x1");
  auto a = n.mac("a").mode(2).data(DB_INPUT_PORT_ACLR, {x0, x1}, false, 2);
  auto b = n.mac("b").mode(2).data(DB_INPUT_PORT_ACLR, {x0, x1}, false, 2);
  auto c = n.mac("c").mode(2).data(DB_INPUT_PORT_ACLR, {x0, x0}, false, 2);
  auto u = util();
  EXPECT_TRUE(both_orders(*u, a, b));
  EXPECT_FALSE(compatible(*u, a, c));  // bus bit 1 differs

  std::vector<VOK_ATOM_NODE*> atoms{a, b};
  std::vector<VOK_MAC_MODE_ENUM> modes{VOK_MAC_MODE_M18X18_FULL, VOK_MAC_MODE_NONE};
  EXPECT_FALSE(u->mac_atoms_are_compatible(&atoms, &modes));
  modes = {VOK_MAC_MODE_M9X9, VOK_MAC_MODE_M9X9};
  EXPECT_FALSE(u->mac_atoms_are_compatible(&atoms, &modes));
  std::vector<VOK_ATOM_NODE*> three{a, b, c};
  EXPECT_EQ(expect_internal_error([&] { u->mac_atoms_are_compatible(&three, nullptr); }).condition,
            "mac_atoms->size() == 2");

  // Pre-adder, coefficient and subtract settings must agree.
  b->get_mac_info().preadder_used = true;
  EXPECT_FALSE(compatible(*u, a, b));
  a->get_mac_info().preadder_used = true;
  EXPECT_TRUE(compatible(*u, a, b));
  b->get_mac_info().preadder_subtract[0] = true;
  EXPECT_FALSE(compatible(*u, a, b));
  b->get_mac_info().preadder_subtract[0] = false;
  // A coefficient select wider than the eight coefficients, on either MAC.
  m_mac.set_input_port_width(b, P3045, 4);
  EXPECT_FALSE(compatible(*u, a, b));
  EXPECT_FALSE(compatible(*u, b, a));
  m_mac.set_input_port_width(b, P3045, 3);
  EXPECT_TRUE(both_orders(*u, a, b));

  // The clear type counts on KY and KZ, not on KX.
  b->get_mac_info().clear_type = 1;
  EXPECT_FALSE(compatible(*u, a, b));
  host::testing::device(Family::KX).build();
  EXPECT_TRUE(compatible(*util(), a, b));

  host::drc::veto_merge(b.id(), a.id());
  EXPECT_FALSE(compatible(*util(), a, b));
}

TEST_F(MacMergeFamilyTest, KxWithFourTakenClocksTakesOnlyAMatchingClock) {
  host::testing::device(Family::KX).build();
  auto n = host::testing::netlist();
  std::vector<SIG> k;
  for (int i = 0; i < 6; ++i) k.push_back(n.input_port("k" + std::to_string(i)));
  auto a = n.mac("a").mode(2).clk(k[0], 0).clk(k[1], 1).clk(k[2], 2).clk(k[3], 3);
  auto other = n.mac("other").mode(2).clk(k[4], 0).port_clock(P408, 1);
  auto same = n.mac("same").mode(2).clk(k[2], 0).port_clock(P408, 1);
  // The same clock under an enable is another clock: it matches none of a's.
  auto gated = n.mac("gated").mode(2).clk(k[2], 0).ena(k[5], 0).port_clock(P408, 1);
  auto u = util();
  EXPECT_FALSE(compatible(*u, a, other));
  EXPECT_FALSE(compatible(*u, a, gated));
  EXPECT_TRUE(compatible(*u, a, same));
  // The absorbed MAC's port 408 lands on port 410, on the first MAC's clock 3.
  const int same_id = same.id();
  merge(*u, a, same);
  EXPECT_EQ(m_mac.get_input_port_clock(a, P410), 3);
  EXPECT_FALSE(exists(same_id));
  // So is a port on the absorbed MAC's third clock.
  auto a2 = n.mac("a2").mode(2).clk(k[0], 0).clk(k[1], 1).clk(k[2], 2).clk(k[3], 3);
  auto third = n.mac("third").mode(2).clk(k[0], 0).clk(k[1], 1).clk(k[3], 2).port_clock(P408, 3);
  EXPECT_TRUE(compatible(*u, a2, third));
  merge(*u, a2, third);
  EXPECT_EQ(m_mac.get_input_port_clock(a2, P410), 4);

  // A free clock is claimed and the absorbed clock copied onto it.
  auto c = n.mac("c").mode(2).clk(k[0], 0);
  c->add_input_term(DB_INPUT_PORT_CLK, 1);
  auto d = n.mac("d").mode(2).clk(k[5], 0).ena(k[4], 0).port_clock(P409, 1);
  EXPECT_TRUE(compatible(*u, c, d));
  merge(*u, c, d);
  EXPECT_EQ(m_mac.get_input_port_clock(c, P411), 2);
  EXPECT_EQ(source_of(c, DB_INPUT_PORT_CLK, 1), k[5].oterm);
  EXPECT_EQ(source_of(c, DB_INPUT_PORT_ENA, 1), k[4].oterm);
  // A clock slot whose clock is free but whose enable is in use is taken.
  auto busy = n.mac("busy").mode(2).clk(k[0], 0).ena(k[1], 1);
  busy->add_input_term(DB_INPUT_PORT_CLK, 1);
  auto d2 = n.mac("d2").mode(2).clk(k[5], 0).port_clock(P409, 1);
  EXPECT_FALSE(compatible(*u, busy, d2));

  // Two unmatched clocks claim two different free clocks.
  auto g = n.mac("g").mode(2).clk(k[0], 0);
  g->add_input_term(DB_INPUT_PORT_CLK, 1);
  g->add_input_term(DB_INPUT_PORT_CLK, 2);
  auto h = n.mac("h").mode(2).clk(k[5], 0).clk(k[4], 1).port_clock(P408, 1).port_clock(P409, 2);
  merge(*u, g, h);
  EXPECT_EQ(m_mac.get_input_port_clock(g, P410), 2);
  EXPECT_EQ(m_mac.get_input_port_clock(g, P411), 3);
  EXPECT_EQ(source_of(g, DB_INPUT_PORT_CLK, 1), k[5].oterm);
  EXPECT_EQ(source_of(g, DB_INPUT_PORT_CLK, 2), k[4].oterm);

  // Output and coefficient-select clocks must match as they are.
  auto e = n.mac("e").mode(2).clk(k[0], 0);
  auto f = n.mac("f").mode(2).clk(k[0], 0).output_clock(OUT363, 1);
  EXPECT_FALSE(compatible(*u, e, f));
  e.output_clock(OUT363, 1);
  EXPECT_TRUE(compatible(*u, e, f));
  f.port_clock(P3045, 1);
  EXPECT_FALSE(compatible(*u, e, f));
}

TEST_F(MacMergeFamilyTest, KzSharesTheFirstClockAndRemapsEnables) {
  host::testing::device(Family::KZ).build();
  auto n = host::testing::netlist();
  SIG clk = n.input_port("clk"), clk2 = n.input_port("clk2");
  std::vector<SIG> e;
  for (int i = 0; i < 4; ++i) e.push_back(n.input_port("e" + std::to_string(i)));
  auto a = n.mac("a").mode(2).clk(clk).ena(e[0], 0).ena(e[1], 1).ena(e[2], 2);
  auto foreign = n.mac("foreign").mode(2).clk(clk).ena(e[3], 0).port_enable(P408, 1);
  auto shared = n.mac("shared").mode(2).clk(clk).ena(e[1], 0).port_enable(P408, 1);
  auto other_clock = n.mac("other_clock").mode(2).clk(clk2);
  auto u = util();
  EXPECT_FALSE(compatible(*u, a, foreign));  // no enable free, none matches
  EXPECT_FALSE(compatible(*u, a, other_clock));
  EXPECT_TRUE(compatible(*u, a, shared));
  merge(*u, a, shared);
  EXPECT_EQ(m_mac.get_input_port_clock_enable(a, P410, nullptr, 0), 2);

  auto b = n.mac("b").mode(2).clk(clk).ena(e[0], 0);
  b->add_input_term(DB_INPUT_PORT_ENA, 1);
  auto c = n.mac("c").mode(2).clk(clk).ena(e[3], 0).port_enable(P3045, 1);
  merge(*u, b, c);
  EXPECT_EQ(m_mac.get_input_port_clock_enable(b, P3048, nullptr, 0), 2);
  EXPECT_EQ(source_of(b, DB_INPUT_PORT_ENA, 1), e[3].oterm);
  // Two unmatched enables, the third first, claim two different free slots.
  auto g = n.mac("g").mode(2).clk(clk).ena(e[0], 0);
  g->add_input_term(DB_INPUT_PORT_ENA, 1);
  g->add_input_term(DB_INPUT_PORT_ENA, 2);
  auto h = n.mac("h").mode(2).clk(clk).ena(e[1], 0).ena(e[2], 1).ena(e[3], 2).port_enable(P408, 3).port_enable(P409, 1);
  merge(*u, g, h);
  EXPECT_EQ(m_mac.get_input_port_clock_enable(g, P410, nullptr, 0), 2);
  EXPECT_EQ(m_mac.get_input_port_clock_enable(g, P411, nullptr, 0), 3);
}

// With the device's stage count, the enables of each extra stage agree:
// both unused, or both used with the same enable signal.
TEST_F(MacMergeFamilyTest, KzComparesTheEnablesOfExtraStages) {
  host::testing::device(Family::KZ).element_int_data(1336, 24, 2).build();
  auto n = host::testing::netlist();
  SIG clk = n.input_port("clk"), e0 = n.input_port("e0"), e1 = n.input_port("e1");
  auto u = util();
  auto a = n.mac("a").mode(2).clk(clk).ena(e0, 0);
  auto b = n.mac("b").mode(2).clk(clk).ena(e0, 0);
  EXPECT_TRUE(compatible(*u, a, b));
  b.stage_enable(P409, 2, 1);
  EXPECT_FALSE(compatible(*u, a, b));
  a.stage_enable(P409, 2, 1);
  EXPECT_TRUE(compatible(*u, a, b));
  auto c = n.mac("c").mode(2).clk(clk).ena(e1, 0).stage_enable(P409, 2, 1);
  EXPECT_FALSE(compatible(*u, a, c));
}

TEST_F(MacMergeFamilyTest, ExtraStagesAreComparedAndTheirObservableOutputsMoved) {
  host::testing::device(Family::KY).element_int_data(1336, 24, 2).build();
  auto n = host::testing::netlist();
  SIG clk = n.input_port("clk"), x = n.input_port("x");
  auto u = util();
  auto a = n.mac("a").mode(2).clk(clk);
  auto b = n.mac("b").mode(2).clk(clk).stage_clock(P409, 2, 1).data(P408, {x}, false, 1);
  EXPECT_FALSE(compatible(*u, a, b));
  a.stage_clock(P409, 2, 1);
  EXPECT_TRUE(compatible(*u, a, b));
  // The registers of port 408 observable at stages 0..2 keep their loads.
  std::vector<int> loads;
  for (int stage = 0; stage <= 3; ++stage) {
    auto out = b->add_output_term(m_mac.get_observable_port_type(P408, stage), 0);
    loads.push_back(n.reg("load" + std::to_string(stage)).d(out).id());
  }
  merge(*u, a, b);
  for (int stage = 0; stage <= 3; ++stage) {
    const VOK_ATOM_NODE* load = host::vok::top_netlist()->get_atom_by_id(loads[stage]);
    const VOK_ATOM_OTERM* d = source_of(load, DB_INPUT_PORT_DATA_IN, 0);
    if (stage <= 2) {
      ASSERT_NE(d, nullptr) << stage;
      EXPECT_EQ(d->get_my_node(), a.atom());
      EXPECT_EQ(d->get_port_type(), m_mac.get_observable_port_type(P410, stage));
    } else {
      EXPECT_EQ(d, nullptr);  // went with the absorbed MAC
    }
  }
}

TEST_F(MacMergeFamilyTest, WithoutTheStageItemStagesZeroAndOneMove) {
  host::testing::device(Family::KX).build();
  auto n = host::testing::netlist();
  SIG x = n.input_port("x");
  auto a = n.mac("a").mode(2);
  auto b = n.mac("b").mode(2).data(P409, {x}, false, 1).stage_clock(P409, 2, 1);
  auto u = util();
  EXPECT_TRUE(compatible(*u, a, b));  // no stage is compared
  std::vector<int> loads;
  for (int stage = 0; stage <= 2; ++stage)
    loads.push_back(n.reg("l" + std::to_string(stage)).d(b->add_output_term(m_mac.get_observable_port_type(P409, stage), 0)).id());
  merge(*u, a, b);
  for (int stage = 0; stage <= 2; ++stage) {
    const VOK_ATOM_OTERM* d = source_of(host::vok::top_netlist()->get_atom_by_id(loads[stage]), DB_INPUT_PORT_DATA_IN, 0);
    EXPECT_EQ(d != nullptr, stage <= 1) << stage;
  }
}

TEST_F(MacMergeFamilyTest, MergeMovesBitsWidthsSignednessAndReportsTheAbsorbedMac) {
  host::testing::device(Family::KX).build();
  auto n = host::testing::netlist();
  std::vector<SIG> ax, ay, az;
  for (int i = 0; i < 18; ++i) ax.push_back(n.input_port("ax" + std::to_string(i)));
  for (int i = 0; i < 19; ++i) ay.push_back(n.input_port("ay" + std::to_string(i)));
  for (int i = 0; i < 5; ++i) az.push_back(n.input_port("az" + std::to_string(i)));
  SIG s0 = n.input_port("s0");
  auto a = n.mac("a").mode(2);
  auto b = n.mac("b").mode(2).data(P408, ax, true, 18).data(P409, ay, true, 19).data(DB_MAC_DATA_AZ, az, false, 5)
               .data(P3045, {s0}, false, 1).outputs(OUT363, 37);
  const int b_id = b.id();
  std::vector<int> loads;
  for (int i : {0, 17, 36}) loads.push_back(n.reg("q" + std::to_string(i)).d(b.out(OUT363, i)).id());
  {
    auto u = util();
    merge(*u, a, b);
  }
  EXPECT_FALSE(exists(b_id));
  for (int i = 0; i < 18; ++i) EXPECT_EQ(source_of(a, P410, i), ax[i].oterm) << i;
  for (int i = 0; i < 19; ++i) EXPECT_EQ(source_of(a, P411, i), ay[i].oterm) << i;
  for (int i = 0; i < 5; ++i) EXPECT_EQ(source_of(a, DB_MAC_DATA_BZ, i), az[i].oterm) << i;
  EXPECT_EQ(source_of(a, P3048, 0), s0.oterm);
  EXPECT_EQ(m_mac.get_input_port_width(a, P410), 18);
  EXPECT_EQ(m_mac.get_input_port_width(a, P411), 19);
  EXPECT_EQ(m_mac.get_input_port_width(a, DB_MAC_DATA_BZ), 5);
  EXPECT_EQ(m_mac.get_output_port_width(a, OUT364), 37);
  const int out_bits[] = {0, 17, 36};
  for (int k = 0; k < 3; ++k) {
    const VOK_ATOM_OTERM* d =
        source_of(host::vok::top_netlist()->get_atom_by_id(loads[k]), DB_INPUT_PORT_DATA_IN, 0);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->get_my_node(), a.atom());
    EXPECT_EQ(d->get_port_type(), OUT364);
    EXPECT_EQ(d->get_index(), out_bits[k]);
  }
  EXPECT_TRUE(m_mac.is_signed_input_port(a, P410));
  EXPECT_TRUE(m_mac.is_signed_input_port(a, P411));
  std::string why;
  EXPECT_TRUE(host::vok::top_netlist()->sanity_check(&why)) << why;
  // One row: the absorbed MAC, action 12, and the survivor.
  const auto rows = host::wexan::flushed_rows("Netlist Modifications");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"b", "252", "12", "", "a", "252"}));
}

TEST_F(MacMergeFamilyTest, ParameterYSignednessIsLeftAlone) {
  host::testing::device(Family::KX).build();
  auto n = host::testing::netlist();
  SIG y = n.input_port("y");
  auto a = n.mac("a").mode(2);
  auto b = n.mac("b").mode(2).data(P409, {y}, true, 1).bool_param(489, true);
  auto u = util();
  merge(*u, a, b);
  EXPECT_FALSE(m_mac.is_signed_input_port(a, P411));
  // Without the parameter the merge cannot tell.
  auto c = n.mac("c").mode(2);
  auto d = n.atom(VOK_ATOM_KIND::MAC, "d");  // a MAC made without the parameter
  d->get_mac_info().mode = 2;
  std::vector<VOK_ATOM_NODE*> atoms{c, d};
  EXPECT_EQ(expect_internal_error([&] { u->merge_mac_atoms(&atoms, VOK_MAC_MODE_M18X18_FULL); }).condition, "status");
}

TEST_F(MacMergeFamilyTest, CoefficientsFollowTheSelectWidth) {
  host::testing::device(Family::KZ).build();
  auto n = host::testing::netlist();
  SIG clk = n.input_port("clk");
  std::vector<SIG> sel;
  for (int i = 0; i < 3; ++i) sel.push_back(n.input_port("sel" + std::to_string(i)));
  YOS_INTERFACE* yos = yos_current_interface();
  // Every family reads the absorbed MAC's coefficient k from parameter A[k]
  // and writes it to the merged atom's parameter B[k].
  constexpr int A[8] = {359, 363, 356, 366, 353, 361, 357, 355};
  constexpr int B[8] = {352, 360, 358, 365, 367, 362, 354, 364};
  auto with_coefficients = [&](const std::string& name, int width) {
    auto m = n.mac(name).mode(2).clk(clk);
    m->get_mac_info().coefficient_used = true;
    m->get_mac_info().preadder_subtract[0] = false;
    m->get_mac_info().operand_sources[0] = 5;
    m.data(P3045, std::vector<SIG>(sel.begin(), sel.begin() + width), false, width);
    for (int k = 0; k < 8; ++k) yos->set_uint_data(m, static_cast<YOS_UINT_DATA_ENUM>(A[k]), 100 + k);
    m.bool_param(493, true);
    return m;
  };
  const auto utils = variants();
  for (std::size_t f = 0; f < utils.size(); ++f) {
    SCOPED_TRACE(f);
    auto a = with_coefficients("a" + std::to_string(f), 3);
    auto b = with_coefficients("b" + std::to_string(f), 3);
    merge(*utils[f], a, b);
    unsigned v = 0;
    for (int k = 0; k < 8; ++k) {
      ASSERT_TRUE(yos->get_uint_data(a, static_cast<YOS_UINT_DATA_ENUM>(B[k]), &v)) << k;
      EXPECT_EQ(v, 100u + k);
    }
    bool coef = false;
    EXPECT_TRUE(yos->get_bool_data(a, static_cast<YOS_BOOL_DATA_ENUM>(490), &coef));
    EXPECT_TRUE(coef);
    EXPECT_EQ(m_mac.get_operand_sources(a, 1), 5);
  }

  auto c = with_coefficients("c", 0);
  auto d = with_coefficients("d", 0);
  merge(*utils[2], c, d);
  unsigned v = 0;
  EXPECT_TRUE(yos->get_uint_data(c, static_cast<YOS_UINT_DATA_ENUM>(B[0]), &v));
  EXPECT_FALSE(yos->get_uint_data(c, static_cast<YOS_UINT_DATA_ENUM>(B[1]), &v));
}

TEST_F(MacMergeFamilyTest, ScanChainedMacsMergeDriverFirstAndTakeOverTheChain) {
  host::testing::device(Family::KY).build();
  auto n = host::testing::netlist();
  SIG y = n.input_port("y");
  auto head = n.mac("head").mode(2);
  auto mid = n.mac("mid").mode(2).data(P409, {y}, false, 1);
  auto tail = n.mac("tail").mode(9);
  head.feeds(mid, DB_MAC_SCANOUT, DB_MAC_SCANIN, 2);
  mid.feeds(tail, DB_MAC_SCANOUT, DB_MAC_SCANIN, 2);
  auto lone = n.mac("lone").mode(2).outputs(DB_MAC_SCANOUT, 1);
  auto u = util();
  EXPECT_TRUE(both_orders(*u, head, mid));
  // A MAC on another scan chain, or with a scan chain against one without.
  EXPECT_FALSE(compatible(*u, head, lone));
  EXPECT_FALSE(compatible(*u, lone, mid));

  // Given in the other order, the driver still survives.
  const int mid_id = mid.id();
  EXPECT_EQ(merge(*u, mid, head), head.atom());
  EXPECT_FALSE(exists(mid_id));
  EXPECT_EQ(driver_of(tail, DB_MAC_SCANIN, 0), head.atom());
  EXPECT_EQ(driver_of(tail, DB_MAC_SCANIN, 1), head.atom());
  bool taken_over = false;
  EXPECT_TRUE(yos_current_interface()->get_bool_data(head, static_cast<YOS_BOOL_DATA_ENUM>(483), &taken_over));
  EXPECT_TRUE(taken_over);
  EXPECT_EQ(m_mac.get_input_port_width(head, P411), 0);  // KY and KZ
  std::string why;
  EXPECT_TRUE(host::vok::top_netlist()->sanity_check(&why)) << why;
}

TEST_F(MacMergeFamilyTest, KxKeepsTheMovedYWidthAfterAScanTakeOver) {
  host::testing::device(Family::KX).build();
  auto n = host::testing::netlist();
  SIG y = n.input_port("y");
  auto head = n.mac("head").mode(2);
  auto mid = n.mac("mid").mode(2).data(P409, {y}, false, 1);
  head.feeds(mid, DB_MAC_SCANOUT, DB_MAC_SCANIN);
  auto u = util();
  merge(*u, head, mid);
  EXPECT_EQ(m_mac.get_input_port_width(head, P411), 1);

  // Clock sharing maps the second MAC's clocks onto the first's, so it is
  // one-sided: a MAC with a free clock takes one with a single clock, not
  // the other way round. A scan-chained pair is judged driver first, the
  // order its merge uses, whichever order it is given in.
  SIG k0 = n.input_port("k0"), k1 = n.input_port("k1");
  auto roomy_driven = n.mac("roomy_driven").mode(2);
  roomy_driven->add_input_term(DB_INPUT_PORT_CLK, 0);
  roomy_driven.clk(k1, 1).port_clock(P408, 2);
  auto single_driver = n.mac("single_driver").mode(2).clk(k0, 0).port_clock(P408, 1);
  single_driver.feeds(roomy_driven, DB_MAC_SCANOUT, DB_MAC_SCANIN);
  EXPECT_FALSE(compatible(*u, roomy_driven, single_driver));
  EXPECT_FALSE(compatible(*u, single_driver, roomy_driven));

  auto roomy_driver = n.mac("roomy_driver").mode(2);
  roomy_driver->add_input_term(DB_INPUT_PORT_CLK, 0);
  roomy_driver.clk(k1, 1).port_clock(P408, 2);
  auto single_driven = n.mac("single_driven").mode(2).clk(k0, 0).port_clock(P408, 1);
  roomy_driver.feeds(single_driven, DB_MAC_SCANOUT, DB_MAC_SCANIN);
  EXPECT_TRUE(compatible(*u, single_driven, roomy_driver));
  EXPECT_TRUE(compatible(*u, roomy_driver, single_driven));
  const int driven_id = single_driven.id();
  EXPECT_EQ(merge(*u, single_driven, roomy_driver), roomy_driver.atom());
  EXPECT_FALSE(exists(driven_id));
  EXPECT_EQ(source_of(roomy_driver, DB_INPUT_PORT_CLK, 0), k0.oterm);
  EXPECT_EQ(m_mac.get_input_port_clock(roomy_driver, P410), 1);
}

TEST_F(MacMergeFamilyTest, FamilyTablesAndModeSizes) {
  host::testing::device(Family::KY).build();
  auto u = util();
  int max_macs[3], locs[3], modes[3];
  u->get_params_for_family(3, max_macs, locs, modes);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(max_macs[i], 2);
    EXPECT_EQ(locs[i], 1);
    EXPECT_EQ(modes[i], 2);
  }
  EXPECT_EQ(expect_internal_error([&] { u->get_params_for_family(2, max_macs, locs, modes); }).condition,
            "num_merge_types == 3");
  EXPECT_EQ(u->get_new_atom_size_and_check_old_size(VOK_MAC_MODE_M18X18_FULL, 2), 1);
  EXPECT_EQ(expect_internal_error([&] { u->get_new_atom_size_and_check_old_size(VOK_MAC_MODE_M18X18_FULL, 3); })
                .condition,
            "old_atom_size == 2");
  EXPECT_EQ(expect_internal_error([&] { u->get_new_atom_size_and_check_old_size(VOK_MAC_MODE_M9X9, 2); }).condition,
            "unsupported MAC merge mode");
  EXPECT_DOUBLE_EQ(u->get_usage_estimation(host::testing::netlist().fp_mac("fp").mode(2)), 1.0);
  EXPECT_DOUBLE_EQ(u->get_usage_estimation(host::testing::netlist().mac("m").mode(2)), 0.5);
}
