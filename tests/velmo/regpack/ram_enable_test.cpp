// RAM-enable gates: the family's LUT gates, their names, masks, netlist and
// partition, and the host passes that put them in front of RAM enables.
#include <string>
#include <vector>

#include "cmp/cmp_facade.h"
#include "common/host_call_log.h"
#include "omz/omz_instance_name.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "vok/vok_re_logical_port.h"
#include "tibex/tibex_env.h"
#include "velmo_ram_enable_conversion_util.h"
#include "vok/vok_atom_netlist.h"
#include "wexan/wexan_bpm.h"
#include "wexan/wexan_env.h"
#include "wexan/wexan_utilities.h"

using host::testing::DEVICE_BUILDER;
using host::testing::Family;
using host::testing::HostTest;

namespace {

class RamEnableTest : public HostTest {
protected:
  void make(int family) {
    DEVICE_BUILDER(family).build();
    m_env = new WEXAN_ENV(CMP_FACADE::current(), 0, nolt_device_factory_fn);
    m_util = VELMO_RAM_ENABLE_CONVERSION_UTIL::create_utility();
  }
  void TearDown() override {
    if (m_util) {
      NOLT_RAM_ENABLE_CONVERSION_UTIL::destroy_utility();
      TIBEX_ENV::set_ram_enable_conversion_util(nullptr);
    }
    delete m_env;
    HostTest::TearDown();
  }
  WEXAN_ENV* m_env = nullptr;
  VELMO_RAM_ENABLE_CONVERSION_UTIL* m_util = nullptr;
};

std::string name_of(const VOK_ATOM_NODE* a) { return a->get_instance_name()->path(); }

}  // namespace

TEST_F(RamEnableTest, GatesAreNamedUniquelyWithTheirMasks) {
  make(Family::KX);
  auto n = host::testing::netlist();
  auto ram = n.ram("m");
  EXPECT_EQ(TIBEX_ENV::get_ram_enable_conversion_util(), m_util);
  EXPECT_EQ(NOLT_RAM_ENABLE_CONVERSION_UTIL::get_utility(), m_util);

  VOK_ATOM_NODE* and1 = m_util->create_2_input_and_gate_atom(ram);
  VOK_ATOM_NODE* and2 = m_util->create_2_input_and_gate_atom(ram);
  VOK_ATOM_NODE* orr = m_util->create_2_input_or_gate_atom(ram);
  VOK_ATOM_NODE* dual = m_util->create_dual_gate_atom(ram);
  EXPECT_EQ(name_of(and1), "m~RAM_ENABLE_AND");
  EXPECT_EQ(name_of(and2), "m~RAM_ENABLE_AND~1");
  EXPECT_EQ(name_of(orr), "m~RAM_ENABLE_OR");
  EXPECT_EQ(name_of(dual), "m~RAM_ENABLE_DUAL");
  EXPECT_EQ(and1->get_lutmask().get_value(), 0x1111111111111111ull);
  EXPECT_EQ(orr->get_lutmask().get_value(), 0x7777777777777777ull);
  EXPECT_EQ(dual->get_lutmask().get_value(), 0x0707070707070707ull);
  for (VOK_ATOM_NODE* g : {and1, and2, orr, dual}) {
    EXPECT_TRUE(g->is_lcell_comb());
    EXPECT_EQ(g->get_parent_netlist(), ram->get_parent_netlist());
    EXPECT_NE(g->get_instance_name()->get_flags() & 0x4000u, 0u);
    ASSERT_NE(g->get_output_term_by_type(DB_OUTPUT_PORT_COMB, 0), nullptr);
    EXPECT_EQ(g->get_iterm_slot_count(), 0u);
  }
  EXPECT_EQ(m_util->get_netlist_mod_table()->rows().size(), 4u);
  EXPECT_EQ(m_util->get_netlist_mod_table()->rows()[1][0], "m~RAM_ENABLE_AND~1");
  EXPECT_EQ(m_util->get_netlist_mod_table()->rows()[1][2], "1");  // an added atom
  // The port column holds the output port type's platform symbol.
  EXPECT_EQ(m_util->get_netlist_mod_table()->rows()[1][3], vok_output_port_symbol(DB_OUTPUT_PORT_COMB).cname());
  EXPECT_THAT(host::call_lines(), CallSequence(std::vector<std::string>{
                                      "WEXAN_DESIGN::insert_atom(atom#" + std::to_string(and1->get_id()) + ", true)",
                                      "WEXAN_DESIGN::insert_atom(atom#" + std::to_string(and2->get_id()) + ", true)"}));

  // The other factories offer nothing.
  EXPECT_EQ(m_util->create_1_input_inverter_atom(ram), nullptr);
  EXPECT_EQ(m_util->create_4_input_or_gate_atom(ram), nullptr);
  EXPECT_EQ(m_util->create_dff_atom(ram), nullptr);
  EXPECT_EQ(m_util->create_dffe_atom(ram), nullptr);
  EXPECT_EQ(host::testing::expect_internal_error([&] { m_util->create_2_input_or_gate_atom(nullptr); }).condition,
            "atom != NULL");
  const HOST_INTERNAL_ERROR twice =
      host::testing::expect_internal_error([] { VELMO_RAM_ENABLE_CONVERSION_UTIL::create_utility(); });
  EXPECT_EQ(twice.condition, "s_utility == NULL");
  EXPECT_EQ(twice.tag, "VELMO");
  EXPECT_EQ(twice.file, "velmo_ram_enable_conversion_util");
}

TEST_F(RamEnableTest, GateLandsInTheRamsNetlistAndPartition) {
  make(Family::KX15);
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* inner = nullptr;
  n.blackbox("u", [&](auto& c) { inner = c.ram("m2"); });
  ASSERT_NE(inner, nullptr);
  host::wexan::set_boundary_port_manager(true);
  m_env->get_boundary_port_manager()->assign_atom_to_partition(inner, 3);
  VOK_ATOM_NODE* g = m_util->create_2_input_and_gate_atom(inner);
  EXPECT_EQ(g->get_parent_netlist(), inner->get_parent_netlist());
  EXPECT_EQ(m_env->get_boundary_port_manager()->get_partition_id(g), 3);

  auto outside = n.ram("m3");
  EXPECT_EQ(host::testing::expect_internal_error([&] { m_util->create_dual_gate_atom(outside); }).condition,
            "pid != BPM_OPEN");
}

TEST_F(RamEnableTest, OtherFamiliesAreRefused) {
  make(Family::KY);
  auto n = host::testing::netlist();
  auto ram = n.ram("m");
  // Each gate, the dual one too, checks the family; the error names this
  // component and file.
  for (auto create : {&VELMO_RAM_ENABLE_CONVERSION_UTIL::create_2_input_and_gate_atom,
                      &VELMO_RAM_ENABLE_CONVERSION_UTIL::create_2_input_or_gate_atom,
                      &VELMO_RAM_ENABLE_CONVERSION_UTIL::create_dual_gate_atom}) {
    const HOST_INTERNAL_ERROR e = host::testing::expect_internal_error([&] { (m_util->*create)(ram); });
    EXPECT_EQ(e.condition, "Unsupported family");
    EXPECT_EQ(e.tag, "VELMO");
    EXPECT_EQ(e.file, "velmo_ram_enable_conversion_util");
  }
}

TEST_F(RamEnableTest, ConversionPassesUseTheFactories) {
  make(Family::KX);
  auto n = host::testing::netlist();
  auto we = n.input_port("we");
  auto re = n.input_port("re");
  auto ram = n.ram("m");
  ram.input(static_cast<DB_INPUT_PORT_TYPE>(41), 0, we);
  ram.input(static_cast<DB_INPUT_PORT_TYPE>(42), 1, re);
  EXPECT_TRUE(m_util->do_any_block_rams_need_netlist_updates());
  EXPECT_TRUE(m_util->perform_ram_enable_conversion());
  // Port A's write enable now comes through an AND gate, port B's read enable
  // through an OR gate; each gate takes the old enable on input 0.
  VOK_ATOM_NODE* wren_gate =
      ram.iterm(static_cast<DB_INPUT_PORT_TYPE>(41), 0)->get_source(VOK_TRAVERSE_AS_STORED)->get_my_node();
  VOK_ATOM_NODE* rden_gate =
      ram.iterm(static_cast<DB_INPUT_PORT_TYPE>(42), 1)->get_source(VOK_TRAVERSE_AS_STORED)->get_my_node();
  EXPECT_EQ(name_of(wren_gate), "m~RAM_ENABLE_AND");
  EXPECT_EQ(name_of(rden_gate), "m~RAM_ENABLE_OR");
  EXPECT_EQ(wren_gate->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0)->get_source(VOK_TRAVERSE_AS_STORED),
            we.oterm);
  EXPECT_EQ(rden_gate->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0)->get_source(VOK_TRAVERSE_AS_STORED),
            re.oterm);
}
