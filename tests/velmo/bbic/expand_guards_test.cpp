// Keep-set expansion: which neighbours a pass may take and which it must
// leave (carry-chain walks, feedback drivers) and the slice passes' device
// check.
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "pelk/pelk_symbol.h"
#include "r5t/r5t_interface.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/partition_builder.h"
#include "velmo_bbic_keep_set.h"
#include "vok/vok_atom_netlist.h"

using host::testing::Family;
using host::testing::HostTest;
using host::testing::LUT_INPUTS;
using host::testing::NETLIST_BUILDER;

namespace {

bool pass(const LUT_INPUTS& x) { return x[0]; }

class ExpandGuardTest : public HostTest {
protected:
  // A partition "P" (drv and other: LUTs on one input; r: a register) under
  // a top partition, on a device whose ALMs have `ale` logic elements.
  void build(int ale = 6) {
    host::testing::device(Family::KY).basic_int_data(32, ale).build();
    NETLIST_BUILDER n = host::testing::netlist();
    auto box = n.blackbox("P", [](NETLIST_BUILDER& c) {
      auto in = c.input("i");
      c.lut("drv", {in}, pass);
      c.lut("other", {in}, pass);
      c.reg("r").d(in);
    });
    host::testing::top_partition();
    p = host::testing::partition("P", box);
    net()->set_modifiable(true);
  }
  VOK_ATOM_NETLIST* net() const { return p->get_state()->get_atom_netlist(); }
  VOK_ATOM_NODE* atom(const std::string& name) const {
    for (VOK_ATOM_NODE* a : net()->get_atom_list())
      if (a->get_string_hpath() == "P|" + name) return a;
    ADD_FAILURE() << "no atom " << name;
    return nullptr;
  }
  // A logic module; with_carry_out gives it output 0, its carry-out.
  VOK_ATOM_NODE* module(const std::string& name, bool with_carry_out = true) {
    VOK_ATOM_NODE* m = VOK_ATOM_FACTORY::create_node(VOK_ATOM_KIND::LOGIC_MODULE);
    m->set_name("P|" + name);
    net()->add_node(m);
    if (with_carry_out) m->add_output_term(DB_OUTPUT_PORT_TYPE(0), 0);
    return m;
  }
  static void carry(VOK_ATOM_NODE* from, VOK_ATOM_NODE* to) {
    vok_connect(from->get_output_term_by_type(DB_OUTPUT_PORT_CARRY_OUT, 0), to->add_input_term(DB_INPUT_PORT_CARRY_IN, 0));
  }
  JOV_PARTITION* p = nullptr;
};

}  // namespace

// One chain pass keeps a kept module's whole carry chain, both ways, up to
// its ends: not one link per pass.
TEST_F(ExpandGuardTest, OneChainPassReachesBothEndsOfTheChain) {
  build();
  std::vector<VOK_ATOM_NODE*> chain;
  for (int i = 0; i < 6; ++i) chain.push_back(module("c" + std::to_string(i)));
  for (int i = 0; i + 1 < 6; ++i) carry(chain[i], chain[i + 1]);
  for (int start : {0, 5, 2}) {
    VELMO_BBIC_KEEP_SET k;
    k.insert(chain[start]);
    EXPECT_TRUE(velmo_bbic_expand_logic_modules_by_chains(net(), k)) << start;
    for (int i = 0; i < 6; ++i) EXPECT_TRUE(k.contains(chain[i])) << "from c" << start << ": c" << i;
    EXPECT_EQ(k.size(), 6u) << start;
    EXPECT_FALSE(velmo_bbic_expand_logic_modules_by_chains(net(), k)) << start;
  }
}

// A carry-out is followed only when it has exactly one fanout: one that
// branches, or a module without a carry-out, leads nowhere forwards.
TEST_F(ExpandGuardTest, CarryOutWithoutExactlyOneFanoutLeadsNowhere) {
  build();
  VOK_ATOM_NODE* fork = module("fork");
  VOK_ATOM_NODE* x = module("x");
  VOK_ATOM_NODE* y = module("y");
  carry(fork, x);
  carry(fork, y);
  VOK_ATOM_NODE* bare = module("bare", false);
  VOK_ATOM_NODE* unused = module("unused");  // a carry-out without fanout
  VELMO_BBIC_KEEP_SET k;
  for (VOK_ATOM_NODE* m : {fork, bare, unused}) k.insert(m);
  EXPECT_FALSE(velmo_bbic_expand_logic_modules_by_chains(net(), k));
  EXPECT_FALSE(k.contains(x));
  EXPECT_FALSE(k.contains(y));
  EXPECT_EQ(k.size(), 3u);
  // Each branch still walks backwards through its carry-in to the fork.
  VELMO_BBIC_KEEP_SET from_branch;
  from_branch.insert(y);
  EXPECT_TRUE(velmo_bbic_expand_logic_modules_by_chains(net(), from_branch));
  EXPECT_TRUE(from_branch.contains(fork));
  EXPECT_FALSE(from_branch.contains(x));
}

// The feedback pass keeps registers only: a feedback-mapped input driven by
// a LUT, or by nothing, adds nothing.
TEST_F(ExpandGuardTest, FeedbackInputsKeepOnlyRegisterDrivers) {
  build();
  VOK_ATOM_NODE* lut = atom("drv");
  const PELK qfb = PELK::intern(1, "QFB");
  VOK_ATOM_ITERM* from_lut = lut->add_input_term(static_cast<DB_INPUT_PORT_TYPE>(13), 0);
  vok_connect(atom("other")->get_oterm_slot(0), from_lut);
  VOK_ATOM_ITERM* open = lut->add_input_term(static_cast<DB_INPUT_PORT_TYPE>(14), 0);
  R5T_INTERFACE::get_instance()->set_atom_mapping(from_lut, {qfb});
  R5T_INTERFACE::get_instance()->set_atom_mapping(open, {qfb});
  for (const char* v : {"jov_bbic_expand_peripheral", "jov_bbic_expand_chains", "jov_bbic_expand_seven_luts",
                        "jov_bbic_expand_lutram_fanout", "jov_bbic_expand_lutram_slices", "jov_bbic_expand_ffs",
                        "jov_bbic_expand_global_fanout"})
    cfg_set_off(v);
  VELMO_BBIC_KEEP_SET k;
  k.insert(lut);
  velmo_bbic_expand_nodes_to_keep(p, net(), k);
  EXPECT_FALSE(k.contains(atom("other")));
  EXPECT_EQ(k.size(), 1u);
  // The same input driven by a register keeps it.
  VOK_ATOM_ITERM* from_reg = lut->add_input_term(static_cast<DB_INPUT_PORT_TYPE>(15), 0);
  vok_connect(atom("r")->get_oterm_slot(0), from_reg);
  R5T_INTERFACE::get_instance()->set_atom_mapping(from_reg, {qfb});
  velmo_bbic_expand_nodes_to_keep(p, net(), k);
  EXPECT_TRUE(k.contains(atom("r")));
  EXPECT_FALSE(k.contains(atom("other")));
  EXPECT_EQ(k.size(), 2u);
}

// The LUT-RAM slice pass needs six logic elements per ALM; the RAM and
// bypassed-register slice passes do not ask.
TEST_F(ExpandGuardTest, OnlyTheLutRamSlicePassWantsSixElementsPerAlm) {
  build(8);
  cfg_set_on("jov_bbic_expand_ram_slices");
  cfg_set_on("jov_bbic_expand_bypassed_ffs");
  VELMO_BBIC_KEEP_SET k;
  k.insert(atom("drv"));
  velmo_bbic_expand_ram_slices(net(), k);
  velmo_bbic_expand_bypassed_ffs(net(), k);
  EXPECT_EQ(k.size(), 1u);
  EXPECT_EQ(host::testing::expect_internal_error([&] { velmo_bbic_expand_lutram_slices(net(), k); }).condition,
            "ale_size == 6");
  // Switched off, the pass asks nothing.
  cfg_set_off("jov_bbic_expand_lutram_slices");
  velmo_bbic_expand_lutram_slices(net(), k);
  EXPECT_EQ(k.size(), 1u);
}
