// What a partition's shell state holds besides its netlist (the full
// state's other models, the directives of its kept atoms), the atoms it
// drops being destroyed, the port-map dump of the rebuilt global data, and
// the push-back's split check on partitions that hold no routing.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "bbic_blackbox_fixture.h"
#include "cfg/cfg.h"
#include "gesk/gesk_bundle.h"
#include "kiv/kiv_model.h"
#include "msg/msg_base.h"
#include "pelk/pelk_symbol.h"
#include "r5t/r5t_directives.h"
#include "r5t/r5t_kiv_model.h"
#include "velmo_bbic_shell_models.h"
#include "velmo_bbic_shell_routing.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_routing_model.h"

namespace {

bool holds(const KIV_STATE& state, const KIV_MODEL* model) {
  for (const KIV_MODEL* m : state.get_models())
    if (m == model) return true;
  return false;
}

}  // namespace

TEST_F(BlackboxTest, ShellStartsWithTheFullModelsAndTheDirectivesOfItsAtoms) {
  KIV_STATE& full = *pa->get_state(JOV_PARTITION::DEFAULT)->get_kiv_state();
  auto* extra = new KIV_MODEL();
  extra->set_path(KIV_PATH({"db", "A", "default", "extra"}));
  full.add_model(extra);
  if (R5T_KIV_MODEL* old = velmo_bbic_get_model<R5T_KIV_MODEL>(full, R5T_KIV_MODEL::s_model_type_string))
    full.remove_model(old);
  auto* directives = new R5T_DIRECTIVES();
  auto port = [&](const char* atom) {
    return VOK_ATOM_LOGICAL_PORT(static_cast<std::uint32_t>(named(full_a(), atom)->get_id()), PELK::intern(1, "D"), 0);
  };
  directives->add_atom_mapping(port("a2"), PELK::intern(1, "X"));
  auto* r5t = new R5T_KIV_MODEL(directives);
  r5t->set_atom_netlist(full_a());
  r5t->set_path(KIV_PATH({"db", "A", "default", "r5t"}));
  full.add_model(r5t);

  VELMO_BBIC_KEEP_SET keep;
  for (VOK_ATOM_NODE* x : full_a()->get_atom_list())
    if (x->is_port() || x == named(full_a(), "a2")) keep.insert(x);
  create_bbic_states_for_partition(pa, keep, VELMO_BBIC_KEPT_ROUTING());

  KIV_STATE& shell = *pa->get_state(JOV_PARTITION::BBIC_DEPOPULATED)->get_kiv_state();
  EXPECT_TRUE(holds(shell, extra));
  EXPECT_TRUE(holds(full, extra));
  // The shell's directives are its own copy, on its own netlist, with the
  // kept atom's mapping; the full state's stay as they were.
  auto* shell_r5t = velmo_bbic_get_model<R5T_KIV_MODEL>(shell, R5T_KIV_MODEL::s_model_type_string);
  ASSERT_NE(shell_r5t, nullptr);
  EXPECT_NE(shell_r5t, r5t);
  EXPECT_EQ(shell_r5t->get_atom_netlist(), shell_a());
  EXPECT_EQ(shell_r5t->get_path().get_trie().as_string(), "db/A/default/r5t");
  ASSERT_NE(shell_r5t->get_r5t(), nullptr);
  EXPECT_NE(shell_r5t->get_r5t()->get_atom_mapping(port("a2")), nullptr);
  EXPECT_TRUE(holds(full, r5t));
  EXPECT_NE(r5t->get_r5t()->get_atom_mapping(port("a2")), nullptr);
}

// The merged port map is written out for debugging only when asked for.
TEST_F(BlackboxTest, MergedPortMapIsDumpedOnlyUnderTheHighDebugSwitch) {
  ASSERT_NE(GESK_BUNDLE_SINGLETON::get_bundle(), nullptr);
  ASSERT_NE(GESK_BUNDLE_SINGLETON::get_bundle()->get_port_map_db(), nullptr);
  const std::filesystem::path here = std::filesystem::current_path();
  const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                    ("bbic_port_map_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                                     "_" + std::to_string(reinterpret_cast<std::uintptr_t>(this)));
  std::filesystem::create_directories(dir);
  std::filesystem::current_path(dir);
  process_hybrid_r5t_and_w3j3_models(false);
  const bool without = std::filesystem::exists("post_bbic.port_map");
  cfg_set_on("jov_bbic_debug_high");
  process_hybrid_r5t_and_w3j3_models(false);
  const bool with = std::filesystem::exists("post_bbic.port_map");
  std::filesystem::current_path(here);
  std::filesystem::remove_all(dir);
  EXPECT_FALSE(without);
  EXPECT_TRUE(with);
}

namespace {

class PushCheckTest : public host::testing::EnvTest {};

}  // namespace

// The split check counts what the partitions' routing holds; a partition
// without a routing model holds nothing, and the check still runs.
TEST_F(PushCheckTest, PartitionsWithoutRoutingHoldNothingForTheSplitCheck) {
  host::testing::device(host::testing::Family::KY).build();
  host::testing::scenes::PARTITIONED s = host::testing::scenes::partitioned();
  s.b->get_state()->get_atom_netlist()->set_modifiable(true);
  s.b->set_kind(1);
  ASSERT_EQ(velmo_bbic_get_model<VOK_ROUTING_MODEL>(*s.a->get_state()->get_kiv_state(), "routing"), nullptr);
  cfg_set_on("bbic_debug_routing_push");
  VELMO_BBIC::push_routing_to_partitions();
  int pushed = 0;
  for (const auto& l : host::debug::texts()) pushed += l == "Push routing to partition B";
  EXPECT_EQ(pushed, 1);
  // An element of the chip's network that no partition holds is found.
  JUK::FOREST<int, int>* crf = VOK_CHIP_DB_ENTRY::current()->get_crf_network();
  crf->append_root(crf->create_node(77777));
  EXPECT_EQ(host::testing::expect_internal_error([] { VELMO_BBIC::push_routing_to_partitions(); }).condition,
            "0 == check_for_dropped_gids( &crf )");
}

// The atoms a shell drops are destroyed, not only taken out of its netlist:
// the host's layout log sees each of them go.
TEST_F(BlackboxTest, AtomsTheShellDropsAreDestroyed) {
  JOV_PARTITION* top = design->get_top_partition();
  VOK_ATOM_NETLIST* full_top = top->get_state(JOV_PARTITION::DEFAULT)->get_atom_netlist();
  VELMO_BBIC_KEEP_SET keep;
  for (VOK_ATOM_NODE* x : full_top->get_atom_list())
    if (x->is_port()) keep.insert(x);
  create_bbic_states_for_partition(top, keep, VELMO_BBIC_KEPT_ROUTING());
  VOK_ATOM_NETLIST* shell = top->get_state(JOV_PARTITION::BBIC_DEPOPULATED)->get_atom_netlist();
  ASSERT_LT(shell->size(), full_top->size());
  const std::size_t dropped = full_top->size() - shell->size();
  // Everything logged since the log last started afresh (the shell's load).
  std::uint64_t epoch = 0, seq = 0;
  host::vok::layout_now(&epoch, &seq);
  std::vector<host::vok::LAYOUT_CHANGE> changes;
  for (std::uint64_t from = seq;; --from) {
    std::uint64_t at = from;
    std::vector<host::vok::LAYOUT_CHANGE> since;
    if (!host::vok::layout_changes_since(epoch, &at, &since)) break;
    changes = std::move(since);
    if (from == 0) break;
  }
  std::size_t gone = 0;
  for (const auto& c : changes) gone += c.gone;
  EXPECT_EQ(gone, dropped);
}
