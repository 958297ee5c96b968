// Final placement checks of pipeline registers next to LUT-RAM data inputs
// and periphery transfers, on the stand-in device's routing graph.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "cmp/cmp_facade.h"
#include "dev/dev_spec.h"
#include "gesk/gesk_bundle.h"
#include "msg/msg_base.h"
#include "pelk/pelk_symbol.h"
#include "r5t/r5t_interface.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "testing/own_process.h"
#include "testing/routing_builder.h"
#include "velmo_expert.h"
#include "w3j3/w3j3_port_map_db.h"
#include "wexan/wexan_env.h"
#include "wump/wump_die_info.h"
#include "wump/wump_route_info.h"

using host::testing::expect_internal_error;
using host::testing::HostTest;
using ::testing::HasSubstr;

namespace {

class FinalChecksTest : public HostTest {
protected:
  void SetUp() override {
    HostTest::SetUp();
    m_env = new WEXAN_ENV(CMP_FACADE::current(), 0, nolt_device_factory_fn);
    m_expert = VELMO_EXPERT::create(CMP_FACADE::current(), m_env);
    m_die = host::device::die_info();
    m_ri = m_die->get_route_info();
  }
  void TearDown() override {
    VELMO_EXPERT::destroy();
    delete m_env;
    HostTest::TearDown();
  }
  // Maps a terminal to a routing gid through the port map (one type-1 entry).
  template <class TERM> void map_port(const TERM* term, unsigned gid) {
    GESK_BUNDLE* bundle = GESK_BUNDLE_SINGLETON::get_bundle();
    bundle->get_port_map_db()->add_entry(W3J3_LOGICAL_PORT_FACTORY::create(term), {1, m_next_value});
    bundle->get_device()->set_port_gid(m_next_value++, gid);
  }
  std::vector<unsigned> slots() const {
    std::vector<unsigned> out;
    for (unsigned g : m_ri->gids(282))
      if (m_ri->is_zota_gid(g)) out.push_back(g);
    return out;
  }
  static void set_p2c(const VOK_ATOM_NODE* atom, const char* value) {
    R5T_INTERFACE::get_or_create_instance()->set_atom_metadata(atom->get_id(), PELK::intern(4, "P2C_ZOTA"),
                                                               PELK::intern(4, value));
  }

  WEXAN_ENV* m_env = nullptr;
  VELMO_EXPERT* m_expert = nullptr;
  WUMP_DIE_INFO* m_die = nullptr;
  const WUMP_ROUTE_INFO* m_ri = nullptr;
  int m_next_value = 1;
};

TEST_F(FinalChecksTest, LutramDataRegisterMustSitInTheNearestLeimSlot) {
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  auto reg = n.zota_reg("dreg").clk(clk).d(n.input_port("din"));
  auto ram = n.lutram("ram").data_in(reg).clk(clk);
  // A register that is not simple (it has an enable) is not checked at all.
  auto busy = n.zota_reg("busy").clk(clk).d(n.input_port("d2")).ce(n.input_port("en"));
  n.lutram("ram2").data_in(busy).clk(clk);
  // Nor is a LUT-RAM with nothing on its data input.
  n.lutram("ram3").clk(clk);

  const std::vector<unsigned> s = slots();
  ASSERT_GE(s.size(), 2u);
  map_port(ram.iterm(DB_INPUT_PORT_LUTRAM_DATA_A), s[0]);

  reg.placed(s[0], 282);
  cfg_set_on("lutram_zota_debug_verbose");
  EXPECT_TRUE(m_expert->final_lutram_check());
  EXPECT_THAT(host::debug::texts(),
              HasDebugLine("Final check: verified data in zota " + std::to_string(reg.id()) + " of lutram " +
                           std::to_string(ram.id()) + " is placed in the closest leim zota " + std::to_string(s[0])));

  reg.placed(s[1], 282);
  auto e = expect_internal_error([&] { m_expert->final_lutram_check(); });
  EXPECT_EQ(e.condition, "Final check failed: data in zota " + std::to_string(reg.id()) + " - dreg of lutram " +
                             std::to_string(ram.id()) + " - ram is not placed in the closest leim zota " +
                             std::to_string(s[0]) + ", but placed at " + std::to_string(s[1]));

  // A register site that is not a LEIM slot fails before any search.
  const unsigned ff_site = m_die->get_place_info()->get_global_id(643, 1, 1, 1);
  reg.placed(ff_site, 643);
  e = expect_internal_error([&] { m_expert->final_lutram_check(); });
  EXPECT_THAT(e.condition, HasSubstr("is placed on " + std::to_string(ff_site) + " which is not LEIM zota"));

  // No slot reachable over fan-ins from the port.
  reg.placed(s[0], 282);
  GESK_BUNDLE_SINGLETON::get_bundle()->get_device()->set_port_gid(1, m_ri->gids(700).front());
  e = expect_internal_error([&] { m_expert->final_lutram_check(); });
  EXPECT_EQ(e.condition, "found");

  // With slots in the long wires too, the nearest slot over the fan-ins of
  // h(0, 0) is a long wire two hops back: the check fails naming that one,
  // not a farther slot that a deeper walk would reach first.
  DeviceSpec spec = host::device::spec();
  spec.wire_pipeline_slots = true;
  host::device::configure(spec);
  using host::testing::gid_of;
  using host::testing::h;
  GESK_BUNDLE_SINGLETON::get_bundle()->get_device()->set_port_gid(1, gid_of(h(0, 0)));
  e = expect_internal_error([&] { m_expert->final_lutram_check(); });
  EXPECT_THAT(e.condition, HasSubstr("closest leim zota " + std::to_string(gid_of(h(1, 1, 1, 0, true))) + ", but"));

  // Only base family 46 is checked.
  spec.family = 48;
  host::device::configure(spec);
  EXPECT_TRUE(m_expert->final_lutram_check());
}

TEST_F(FinalChecksTest, LutramChecksNeedAZotaRegisterAndOnePortEntry) {
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  auto reg = n.reg("plain").clk(clk).d(n.input_port("din"));
  auto ram = n.lutram("ram").data_in(reg).clk(clk);
  auto e = expect_internal_error([&] { m_expert->final_lutram_check(); });
  EXPECT_THAT(e.condition, HasSubstr("data in ff " + std::to_string(reg.id()) + " - plain of lutram " +
                                     std::to_string(ram.id()) + " - ram is not zota"));

  auto n2 = host::testing::netlist();
  auto zreg = n2.zota_reg("z").clk(clk).d(n2.input_port("d3"));
  auto ram2 = n2.lutram("ramz").data_in(zreg).clk(clk);
  zreg.placed(slots()[0], 282);
  reg->apply_operation(VOK_ATOM_OPERATION_FORCE_ZOTA);
  reg.placed(slots()[0], 282);
  map_port(ram.iterm(DB_INPUT_PORT_LUTRAM_DATA_A), slots()[0]);
  // ramz's data input maps to two routing ports.
  map_port(ram2.iterm(DB_INPUT_PORT_LUTRAM_DATA_A), slots()[0]);
  map_port(ram2.iterm(DB_INPUT_PORT_LUTRAM_DATA_A), slots()[1]);
  e = expect_internal_error([&] { m_expert->final_lutram_check(); });
  EXPECT_EQ(e.condition, "std::distance(ihc_jev_port_ids.begin(), ihc_jev_port_ids.end()) == 1");

  cfg_set_on("velmo_skip_final_lutarm_check");
  EXPECT_TRUE(m_expert->final_lutram_check());
}

// The P2C search runs over fan-outs from the periphery port: the register
// passes in the first slot reached, or in a slot fed by the same element as
// that first slot.
// The search for the nearest slot does not go on past a slot. Going on would
// change no verdict: a register passes only in a slot fed by the element
// that feeds the first slot reached, and breadth-first order queues every
// fan-out of that element before it walks the fan-out of any slot. Only the
// failure reported for a register in a slot reached through another slot
// would differ.
TEST_F(FinalChecksTest, P2cRegisterPassesInTheFirstSlotOrASiblingOfIt) {
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  auto periphery = n.input_port("from_periphery");
  auto reg = n.zota_reg("p2c").clk(clk).d(periphery);
  set_p2c(reg, "P2C");
  // A periphery output port that drives the core.
  unsigned port = 0;
  for (unsigned g : m_ri->gids(659)) {
    std::vector<unsigned> out;
    m_die->get_fanout_gids(g, out);
    if (!out.empty() && m_ri->get_name(g).find("out") != std::string::npos) {
      port = g;
      break;
    }
  }
  ASSERT_NE(port, 0u);
  map_port(reg->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0)->get_source(VOK_TRAVERSE_HIERARCHICAL), port);

  // Place the register far away first: the debug lines name the first slot
  // the search reached and the element that feeds it.
  const std::vector<unsigned> s = slots();
  reg.placed(s.back(), 282);
  auto e = expect_internal_error([&] { m_expert->final_p2c2p_zota_check(); });
  EXPECT_EQ(e.condition, "Final check failed: p2c zota " + std::to_string(reg.id()) +
                             " is not placed in the closest zota, but placed at " + std::to_string(s.back()));
  unsigned first = 0, driver = 0;
  for (const std::string& line : host::debug::texts()) {
    if (std::sscanf(line.c_str(), " %u is driven by %u", &first, &driver) == 2 && line.rfind(" --", 0) != 0) break;
  }
  ASSERT_TRUE(m_ri->is_zota_gid(first));
  std::vector<unsigned> driver_fanouts;
  m_die->get_fanout_gids(driver, driver_fanouts);
  ASSERT_NE(std::find(driver_fanouts.begin(), driver_fanouts.end(), first), driver_fanouts.end());

  reg.placed(first, 282);
  EXPECT_TRUE(m_expert->final_p2c2p_zota_check());
  unsigned sibling = 0;
  for (unsigned g : driver_fanouts)
    if (g != first && m_ri->is_zota_gid(g)) sibling = g;
  ASSERT_NE(sibling, 0u);
  reg.placed(sibling, 282);
  EXPECT_TRUE(m_expert->final_p2c2p_zota_check());

  // A register that is not a pipeline register fails at once.
  auto plain = n.reg("plain").clk(clk).d(periphery);
  set_p2c(plain, "P2C");
  e = expect_internal_error([&] { m_expert->final_p2c2p_zota_check(); });
  EXPECT_EQ(e.condition, "Final check failed: p2c ff " + std::to_string(plain.id()) + " - plain is not zota");

  cfg_set_off("velmo_run_p2c2p_zota_check");
  EXPECT_TRUE(m_expert->final_p2c2p_zota_check());
}

// With no register marked for a transfer there is nothing to check, and the
// check passes (finalize reads a false result as a failure). A marked P2C
// register needs a data input driven from the periphery.
TEST_F(FinalChecksTest, P2cC2pCheckPassesWithoutMarkedRegistersAndNeedsADrivenP2cInput) {
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  auto reg = n.zota_reg("p2c").clk(clk);
  reg.placed(slots()[0], 282);
  EXPECT_TRUE(m_expert->final_p2c2p_zota_check());
  set_p2c(reg, "NOT_A_TRANSFER");
  EXPECT_TRUE(m_expert->final_p2c2p_zota_check());

  set_p2c(reg, "P2C");
  auto e = expect_internal_error([&] { m_expert->final_p2c2p_zota_check(); });
  EXPECT_EQ(e.condition, "din_iterm");
  reg->add_input_term(DB_INPUT_PORT_DATA_IN, 0);  // there, but driven by nothing
  e = expect_internal_error([&] { m_expert->final_p2c2p_zota_check(); });
  EXPECT_EQ(e.condition, "periphery_oterm");
}

TEST_F(FinalChecksTest, C2pRegistersOfBothKindsNeedTheNearestSlotOverFanins) {
  // Read once per process: the first check of this test sees it.
  if (!host::testing::in_own_process()) return;
  cfg_set_on("p2c_zota_debug_verbose");
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  auto c2p = n.zota_reg("c2p").clk(clk).d(n.input_port("d"));
  auto esram = n.zota_reg("esram").clk(clk).d(n.input_port("d2"));
  auto sink1 = n.output_port("to_periphery", c2p);
  auto sink2 = n.output_port("to_esram", esram);
  set_p2c(c2p, "C2P");
  set_p2c(esram, "UIB_ESRAM_C2P");
  auto other = n.zota_reg("other").clk(clk).d(n.input_port("d3"));
  set_p2c(other, "SOMETHING_ELSE");

  const std::vector<unsigned> s = slots();
  map_port(sink1->get_iterm_slot(0), s[0]);
  map_port(sink2->get_iterm_slot(0), s[1]);
  c2p.placed(s[0], 282);
  esram.placed(s[1], 282);
  EXPECT_TRUE(m_expert->final_p2c2p_zota_check());
  // The verbose switch lists every register that passed.
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Final check: verified c2p zota " + std::to_string(c2p.id()) +
                                                 " is placed in the closest zota " + std::to_string(s[0])));

  esram.placed(s[2], 282);
  auto e = expect_internal_error([&] { m_expert->final_p2c2p_zota_check(); });
  EXPECT_EQ(e.condition, "Final check failed: c2p zota " + std::to_string(esram.id()) +
                             " - esram is not placed in the closest zota " + std::to_string(s[1]) +
                             ", but placed at " + std::to_string(s[2]));

  // A C2P register without a fanout has no periphery input to start from.
  n.zota_reg("lonely").clk(clk).d(n.input_port("d4"));
  set_p2c(n.find("lonely"), "C2P");
  esram.placed(s[1], 282);
  e = expect_internal_error([&] { m_expert->final_p2c2p_zota_check(); });
  EXPECT_EQ(e.condition, "periphery_iterm");

  // A register that is not a pipeline register fails at once, even in the
  // nearest slot.
  set_p2c(n.find("lonely"), "SOMETHING_ELSE");
  auto plain = n.reg("plain").clk(clk).d(n.input_port("d5"));
  map_port(n.output_port("to_periphery2", plain)->get_iterm_slot(0), s[3]);
  set_p2c(plain, "C2P");
  plain.placed(s[3], 282);
  e = expect_internal_error([&] { m_expert->final_p2c2p_zota_check(); });
  EXPECT_EQ(e.condition, "Final check failed: c2p ff " + std::to_string(plain.id()) + " - plain is not zota");
}

}  // namespace
