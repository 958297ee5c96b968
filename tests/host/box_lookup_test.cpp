// Terminal lookups through the hierarchy follow the black boxes a netlist
// holds as atoms are added and detached, including non-owning netlists.
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_re_logical_port.h"

using host::testing::HostTest;
using host::testing::NETLIST_BUILDER;
using host::testing::SIG;

namespace {

class BoxLookupTest : public HostTest {};

const VOK_ATOM_OTERM* first_output(const VOK_ATOM_NODE* atom) {
  for (const VOK_ATOM_OTERM* o : atom->coterms()) return o;
  return nullptr;
}

TEST_F(BoxLookupTest, HierarchicalLookupsFollowTheBoxesANetlistHolds) {
  NETLIST_BUILDER top = host::testing::netlist();
  VOK_ATOM_NODE* inner = nullptr;
  VOK_ATOM_NODE* nested = nullptr;
  auto a = top.blackbox("A", [&](NETLIST_BUILDER& c) {
    SIG clk = c.input("clk");
    inner = c.reg("a1").clk(clk).atom();
    c.blackbox("C", [&](NETLIST_BUILDER& cc) { nested = cc.reg("c1").clk(cc.input("clk")).atom(); });
  });
  top.reg("t1").clk(top.io_in("clk"));
  VOK_ATOM_NETLIST* netlist = top.get_netlist();
  const VOK_ATOM_OTERM* a1 = first_output(inner);
  const VOK_ATOM_OTERM* c1 = first_output(nested);
  ASSERT_NE(a1, nullptr);
  ASSERT_NE(c1, nullptr);
  EXPECT_EQ(vok_find_oterm(netlist, vok_get_logical_port(a1), true), a1);
  EXPECT_EQ(vok_find_oterm(netlist, vok_get_logical_port(c1), true), c1);
  EXPECT_EQ(vok_find_oterm(netlist, vok_get_logical_port(c1), false), nullptr);

  // Through a netlist that lists the box without owning it.
  {
    VOK_ATOM_NETLIST view;
    view.set_own_all_nodes(false);
    view.add_node(a.box(), false);
    EXPECT_EQ(vok_find_oterm(&view, vok_get_logical_port(c1), true), c1);
  }
  // The owner still finds it once the view is gone; a detached box takes
  // its contents out of reach until it comes back.
  EXPECT_EQ(vok_find_oterm(netlist, vok_get_logical_port(c1), true), c1);
  netlist->detach(a.box());
  EXPECT_EQ(vok_find_oterm(netlist, vok_get_logical_port(a1), true), nullptr);
  EXPECT_EQ(vok_find_oterm(netlist, vok_get_logical_port(c1), true), nullptr);
  netlist->add_node(a.box());
  EXPECT_EQ(vok_find_oterm(netlist, vok_get_logical_port(c1), true), c1);
}

}  // namespace
