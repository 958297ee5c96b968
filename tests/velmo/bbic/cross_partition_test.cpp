// Routing between a preserved parent and its re-fitted children: the
// stitched networks and their modifier, and the removal that drives it.
#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "common/host_call_log.h"
#include "gesk/gesk_bundle.h"
#include "jov/jov_design.h"
#include "kiv/kiv_model.h"
#include "msg/msg_base.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/partition_builder.h"
#include "testing/partition_settings.h"
#include "velmo_bbic_root_routing.h"
#include "velmo_bbic_shell_models.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_re_logical_port.h"
#include "vok/vok_re_stitched_network.h"
#include "vok/vok_routing_model.h"
#include "w3j3/w3j3_port_map_db.h"

using host::testing::Family;
using host::testing::HostTest;
namespace scenes = host::testing::scenes;
using NETWORK = JUK::FOREST<int, int>;

namespace {

int count_lines(const std::string& text) {
  int n = 0;
  for (const auto& l : host::debug::texts()) n += l == text;
  return n;
}

std::string term(const VOK_ATOM_LOGICAL_PORT& p) {
  return "atom#" + std::to_string(p.get_atom_id()) + "." + std::to_string(p.get_port().index()) + "[" +
         std::to_string(p.get_index()) + "]";
}

VOK_ATOM_NODE* atom_named(VOK_ATOM_NETLIST* n, const std::string& path) {
  // By name, with or without the partition's prefix.
  for (VOK_ATOM_NODE* x : n->nodes(VOK_TRAVERSE_HIERARCHICAL)) {
    const std::string h = x->get_string_hpath();
    if (h == path || (h.size() > path.size() && h.compare(h.size() - path.size() - 1, std::string::npos, "|" + path) == 0))
      return x;
  }
  return nullptr;
}

VOK_ATOM_ITERM* data_in(VOK_ATOM_NODE* x) {
  return x != nullptr ? x->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0) : nullptr;
}

VOK_ATOM_OTERM* first_out(VOK_ATOM_NODE* x) {
  for (VOK_ATOM_OTERM* o : x->oterms()) return o;
  return nullptr;
}

// ---- the modifier on hand-made networks ------------------------------------

class StitchedModifierTest : public HostTest {
protected:
  void SetUp() override {
    HostTest::SetUp();
    host::testing::device(Family::KY).build();
    auto n = host::testing::netlist();
    auto clk = n.io_in("clk");
    auto src = n.reg("s").clk(clk).d(n.io_in("in"));
    for (const char* name : {"t1", "t2", "t3"}) n.reg(name).clk(clk).d(src);
    VOK_ATOM_NETLIST* top = host::vok::top_netlist();
    o = first_out(atom_named(top, "s"));
    for (const char* name : {"t1", "t2", "t3"}) t.push_back(data_in(atom_named(top, name)));
    db = GESK_BUNDLE_SINGLETON::get_bundle()->get_port_map_db();
    pm = W3J3_PORT_MAP_INTERFACE::get_instance(db, nullptr);
    // crf: A -> B -> {C, D}, F -> G (a stitch fed from blc E).
    a = crf.create_node(1), b = crf.create_node(2), c = crf.create_node(3), d = crf.create_node(4);
    f = crf.create_node(6), g = crf.create_node(7);
    crf.append_root(a), crf.append_child(a, b), crf.append_child(b, c), crf.append_child(b, d);
    crf.append_root(f), crf.append_child(f, g);
    e = blc.create_node(5), blc.append_root(e);
    link(o, 1, a), link(t[0], 1, c), link(t[1], 1, d), link(t[2], 1, g), link(t[2], 0, e);
  }
  template <class T> void link(const T* term, int network, int node) {
    db->add_entry(vok_get_logical_port(term), {VOK_RE_NETWORK_NODE_MAP_TYPE, network << 28 | node});
  }
  std::unique_ptr<VOK_RE_STITCHED_NETWORK_MODIFIER> modifier() {
    return std::make_unique<VOK_RE_STITCHED_NETWORK_MODIFIER>(nullptr, &blc, &fcd, &crf, nullptr, pm);
  }
  static auto never() {
    return [](unsigned) { return false; };
  }
  NETWORK blc, crf, fcd;
  W3J3_PORT_MAP_DB* db = nullptr;
  W3J3_PORT_MAP_INTERFACE* pm = nullptr;
  VOK_ATOM_OTERM* o = nullptr;
  std::vector<VOK_ATOM_ITERM*> t;
  int a = 0, b = 0, c = 0, d = 0, e = 0, f = 0, g = 0;
};

TEST_F(StitchedModifierTest, SinksClimbUntilSharedOrStoppedAndAcrossStitches) {
  auto m = modifier();
  m->remove_connectivity_for_iterm(t[0], never());
  EXPECT_FALSE(crf.is_erased(c));  // nothing before the commit
  m->commit();
  EXPECT_TRUE(crf.is_erased(c));
  EXPECT_FALSE(crf.is_erased(b));  // B still serves D
  // Two sinks of one net in one commit leave no chain behind.
  m->remove_connectivity_for_iterm(t[1], never());
  m->remove_connectivity_for_iterm(t[2], never());
  m->commit();
  EXPECT_EQ(vok_re_network_size(crf), 0u);
  EXPECT_EQ(vok_re_network_size(blc), 0u);
}

TEST_F(StitchedModifierTest, StopElementEndsTheClimbBelowIt) {
  auto m = modifier();
  // The predicate sees routing-element ids with bit 31.
  auto at_b = [](unsigned id) { return id == (0x80000000u | 2u); };
  m->remove_connectivity_for_iterm(t[1], at_b);
  m->remove_connectivity_for_iterm(t[0], at_b);
  m->commit();
  EXPECT_TRUE(crf.is_erased(d));
  EXPECT_TRUE(crf.is_erased(c));
  EXPECT_FALSE(crf.is_erased(b));
  // A stop in one network keeps the upstream networks too.
  m->remove_connectivity_for_iterm(t[2], [](unsigned id) { return id == (0x80000000u | 6u); });
  m->commit();
  EXPECT_TRUE(crf.is_erased(g));
  EXPECT_FALSE(crf.is_erased(f));
  EXPECT_FALSE(blc.is_erased(e));
}

TEST_F(StitchedModifierTest, OutputTermKeepsOnlyThePathsToListedSinks) {
  auto m = modifier();
  std::vector<VOK_ATOM_ITERM*> keep{t[0]};
  m->remove_connectivity_for_oterm(o, &keep);
  m->commit();
  EXPECT_FALSE(crf.is_erased(a) || crf.is_erased(b) || crf.is_erased(c));
  EXPECT_TRUE(crf.is_erased(d));
  m->remove_connectivity_for_oterm(o, nullptr);
  m->commit();
  EXPECT_TRUE(crf.is_erased(a));
  EXPECT_FALSE(crf.is_erased(f));  // another net's tree
}

// ---- removal in a partitioned design -----------------------------------------

class CrossPartitionTest : public HostTest {
protected:
  // "|" preserved (pads, r0, r1, r2) around B (b1 and b2, re-fitted) and C
  // (c1, preserved): r0 feeds b1, r2 and c1, b1 feeds r1, c1 feeds r3;
  // b2 has a clock and an input of its own.
  void build() {
    host::testing::device(Family::KY).build();
    auto n = host::testing::netlist();
    auto clk = n.io_in("clk");
    auto r0 = n.reg("r0").clk(clk).d(n.io_in("in"));
    auto b1 = n.reg("b1").clk(clk).d(r0);
    n.io_out("o1", n.reg("r1").clk(clk).d(b1));
    n.io_out("o2", n.reg("r2").clk(clk).d(r0));
    n.io_out("o3", n.reg("b2").clk(n.io_in("clk2")).d(n.io_in("in2")));
    n.io_out("o4", n.reg("r3").clk(clk).d(n.reg("c1").clk(clk).d(r0)));
    host::testing::PARTITION_SETTING top, b, c;
    top.name = "|", b.name = "B", b.atoms = {"b1", "b2"}, c.name = "C", c.atoms = {"c1"};
    top.preserved = c.preserved = true;
    std::vector<host::testing::PARTITION_SETTING> ps{top, b, c};
    play(ps);
  }
  // "|" preserved around P (preserved) which holds Q (re-fitted) and R
  // (preserved): P's clock port feeds p1, Q and R, its input port p1 and R;
  // p1 feeds Q.
  void build_nested() {
    host::testing::device(Family::KY).build();
    auto n = host::testing::netlist();
    auto clk = n.io_in("clk");
    auto in = n.io_in("in");
    auto p1 = n.reg("p1").clk(clk).d(in);
    n.io_out("o1", n.reg("q1").clk(clk).d(p1));
    n.io_out("o2", n.reg("s1").clk(clk).d(in));
    host::testing::PARTITION_SETTING top, p, q, r;
    top.name = "|", p.name = "P", p.atoms = {"p1"};
    q.name = "Q", q.atoms = {"q1"}, q.parent = "P";
    r.name = "R", r.atoms = {"s1"}, r.parent = "P";
    top.preserved = p.preserved = r.preserved = true;
    std::vector<host::testing::PARTITION_SETTING> ps{top, p, q, r};
    play(ps);
  }
  void play(const std::vector<host::testing::PARTITION_SETTING>& ps) {
    host::testing::apply_partition_settings(ps, "test");
    std::string why;
    ASSERT_TRUE(host::testing::play_earlier_compile(ps, &why)) << why;
  }
  VOK_ROUTING_MODEL* top_model() {
    JOV_PARTITION* top = JOV_ROOT::get()->get_design("")->get_top_partition();
    return velmo_bbic_get_model<VOK_ROUTING_MODEL>(*top->get_state()->get_kiv_state(), "routing");
  }
  VOK_ATOM_NETLIST* flat() { return JOV_ROOT::get()->get_design("")->get_top_partition()->get_state()->get_atom_netlist(); }
  // The live network nodes linked to a terminal.
  template <class T> std::vector<std::pair<int, int>> live_links(const T* term) {
    std::vector<std::pair<int, int>> out;
    W3J3_PORT_MAP_DB* db = GESK_BUNDLE_SINGLETON::get_bundle()->get_port_map_db();
    for (const auto& en : db->get_port_map_results(vok_get_logical_port(term), VOK_RE_NETWORK_NODE_MAP_TYPE)) {
      const int k = en.value >> 28, node = en.value & 0x0FFFFFFF;
      if (!top_model()->get_network(k)->is_erased(node)) out.push_back({k, node});
    }
    return out;
  }
  template <class T> int links(const T* term) {
    return static_cast<int>(GESK_BUNDLE_SINGLETON::get_bundle()
                                ->get_port_map_db()
                                ->get_port_map_results(vok_get_logical_port(term), VOK_RE_NETWORK_NODE_MAP_TYPE)
                                .size());
  }
  std::string sizes(const char* when) {
    VOK_ROUTING_MODEL* m = top_model();
    return std::string(when) + ": blc=" + std::to_string(vok_re_network_size(*m->get_network(0))) +
           ", fcd=" + std::to_string(vok_re_network_size(*m->get_network(2))) +
           ", crf=" + std::to_string(vok_re_network_size(*m->get_network(1)));
  }
};

TEST_F(CrossPartitionTest, ConnectionsToTheRefittedChildLeaveTheParentsNetworks) {
  build();
  VOK_ATOM_ITERM* r1_d = data_in(atom_named(flat(), "r1"));
  VOK_ATOM_ITERM* r2_d = data_in(atom_named(flat(), "r2"));
  VOK_ATOM_ITERM* b1_d = data_in(atom_named(flat(), "b1"));
  VOK_ATOM_ITERM* c1_d = data_in(atom_named(flat(), "c1"));
  VOK_ATOM_OTERM* r0_q = first_out(atom_named(flat(), "r0"));
  ASSERT_TRUE(r1_d && r2_d && b1_d && c1_d && r0_q);
  // The earlier compile's networks reach the child's sinks and sources.
  ASSERT_GT(links(r1_d), 0);
  ASSERT_GT(links(b1_d), 0);
  // B's own clock and input reach it through all three networks.
  VOK_ATOM_OTERM* clk_q = first_out(atom_named(flat(), "clk~ibuf"));
  VOK_ATOM_OTERM* clk2_q = first_out(atom_named(flat(), "clk2~ibuf"));
  VOK_ATOM_OTERM* in2_q = first_out(atom_named(flat(), "in2~ibuf"));
  VOK_ATOM_ITERM* r3_d = data_in(atom_named(flat(), "r3"));
  ASSERT_TRUE(clk_q && clk2_q && in2_q && r3_d);
  std::set<int> networks;
  for (auto* own : {clk2_q, in2_q})
    for (auto [k, node] : live_links(own)) networks.insert(k);
  EXPECT_EQ(networks, (std::set<int>{0, 1, 2}));
  const auto clk_links = live_links(clk_q), r3_links = live_links(r3_d);
  ASSERT_FALSE(r3_links.empty());
  // An input left unconnected is passed over.
  atom_named(flat(), "r2")->add_input_term(static_cast<DB_INPUT_PORT_TYPE>(12), 0);
  const std::string before = sizes("BEFORE");
  host::clear_calls();
  remove_cross_partition_routing();
  EXPECT_EQ(count_lines(before), 1);
  EXPECT_EQ(count_lines(sizes("AFTER")), 1);
  EXPECT_NE(before, sizes("BEFORE"));
  // The parent atom fed by the child asks for its input term with the stop
  // test; r0 feeding the child keeps only its fixed sinks r2 and c1.
  const std::vector<std::string> lines = host::call_lines();
  auto has = [&](const std::string& s) { return std::find(lines.begin(), lines.end(), s) != lines.end(); };
  EXPECT_TRUE(has("VOK_RE_STITCHED_NETWORK_MODIFIER::remove_connectivity_for_iterm(" +
                  term(vok_get_logical_port(r1_d)) + ", true)"));
  EXPECT_TRUE(has("VOK_RE_STITCHED_NETWORK_MODIFIER::remove_connectivity_for_oterm(" +
                  term(vok_get_logical_port(r0_q)) + ", [" + term(vok_get_logical_port(r2_d)) + " " +
                  term(vok_get_logical_port(c1_d)) + "])"));
  EXPECT_TRUE(has("VOK_RE_STITCHED_NETWORK_MODIFIER::commit()"));
  EXPECT_TRUE(live_links(r1_d).empty());
  EXPECT_FALSE(live_links(r2_d).empty());
  // What served B alone is gone from every network; the clock B shares keeps
  // all it had, and so does r3, which C (not re-fitted) drives.
  EXPECT_TRUE(live_links(clk2_q).empty());
  EXPECT_TRUE(live_links(in2_q).empty());
  EXPECT_EQ(live_links(clk_q), clk_links);
  EXPECT_EQ(live_links(r3_d), r3_links);
  // What is left of b1's input lies on the path to r2.
  for (auto [k, node] : live_links(b1_d)) {
    bool on_r2_path = false;
    for (auto [k2, n2] : live_links(r2_d))
      for (int x = n2; x != -1 && k2 == k; x = top_model()->get_network(k)->parent(x)) on_r2_path |= x == node;
    EXPECT_TRUE(on_r2_path);
  }
}

TEST_F(CrossPartitionTest, NothingToDoWithoutAParentOfRefittedChildren) {
  host::testing::device(Family::KY).build();
  scenes::PARTITIONED s = scenes::partitioned();
  s.b->get_state()->get_atom_netlist()->set_modifiable(false);
  // A recompiled top has no parent: it is never a refitted child.
  s.top->get_state()->get_atom_netlist()->set_modifiable(true);
  host::gesk::load(false, false);  // any database access would stop the run
  host::clear_calls();
  remove_cross_partition_routing();
  EXPECT_EQ(host::call_count("VOK_RE_STITCHED_NETWORK_MODIFIER::VOK_RE_STITCHED_NETWORK_MODIFIER"), 0);
  // A refitted child whose state is not loaded does not count either.
  s.top->get_state()->get_atom_netlist()->set_modifiable(false);
  s.b->get_state()->get_atom_netlist()->set_modifiable(true);
  s.b->clear_active_state();
  remove_cross_partition_routing();
  EXPECT_EQ(host::call_count("VOK_RE_STITCHED_NETWORK_MODIFIER::VOK_RE_STITCHED_NETWORK_MODIFIER"), 0);
  // Nor does a refitted child of a refitted parent.
  s.b->set_active_state(JOV_PARTITION::DEFAULT);
  s.top->get_state()->get_atom_netlist()->set_modifiable(true);
  remove_cross_partition_routing();
  EXPECT_EQ(host::call_count("VOK_RE_STITCHED_NETWORK_MODIFIER::VOK_RE_STITCHED_NETWORK_MODIFIER"), 0);
}

TEST_F(CrossPartitionTest, OneParentOnlyAndBoxSourcesOnlyWhenGlobal) {
  host::testing::device(Family::KY).build();
  scenes::PARTITIONED s = scenes::partitioned();
  // Without a loaded bundle there is no port map to find the routing by.
  host::gesk::load(false, false);
  EXPECT_EQ(host::testing::expect_internal_error([] { remove_cross_partition_routing(); }).condition, "bundle");
  host::gesk::load(true, false);
  // A parent without a routing model has no connections to cut.
  host::clear_calls();
  remove_cross_partition_routing();
  EXPECT_EQ(host::call_count("VOK_RE_STITCHED_NETWORK_MODIFIER::VOK_RE_STITCHED_NETWORK_MODIFIER"), 0);
  auto* model = new VOK_ROUTING_MODEL({new NETWORK(), new NETWORK(), new NETWORK()});
  model->set_path(KIV_PATH({"db", "|", "routing"}));
  s.top->get_state()->get_kiv_state()->add_model(model);
  // B is fed by box A: not global, so the run stops.
  EXPECT_EQ(host::testing::expect_internal_error([] { remove_cross_partition_routing(); }).condition,
            "!src_node->is_box()");
  VOK_ATOM_NODE* box_b = s.b->get_state()->get_atom_netlist()->get_parent_box();
  VOK_ATOM_OTERM* a_q = nullptr;
  for (VOK_ATOM_ITERM* t : box_b->iterms()) {
    VOK_ATOM_OTERM* src = t->get_source(VOK_TRAVERSE_AS_STORED);
    if (src != nullptr && src->get_my_node()->is_box()) a_q = src;
  }
  ASSERT_NE(a_q, nullptr);
  a_q->get_first_fanout(VOK_TRAVERSE_AS_STORED)->set_connection_code(5);
  host::clear_calls();
  remove_cross_partition_routing();
  EXPECT_EQ(host::call_count("VOK_RE_STITCHED_NETWORK_MODIFIER::commit"), 1);
  // A second preserved parent with a re-fitted child.
  s.c->get_state()->get_atom_netlist()->set_modifiable(true);
  EXPECT_EQ(host::testing::expect_internal_error([] { remove_cross_partition_routing(); }).condition,
            "work.size() == 1U");
  // A re-fitted A feeding the preserved B: a box of the parent fed by a
  // re-fitted one stops the run, after naming the pair.
  s.c->get_state()->get_atom_netlist()->set_modifiable(false);
  s.b->get_state()->get_atom_netlist()->set_modifiable(false);
  s.a->get_state()->get_atom_netlist()->set_modifiable(true);
  EXPECT_EQ(host::testing::expect_internal_error([] { remove_cross_partition_routing(); }).condition,
            "!modifiable_children.exists( src_node )");
  EXPECT_EQ(count_lines("Found box -> box connection " + std::to_string(s.a->get_box()->get_id()) + " -> " +
                        std::to_string(box_b->get_id()) + " (A -> B)"),
            1);
}

TEST_F(CrossPartitionTest, PortSourcesOfANestedParentOnlyWhenGlobal) {
  build_nested();
  JOV_DESIGN* design = JOV_ROOT::get()->get_design("");
  JOV_PARTITION* p = design->find_partition_by_name("P");
  ASSERT_NE(p, nullptr);
  VOK_ATOM_NETLIST* inside = p->get_state()->get_atom_netlist();
  VOK_ATOM_NODE *box_q = nullptr, *box_r = nullptr;
  for (VOK_ATOM_NODE* x : inside->get_atom_list()) {
    if (x->is_box() && x->get_string_hpath() == "Q") box_q = x;
    if (x->is_box() && x->get_string_hpath() == "R") box_r = x;
  }
  ASSERT_TRUE(box_q && box_r);
  std::vector<VOK_ATOM_NODE*> ports;  // P's input ports, in R's input order
  for (VOK_ATOM_ITERM* t : box_r->iterms()) ports.push_back(t->get_source(VOK_TRAVERSE_AS_STORED)->get_my_node());
  ASSERT_EQ(ports.size(), 2u);
  ASSERT_TRUE(ports[0]->is_port() && ports[1]->is_port());
  // P's clock port feeds the re-fitted Q through an ordinary connection:
  // the run stops.
  EXPECT_EQ(host::testing::expect_internal_error([] { remove_cross_partition_routing(); }).condition,
            "!src_node->is_port()");
  // A global one is the clock routing's: passed over. The ports feeding the
  // preserved R are named, one line each, and nothing is asked of them.
  VOK_ATOM_OTERM* clk_port = nullptr;
  for (VOK_ATOM_ITERM* t : box_q->iterms())
    if (t->get_source(VOK_TRAVERSE_AS_STORED)->get_my_node()->is_port()) clk_port = t->get_source(VOK_TRAVERSE_AS_STORED);
  ASSERT_NE(clk_port, nullptr);
  clk_port->get_first_fanout(VOK_TRAVERSE_AS_STORED)->set_connection_code(5);
  std::vector<std::string> found;
  std::vector<int> seen;
  for (VOK_ATOM_NODE* port : ports) {
    found.push_back("Found port -> box connection " + std::to_string(port->get_id()) + " -> " +
                    std::to_string(box_r->get_id()) + " (" + port->get_string_hpath() + " -> R)");
    seen.push_back(count_lines(found.back()));
  }
  host::clear_calls();
  remove_cross_partition_routing();
  EXPECT_EQ(host::call_count("VOK_RE_STITCHED_NETWORK_MODIFIER::commit"), 1);
  EXPECT_EQ(host::call_count("VOK_RE_STITCHED_NETWORK_MODIFIER::remove_connectivity_for_oterm"), 1);
  for (std::size_t i = 0; i < found.size(); ++i) EXPECT_EQ(count_lines(found[i]), seen[i] + 1) << found[i];
}

}  // namespace
