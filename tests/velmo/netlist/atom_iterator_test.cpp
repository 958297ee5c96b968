// Atom walks over netlists with black boxes, fanout walks across hierarchy
// boundaries and the valid-term iterators.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "vok/vok_atom_netlist.h"

using host::testing::NETLIST_BUILDER;
using host::testing::SIG;

namespace {

class AtomIteratorTest : public host::testing::HostTest {
protected:
  static std::vector<std::string> walk(const VOK_ATOM_NETLIST* n, VOK_TRAVERSE mode) {
    std::vector<std::string> names;
    for (const VOK_ATOM_NODE* a : n->nodes(mode)) names.push_back(a->get_string_hpath());
    return names;
  }
  static std::vector<std::string> walk_mutable(VOK_ATOM_NETLIST* n, VOK_TRAVERSE mode) {
    std::vector<std::string> names;
    for (VOK_ATOM_NODE* a : n->nodes(mode)) names.push_back(a->get_string_hpath());
    return names;
  }
  static std::vector<std::string> fanout_names(VOK_ATOM_OTERM* o, VOK_TRAVERSE mode) {
    std::vector<std::string> names;
    for (VOK_ATOM_ITERM* t : o->fanout(mode))
      names.push_back(t->get_my_node()->get_string_hpath() + "." + std::to_string(t->get_port_type()));
    return names;
  }
  using V = std::vector<std::string>;
};

TEST_F(AtomIteratorTest, EmptyNetlistGivesEmptyRangeInEveryMode) {
  VOK_ATOM_NETLIST n;
  for (VOK_TRAVERSE m : {VOK_TRAVERSE_AS_STORED, VOK_TRAVERSE_HIERARCHICAL, VOK_TRAVERSE_PARTITION}) {
    EXPECT_TRUE(walk(&n, m).empty());
    EXPECT_TRUE(walk_mutable(&n, m).empty());
  }
}

TEST_F(AtomIteratorTest, BlackBoxesAsStoredAndHierarchical) {
  NETLIST_BUILDER b(host::vok::top_netlist());
  auto clk = b.input_port("clk");
  b.reg("first").clk(clk);
  b.blackbox("nochild");                              // no child netlist
  b.blackbox("empty", [](NETLIST_BUILDER&) {});       // empty child
  b.blackbox("box", [](NETLIST_BUILDER& c) {          // a and b, behind a port atom
    auto in = c.input("c");
    c.reg("a").clk(in);
    c.reg("b").clk(in);
  });
  b.reg("last").clk(clk);
  VOK_ATOM_NETLIST* top = host::vok::top_netlist();

  const V stored = {"clk", "first", "nochild", "empty", "box", "last"};
  EXPECT_EQ(walk(top, VOK_TRAVERSE_AS_STORED), stored);
  // Mode 2 is walked as mode 0.
  EXPECT_EQ(walk(top, VOK_TRAVERSE_PARTITION), stored);
  // The top-level port atom is yielded; the one inside the box is not; boxes
  // without content stand for themselves.
  const V hier = {"clk", "first", "nochild", "empty", "box|a", "box|b", "last"};
  EXPECT_EQ(walk(top, VOK_TRAVERSE_HIERARCHICAL), hier);
  EXPECT_EQ(walk_mutable(top, VOK_TRAVERSE_HIERARCHICAL), hier);
}

TEST_F(AtomIteratorTest, NestedBoxesThreeDeepReturnToEachOuterList) {
  NETLIST_BUILDER b(host::vok::top_netlist());
  b.atom(VOK_ATOM_KIND::CLKBUF, "t0");
  b.blackbox("x", [](NETLIST_BUILDER& x) {
    x.atom(VOK_ATOM_KIND::CLKBUF, "x0");
    x.blackbox("y", [](NETLIST_BUILDER& y) {
      y.blackbox("z", [](NETLIST_BUILDER& z) {
        z.atom(VOK_ATOM_KIND::CLKBUF, "z0");
        z.atom(VOK_ATOM_KIND::CLKBUF, "z1");
      });
      y.atom(VOK_ATOM_KIND::CLKBUF, "y1");
    });
    x.blackbox("w", [](NETLIST_BUILDER& w) { w.blackbox("v", [](NETLIST_BUILDER&) {}); });
  });
  b.blackbox("tail", [](NETLIST_BUILDER& t) { t.blackbox("u", [](NETLIST_BUILDER& u) { u.atom(VOK_ATOM_KIND::CLKBUF, "u0"); }); });
  VOK_ATOM_NETLIST* top = host::vok::top_netlist();

  EXPECT_EQ(walk(top, VOK_TRAVERSE_HIERARCHICAL),
            (V{"t0", "x|x0", "x|y|z|z0", "x|y|z|z1", "x|y|y1", "x|w|v", "tail|u|u0"}));
  EXPECT_EQ(walk(top, VOK_TRAVERSE_AS_STORED), (V{"t0", "x", "tail"}));

  // The iterator tells how deep it is and in which netlist.
  auto range = top->nodes(VOK_TRAVERSE_HIERARCHICAL);
  auto it = range.begin();
  ++it;
  ++it;
  EXPECT_EQ((*it)->get_string_hpath(), "x|y|z|z0");
  EXPECT_EQ(it.depth(), 3u);
  EXPECT_EQ(it.current_netlist(), (*it)->get_parent_netlist());
  // Post-increment yields the old position.
  auto old = it++;
  EXPECT_EQ((*old)->get_string_hpath(), "x|y|z|z0");
  EXPECT_EQ((*it)->get_string_hpath(), "x|y|z|z1");
}

TEST_F(AtomIteratorTest, PortAtomsSkippedOnlyBelowTopAndReadOnlyListChoice) {
  NETLIST_BUILDER b(host::vok::top_netlist());
  b.input_port("top_in");
  b.blackbox("only_ports", [](NETLIST_BUILDER& c) { c.output("o", c.input("i")); });
  b.atom(VOK_ATOM_KIND::CLKBUF, "end");
  VOK_ATOM_NETLIST* top = host::vok::top_netlist();
  // A child of port atoms only is walked (and yields nothing), not yielded as
  // an empty box.
  EXPECT_EQ(walk(top, VOK_TRAVERSE_HIERARCHICAL), (V{"top_in", "end"}));

  // A walk through the read-only lists of netlists that are not modifiable
  // yields the same atoms.
  top->set_modifiable(false);
  auto* box = static_cast<VOK_ATOM_BLACKBOX*>(b.find("only_ports"));
  box->get_child_netlist()->set_modifiable(false);
  V ro;
  const VOK_ATOM_NETLIST* ctop = top;
  for (VOK_ATOM_ITERATOR<true> it(ctop, VOK_TRAVERSE_HIERARCHICAL, false, true),
       end(ctop, VOK_TRAVERSE_HIERARCHICAL, true, true);
       it != end; ++it)
    ro.push_back((*it)->get_string_hpath());
  EXPECT_EQ(ro, (V{"top_in", "end"}));
}

TEST_F(AtomIteratorTest, FanoutWalksAcrossBoundaries) {
  NETLIST_BUILDER b(host::vok::top_netlist());
  auto clk = b.input_port("clk");
  auto r0 = b.reg("r0").clk(clk);
  // Box "u": input "d" feeds two registers and a nested box "v" whose input
  // feeds one more register and goes straight out again; output "q" of u is
  // that feed-through.
  auto u = b.blackbox("u", [](NETLIST_BUILDER& c) {
    auto d = c.input("d");
    auto cclk = c.input("clk");
    c.reg("a").clk(cclk).d(d);
    auto v = c.blackbox("v", [](NETLIST_BUILDER& g) {
      auto i = g.input("i");
      g.reg("deep").d(i);
      g.output("o", i);
    });
    v.in("i", d);
    c.reg("b").d(d);
    c.output("q", v.out("o"));
  });
  u.in("d", r0).in("clk", clk);
  auto after = b.reg("after").d(u.out("q"));
  b.reg("sibling").d(r0);
  // A boundary term with nothing on the other side.
  auto dead = b.blackbox("dead", [](NETLIST_BUILDER& c) { c.input("x"); });
  auto r1 = b.reg("r1").clk(clk);
  dead.in("x", r1);

  VOK_ATOM_OTERM* q0 = r0.out().oterm;
  EXPECT_EQ(fanout_names(q0, VOK_TRAVERSE_AS_STORED), (V{"u.1", "sibling.20"}));
  EXPECT_EQ(fanout_names(q0, VOK_TRAVERSE_PARTITION), (V{"u.1", "sibling.20"}));
  // Down into u, down into v and back up through u's output, in connection
  // order at each level.
  EXPECT_EQ(fanout_names(q0, VOK_TRAVERSE_HIERARCHICAL),
            (V{"u|a.20", "u|v|deep.20", "after.20", "u|b.20", "sibling.20"}));
  EXPECT_EQ(q0->count_flatten_fanouts(), 5);
  EXPECT_TRUE(q0->has_fanout_exactly(5, VOK_TRAVERSE_HIERARCHICAL));
  EXPECT_FALSE(q0->has_fanout_exactly(4, VOK_TRAVERSE_HIERARCHICAL));
  EXPECT_TRUE(q0->has_fanout_exactly(2, VOK_TRAVERSE_AS_STORED));
  EXPECT_TRUE(q0->has_fanout_less_than(3, VOK_TRAVERSE_AS_STORED));
  EXPECT_FALSE(q0->has_fanout_less_than(5, VOK_TRAVERSE_HIERARCHICAL));

  // The only fanout is a boundary term with no fanout on the other side.
  VOK_ATOM_OTERM* q1 = r1.out().oterm;
  EXPECT_EQ(fanout_names(q1, VOK_TRAVERSE_AS_STORED), (V{"dead.1"}));
  EXPECT_TRUE(fanout_names(q1, VOK_TRAVERSE_HIERARCHICAL).empty());
  EXPECT_FALSE(vok_is_connected(q1, VOK_TRAVERSE_HIERARCHICAL));
  EXPECT_TRUE(vok_is_connected(q1, VOK_TRAVERSE_AS_STORED));

  // Const walks see the same.
  const VOK_ATOM_OTERM* cq0 = q0;
  int n = 0;
  for (const VOK_ATOM_ITERM* t : cq0->cfanout(VOK_TRAVERSE_HIERARCHICAL)) n += t != nullptr;
  EXPECT_EQ(n, 5);

  // The hierarchical source of a register inside v is r0 at the top; of
  // "after", r0 too (up through u's and v's outputs).
  auto* uc = static_cast<VOK_ATOM_BLACKBOX*>(b.find("u"))->get_child_netlist();
  NETLIST_BUILDER ub(uc);
  auto* vc = static_cast<VOK_ATOM_BLACKBOX*>(ub.find("v"))->get_child_netlist();
  VOK_ATOM_NODE* deep_reg = NETLIST_BUILDER(vc).find("deep");
  ASSERT_NE(deep_reg, nullptr);
  VOK_ATOM_ITERM* deep_d = deep_reg->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0);
  EXPECT_EQ(deep_d->get_source(VOK_TRAVERSE_HIERARCHICAL), q0);
  EXPECT_NE(deep_d->get_source(VOK_TRAVERSE_AS_STORED), q0);
  EXPECT_TRUE(deep_d->get_source(VOK_TRAVERSE_AS_STORED)->get_my_node()->is_port());
  VOK_ATOM_ITERM* after_d = after->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0);
  EXPECT_EQ(after_d->get_source(VOK_TRAVERSE_HIERARCHICAL), q0);
  EXPECT_TRUE(after_d->get_source(VOK_TRAVERSE_AS_STORED)->get_my_node()->is_box());
  // An unconnected box input ends the hierarchical source search with null.
  auto open = b.blackbox("open", [](NETLIST_BUILDER& c) { c.reg("inner").d(c.input("x")); });
  open.in("x", r1);
  VOK_ATOM_NODE* inner = NETLIST_BUILDER(static_cast<VOK_ATOM_BLACKBOX*>(open.atom())->get_child_netlist()).find("inner");
  VOK_ATOM_ITERM* inner_d = inner->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0);
  EXPECT_EQ(inner_d->get_source(VOK_TRAVERSE_HIERARCHICAL), q1);
  open->get_input_term_by_type(DB_INPUT_PORT_BOX, 0)->disconnect_from_source(VOK_NET_ITERM::OPEN);
  EXPECT_EQ(inner_d->get_source(VOK_TRAVERSE_HIERARCHICAL), nullptr);
  EXPECT_NE(inner_d->get_source(VOK_TRAVERSE_AS_STORED), nullptr);
}

TEST_F(AtomIteratorTest, ValidTermIteratorsSkipNullSlotsInlineAndOnTheHeap) {
  VOK_ATOM_NETLIST n;
  VOK_ATOM_NODE* a = VOK_ATOM_FACTORY::create_node(VOK_ATOM_KIND::COMB_CELL);
  n.add_node(a);
  auto iterm_ports = [&] {
    std::vector<int> ports;
    for (VOK_ATOM_ITERM* t : a->iterms()) ports.push_back(t->get_port_type());
    return ports;
  };
  EXPECT_TRUE(iterm_ports().empty());
  std::vector<VOK_ATOM_ITERM*> t;
  for (int i = 0; i < 3; ++i) t.push_back(a->add_input_term(static_cast<DB_INPUT_PORT_TYPE>(12 + i), 0));
  EXPECT_TRUE(a->get_iterm_slots().is_inline());
  a->remove_input_term(t[0]);
  a->remove_input_term(t[2]);
  EXPECT_EQ(a->get_iterm_slot_count(), 3u);  // leading and trailing null slots
  EXPECT_EQ(iterm_ports(), (std::vector<int>{13}));
  a->remove_input_term(t[1]);
  EXPECT_TRUE(iterm_ports().empty());

  // Past the inline capacity the slots move to the heap, nulls and all.
  for (int i = 3; i < 9; ++i) t.push_back(a->add_input_term(static_cast<DB_INPUT_PORT_TYPE>(12 + i), 0));
  EXPECT_FALSE(a->get_iterm_slots().is_inline());
  EXPECT_EQ(a->get_iterm_slot_count(), 9u);
  a->remove_input_term(t[4]);
  a->remove_input_term(t[8]);
  EXPECT_EQ(iterm_ports(), (std::vector<int>{15, 17, 18, 19}));
  // Stepping lands on the next occupied slot or the slot count.
  auto it = a->iterms().begin();
  EXPECT_EQ(it.index(), 3u);
  ++it;
  EXPECT_EQ(it.index(), 5u);
  ++it;
  ++it;
  ++it;
  EXPECT_EQ(it.index(), 9u);
  EXPECT_TRUE(it == a->iterms().end());

  // Output terms likewise.
  a->add_output_term(DB_OUTPUT_PORT_COMB, 0);
  VOK_ATOM_OTERM* second = a->add_output_term(DB_OUTPUT_PORT_DATA, 1);
  a->add_output_term(DB_OUTPUT_PORT_DATA, 2);
  a->remove_output_term(second);
  std::vector<int> outs;
  for (const VOK_ATOM_OTERM* o : a->coterms()) outs.push_back(o->get_index());
  EXPECT_EQ(outs, (std::vector<int>{0, 2}));
}

}  // namespace
