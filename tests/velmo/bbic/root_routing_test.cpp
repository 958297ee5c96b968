// Root routing of a blackboxed run: the merge of the partitions' active
// routing, and the preserved slacks gathered and stored for hidden routing.
#include <algorithm>
#include <string>
#include <vector>

#include "common/host_call_log.h"
#include "jov/jov_design.h"
#include "jov/jov_routing_splitter.h"
#include "kiv/kiv_model.h"
#include "korrin/korrin_router.h"
#include "msg/msg_base.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/partition_builder.h"
#include "tibex/tibex_placer.h"
#include "velmo_bbic_root_routing.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_routing.h"
#include "vok/vok_routing_model.h"

using host::testing::Family;
using host::testing::HostTest;
namespace scenes = host::testing::scenes;

namespace {

class RootRoutingTest : public HostTest {
protected:
  void SetUp() override {
    HostTest::SetUp();
    host::testing::device(Family::KY).build();
    s = scenes::partitioned();
  }
  // Gives the partition's active state a "routing" model holding r.
  static void give_routing(JOV_PARTITION* p, std::unique_ptr<VOK_RE_ROUTING> r) {
    auto* model = new VOK_ROUTING_MODEL({new JUK::FOREST<int, int>(), new JUK::FOREST<int, int>(), new JUK::FOREST<int, int>()});
    model->set_path(KIV_PATH({"db", p->get_name(), "routing"}));
    model->set_routing(std::move(r));
    p->get_state()->get_kiv_state()->add_model(model);
  }
  scenes::PARTITIONED s{};
};

int count_lines(const std::string& text) {
  int n = 0;
  for (const auto& l : host::debug::texts()) n += l == text;
  return n;
}

}  // namespace

TEST_F(RootRoutingTest, MergeRebuildsTheRootFromTheActiveStatesRouting) {
  VOK_RE_ROUTING* root = VOK_CHIP_DB_ENTRY::current()->get_routing();
  VOK_ATOM_NETLIST* flat = s.top->get_state()->get_atom_netlist();
  // No partition has routing: the root ends empty, bound to the design.
  velmo_bbic_merge_re_networks();
  EXPECT_EQ(root->get_live_node_count(), 0);
  EXPECT_EQ(root->get_atom_netlist(), flat);
  ASSERT_TRUE(host::placement::place());
  std::string why;
  ASSERT_TRUE(host::router::route_design(&why)) << why;
  const std::vector<std::string> whole = host::testing::routing_texts(*root);
  const int whole_nodes = root->get_live_node_count();
  ASSERT_GT(whole_nodes, 0);
  auto top_share = JOV_ROUTING_SPLITTER::get_routing_for_partition(s.top);
  for (JOV_PARTITION* p : {s.a, s.b, s.c}) give_routing(p, JOV_ROUTING_SPLITTER::get_routing_for_partition(p));
  // Without the top's share the merge lacks the top-only routing and
  // whatever the root held before is gone.
  velmo_bbic_merge_re_networks();
  EXPECT_LT(root->get_live_node_count(), whole_nodes);
  EXPECT_EQ(root->get_atom_netlist(), flat);
  give_routing(s.top, std::move(top_share));
  host::clear_calls();
  velmo_bbic_merge_re_networks();
  EXPECT_EQ(host::testing::routing_texts(*root), whole);
  // The root is bound hierarchically, each share as stored.
  std::vector<std::string> modes;
  for (const auto& l : host::call_lines())
    if (l.rfind("VOK_RE_ROUTING::attach_atom_netlist(", 0) == 0) modes.push_back(l.substr(l.rfind(' ') + 1));
  EXPECT_THAT(modes, ::testing::ElementsAre("1)", "0)", "0)", "0)", "0)"));
  // The root's terminal maps reach the atoms inside the boxes.
  int inner_sources = 0;
  for (VOK_ATOM_NODE* a : s.a->get_state()->get_atom_netlist()->get_atom_list())
    for (VOK_ATOM_OTERM* o : a->oterms()) inner_sources += root->get_source_node(o) != -1;
  EXPECT_GT(inner_sources, 0);
  // Each share is bound to its own state's netlist.
  auto* model = dynamic_cast<VOK_ROUTING_MODEL*>(s.a->get_state()->get_kiv_state()->get_models().back());
  ASSERT_NE(model, nullptr);
  EXPECT_EQ(model->get_routing()->get_atom_netlist(), s.a->get_state()->get_atom_netlist());
}

TEST_F(RootRoutingTest, PreservedSlacksAreGatheredAndStoredOnlyForHiddenRouting) {
  s.a->get_state()->preserved_slacks() = {{0x80000001u, {5, 6}}, {0x80000002u, {7, 8}}};
  s.c->get_state()->preserved_slacks() = {{0x80000003u, {1, 2}}};
  const VOK_RE_PRESSLACK_CONTAINER all = velmo_bbic_build_preserved_slacks();
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all.records()[0].gid, 0x80000001u);  // design order: A before C
  EXPECT_EQ(all.records()[2].gid, 0x80000003u);
  VOK_CHIP_DB_ENTRY& entry = *VOK_CHIP_DB_ENTRY::current();
  ZMP_HASH_SET_LITE<unsigned int, ZMP_OPS<unsigned int, void>> kept;
  velmo_store_preserved_slacks_on_hidden_routing(entry, kept, all);  // nothing kept: all stored
  EXPECT_EQ(entry.get_preserved_slacks_on_routing_hidden_by_bbic().size(), 3u);
  EXPECT_EQ(count_lines("BBIC Preserved 3 slack records on hidden routing"), 1);
  entry.get_preserved_slacks_on_routing_hidden_by_bbic().clear();
  // One kept element keeps its record off the hidden routing; a kept element
  // without a record changes nothing.
  kept.insert(0x80000002u);
  for (unsigned extra : {0u, 0x80000077u}) {
    if (extra != 0) kept.insert(extra);
    entry.get_preserved_slacks_on_routing_hidden_by_bbic().clear();
    velmo_store_preserved_slacks_on_hidden_routing(entry, kept, all);
    const auto& stored = entry.get_preserved_slacks_on_routing_hidden_by_bbic().records();
    ASSERT_EQ(stored.size(), 2u) << kept.size();
    EXPECT_EQ(stored[0].gid, 0x80000001u);
    EXPECT_EQ(stored[1].gid, 0x80000003u);
  }
  EXPECT_EQ(count_lines("BBIC Preserved 2 slack records on hidden routing"), 2);
  velmo_store_preserved_slacks_on_hidden_routing(entry, kept, VOK_RE_PRESSLACK_CONTAINER());
  EXPECT_EQ(count_lines("BBIC Preserved 0 slack records on hidden routing"), 1);
}
