// Keep-set expansion as a whole: which atoms the wide-LUT pass looks at,
// the logic-module pass run whenever the partition holds a logic module,
// and registers without an output terminal.
#include <functional>
#include <string>

#include "cfg/cfg.h"
#include "jov/jov_design.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/partition_builder.h"
#include "bbic_expand_fixture.h"
#include "velmo_bbic_keep_set.h"
#include "vok/vok_atom_netlist.h"
#include "wump/wump_die_info.h"

using host::testing::Family;
using host::testing::HostTest;
using host::testing::LUT_INPUTS;
using host::testing::NETLIST_BUILDER;

namespace {

bool pass(const LUT_INPUTS& x) { return x[0]; }

class ExpandDriverTest : public velmo_test::ExpandScene {
protected:
  // The partition, its netlist open to changes.
  void partition(const std::function<void(NETLIST_BUILDER&)>& body) {
    ExpandScene::partition(body);
    net()->set_modifiable(true);
  }
  VOK_ATOM_NODE* add(VOK_ATOM_KIND kind, const std::string& name) {
    VOK_ATOM_NODE* a = VOK_ATOM_FACTORY::create_node(kind);
    a->set_name("P|" + name);
    net()->add_node(a);
    return a;
  }
  // An atom of `kind` with seven inputs, driven by the registers
  // <prefix>0 .. <prefix>6.
  VOK_ATOM_NODE* seven_inputs(VOK_ATOM_KIND kind, const std::string& name, const std::string& prefix) {
    VOK_ATOM_NODE* a = add(kind, name);
    a->add_output_term(DB_OUTPUT_PORT_TYPE(0), 0);
    for (int i = 0; i < 7; ++i)
      vok_connect(atom("P|" + prefix + std::to_string(i))->get_oterm_slot(0),
                  a->add_input_term(static_cast<DB_INPUT_PORT_TYPE>(12 + (i % 6)), i / 6));
    return a;
  }
};

}  // namespace

// Only kept LUTs pull in their drivers: a wide LUT outside the keep set and
// a kept atom that is no LUT leave theirs out, whatever their input count.
TEST_F(ExpandDriverTest, OnlyKeptWideLutsKeepTheirDrivers) {
  partition([](NETLIST_BUILDER& c) {
    auto in = c.input("i");
    for (const char* prefix : {"k", "u", "m"})
      for (int i = 0; i < 7; ++i) c.reg(prefix + std::to_string(i)).d(in);
  });
  all_passes_off();
  cfg_set_on("jov_bbic_expand_seven_luts");
  VOK_ATOM_NODE* kept = seven_inputs(VOK_ATOM_KIND::COMB_CELL, "kept", "k");
  seven_inputs(VOK_ATOM_KIND::COMB_CELL, "unkept", "u");
  VOK_ATOM_NODE* mac = seven_inputs(VOK_ATOM_KIND::MAC, "mac", "m");
  VELMO_BBIC_KEEP_SET k;
  k.insert(kept);
  k.insert(mac);
  velmo_bbic_expand_nodes_to_keep(p, net(), k);
  for (int i = 0; i < 7; ++i) {
    EXPECT_TRUE(k.contains(atom("P|k" + std::to_string(i)))) << i;
    EXPECT_FALSE(k.contains(atom("P|u" + std::to_string(i)))) << i;
    EXPECT_FALSE(k.contains(atom("P|m" + std::to_string(i)))) << i;
  }
  EXPECT_EQ(k.size(), 9u);
}

// The logic-module pass has no switch: a partition holding a logic module
// gets its ALMs made whole by the expansion itself, with every other pass
// off; a partition without one is left as it was.
TEST_F(ExpandDriverTest, APartitionWithALogicModuleKeepsWholeAlms) {
  partition([](NETLIST_BUILDER& c) {
    auto in = c.input("i");
    c.reg("r").d(c.lut("drv", {in}, pass));
    c.reg("r2").d(in);
  });
  all_passes_off();
  auto site = [](int sub) { return host::device::die_info()->get_place_info()->get_global_id(0, 3, 3, sub); };
  atom("P|r")->set_location(site(1), 643);
  atom("P|r2")->set_location(site(7), 643);  // another ALM
  VELMO_BBIC_KEEP_SET without;
  without.insert(atom("P|r"));
  velmo_bbic_expand_nodes_to_keep(p, net(), without);
  EXPECT_EQ(without.size(), 1u);

  VOK_ATOM_NODE* m = add(VOK_ATOM_KIND::LOGIC_MODULE, "m");
  m->add_output_term(DB_OUTPUT_PORT_TYPE(0), 0);
  m->set_location(site(0), 644);
  VELMO_BBIC_KEEP_SET k;
  k.insert(atom("P|r"));
  velmo_bbic_expand_nodes_to_keep(p, net(), k);
  EXPECT_TRUE(k.contains(m));
  EXPECT_TRUE(k.contains(atom("P|drv")));
  EXPECT_FALSE(k.contains(atom("P|r2")));
}

// A register without an output terminal drives nothing: it is no register
// driving an output buffer, and as a kept pipeline register it has no
// fanout to keep.
TEST_F(ExpandDriverTest, ARegisterWithoutOutputsHasNoFanoutToKeep) {
  partition([](NETLIST_BUILDER& c) { c.output("o", c.input("i")); });
  VOK_ATOM_NODE* z = add(VOK_ATOM_KIND::PIPELINE_REGISTER, "z");
  EXPECT_FALSE(velmo_bbic_is_ff_driving_io_obuff(z));
  VELMO_BBIC_KEEP_SET k;
  k.insert(z);
  velmo_bbic_expand_ffs(net(), k);
  EXPECT_EQ(k.size(), 1u);
}
