// Partition states, more of their rules: a shell cuts its boundary both ways
// (ties, directives), the final restore and what it rebuilds (the bundle's
// netlist, the port map, the recompile's modified ids, inherited
// preservation), and the put-back of a parent made writable.
#include <cstdint>
#include <string>
#include <vector>

#include "bbic_blackbox_fixture.h"
#include "cfg/cfg.h"
#include "common/host_call_log.h"
#include "gesk/gesk_bundle.h"
#include "kiv/kiv_model.h"
#include "pelk/pelk_symbol.h"
#include "r5t/r5t_directives.h"
#include "r5t/r5t_kiv_model.h"
#include "swavo/swavo_recompile_op.h"
#include "velmo_bbic_shell_models.h"
#include "velmo_bbic_shell_routing.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_logical_port.h"
#include "w3j3/w3j3_mapping_model.h"
#include "w3j3/w3j3_port_map_db.h"

namespace {

VOK_ATOM_ITERM* first_input(VOK_ATOM_NODE* a) {
  for (VOK_ATOM_ITERM* t : a->iterms()) return t;
  return nullptr;
}

}  // namespace

// Keeping a1 alone (no ports): a1's output into the hidden la and the output
// port fed by the hidden a2 are both cut. The shell's inputs that lost their
// drivers are tied to ground, never left open, nothing in the shell refers
// to a dropped atom, and the shell's directives forget the hidden la and the
// mapping of a1's output, which now feeds nothing but the cut.
TEST_F(BlackboxTest, ShellCutsItsBoundaryBothWays) {
  KIV_STATE& full = *pa->get_state(JOV_PARTITION::DEFAULT)->get_kiv_state();
  if (R5T_KIV_MODEL* old = velmo_bbic_get_model<R5T_KIV_MODEL>(full, R5T_KIV_MODEL::s_model_type_string))
    full.remove_model(old);
  VOK_ATOM_NODE* a1 = named(full_a(), "a1");
  VOK_ATOM_NODE* la = named(full_a(), "la");
  ASSERT_NE(a1, nullptr);
  ASSERT_NE(la, nullptr);
  ASSERT_NE(first_input(la), nullptr);
  const VOK_ATOM_LOGICAL_PORT la_in = vok_get_logical_port(first_input(la));
  const VOK_ATOM_LOGICAL_PORT a1_out = vok_get_logical_port(a1->get_oterm_slot(0));
  auto* directives = new R5T_DIRECTIVES();
  directives->add_atom_mapping(la_in, PELK::intern(1, "X"));
  directives->add_atom_mapping(a1_out, PELK::intern(1, "Y"));
  auto* r5t = new R5T_KIV_MODEL(directives);
  r5t->set_atom_netlist(full_a());
  r5t->set_path(KIV_PATH({"db", "A", "default", "r5t"}));
  full.add_model(r5t);

  // la away from a1: no local feedback keeps a1's output mapping either way.
  la->set_location(0xFFFFFFFFu, 0);
  VELMO_BBIC_KEEP_SET keep;
  keep.insert(a1);
  create_bbic_states_for_partition(pa, keep, VELMO_BBIC_KEPT_ROUTING());

  ASSERT_NE(named(shell_a(), "a1"), nullptr);
  EXPECT_EQ(named(shell_a(), "la"), nullptr);
  int outputs = 0;
  for (VOK_ATOM_NODE* x : shell_a()->get_atom_list()) {
    for (VOK_ATOM_OTERM* o : x->oterms())
      for (VOK_ATOM_ITERM* f : o->fanout(VOK_TRAVERSE_AS_STORED))
        EXPECT_EQ(f->get_my_node()->get_parent_netlist(), shell_a()) << x->get_string_hpath();
    if (!x->is_port() || !x->is_output()) continue;
    ++outputs;
    for (VOK_ATOM_ITERM* t : x->iterms()) {
      EXPECT_EQ(t->get_source(VOK_TRAVERSE_AS_STORED), nullptr) << x->get_string_hpath();
      EXPECT_TRUE(t->is_tie_low()) << x->get_string_hpath();
    }
  }
  EXPECT_GT(outputs, 0);
  KIV_STATE& shell = *pa->get_state(JOV_PARTITION::BBIC_DEPOPULATED)->get_kiv_state();
  auto* shell_r5t = velmo_bbic_get_model<R5T_KIV_MODEL>(shell, R5T_KIV_MODEL::s_model_type_string);
  ASSERT_NE(shell_r5t, nullptr);
  ASSERT_NE(shell_r5t->get_r5t(), nullptr);
  // No mapping left: none at all, or an empty one.
  auto forgotten = [&](const VOK_ATOM_LOGICAL_PORT& port) {
    const auto* m = shell_r5t->get_r5t()->get_atom_mapping(port);
    return m == nullptr || m->empty();
  };
  EXPECT_TRUE(forgotten(la_in));
  EXPECT_TRUE(forgotten(a1_out));
  // The full state's directives are untouched.
  EXPECT_NE(directives->get_atom_mapping(la_in), nullptr);
  EXPECT_NE(directives->get_atom_mapping(a1_out), nullptr);
}

// The final restore ends blackboxing: the bundle shows the top's full
// netlist again, the recompile's list of modified atoms starts empty, and
// only then. With inherited preservation no preserved parent is made
// writable.
TEST_F(BlackboxTest, FinalRestoreRebuildsTheGlobalView) {
  run();
  GESK_BUNDLE* bundle = GESK_BUNDLE_SINGLETON::get_bundle();
  ASSERT_NE(bundle, nullptr);
  std::vector<unsigned>& modified = SWAVO_RECOMPILE_OP::get_spar_modified_atom_ids();
  modified = {3u, 5u};
  design->set_current_snapshot_str("placed");
  velmo_bbic_restore_state();
  EXPECT_EQ(modified.size(), 2u);
  velmo_bbic_empty_state();
  cfg_set_on("jov_inherit_preservation");
  design->set_current_snapshot_str("final");
  bundle->m_atom_netlist = nullptr;
  velmo_bbic_restore_state();
  EXPECT_FALSE(velmo_bbic_is_active());
  VOK_ATOM_NETLIST* top = design->get_top_partition()->get_state()->get_atom_netlist();
  EXPECT_EQ(bundle->m_atom_netlist, top);
  EXPECT_EQ(VOK_CHIP_DB_ENTRY::current()->get_atom_netlist(), top);
  EXPECT_TRUE(modified.empty());
  // The top is the preserved parent of the recompiled B, but preservation is
  // inherited: it stays read-only, and the finalize put-back has nothing.
  EXPECT_FALSE(top->is_modifiable());
  velmo_bbic_restore_read_only_parent();
  EXPECT_FALSE(top->is_modifiable());
}

// The parent made writable at the final restore is put back to read-only
// only while it is still on the state that was made writable.
TEST_F(BlackboxTest, PutBackOnlyTheStateThatWasMadeWritable) {
  run();
  design->set_current_snapshot_str("final");
  velmo_bbic_restore_state();
  JOV_PARTITION* top = design->get_top_partition();
  ASSERT_TRUE(top->get_state()->get_atom_netlist()->is_modifiable());
  // The top moves to another state of its own, writable, before the put-back.
  top->add_state(JOV_PARTITION::BBIC_DEPOPULATED)->get_atom_netlist();
  top->set_active_state(JOV_PARTITION::BBIC_DEPOPULATED);
  KIV_STATE* other = top->get_state()->get_kiv_state();
  ASSERT_NE(other, nullptr);
  JOV_UTILS::set_read_only_status(*other, false);
  velmo_bbic_restore_read_only_parent();
  EXPECT_TRUE(top->get_state()->get_atom_netlist()->is_modifiable());
  EXPECT_TRUE(top->get_state(JOV_PARTITION::DEFAULT)->get_atom_netlist()->is_modifiable());
}

// The rebuilt port map: at the start of blackboxing it holds what the
// partitions recorded; at the final restore it starts empty and is computed
// from the full netlist, never from the partitions' records. The merged
// constraints are made read-only each time.
TEST_F(BlackboxTest, PortMapComesFromThePartitionsOnlyWhenBlackboxingStarts) {
  GESK_BUNDLE* bundle = GESK_BUNDLE_SINGLETON::get_bundle();
  ASSERT_NE(bundle, nullptr);
  W3J3_PORT_MAP_DB* port_map = bundle->get_port_map_db();
  ASSERT_NE(port_map, nullptr);
  KIV_STATE* kiv = pb->get_state()->get_kiv_state();
  W3J3_MAPPING_MODEL* mapping = velmo_bbic_get_model<W3J3_MAPPING_MODEL>(*kiv, W3J3_MAPPING_MODEL::s_model_type_string);
  if (mapping == nullptr) {
    mapping = new W3J3_MAPPING_MODEL();
    mapping->set_path(KIV_PATH({"db", "B", "default", W3J3_MAPPING_MODEL::s_model_type_string}));
    kiv->add_model(mapping);
  }
  const VOK_ATOM_LOGICAL_PORT recorded(0x7FFFFFF0u, PELK::intern(1, "D"), 0), stale(0x7FFFFFF1u, PELK::intern(1, "D"), 0);
  mapping->get_port_map_db()->add_entry(recorded, {1, 9});
  for (bool from_partitions : {true, false}) {
    port_map->add_entry(stale, {1, 4});
    host::clear_calls();
    process_hybrid_r5t_and_w3j3_models(from_partitions);
    EXPECT_TRUE(port_map->get_port_map_results(stale, 1).empty()) << from_partitions;
    EXPECT_EQ(port_map->get_port_map_results(recorded, 1).size(), from_partitions ? 1u : 0u) << from_partitions;
    EXPECT_EQ(host::call_count("JOV_DATABASE_UTILS::mark_read_only_r5t_constraints"), 1) << from_partitions;
  }
}
