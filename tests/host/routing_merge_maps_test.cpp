// A partition routing merged into another leaves the terminal maps as a
// full rebuild from the netlist would: the merged sinks and sources found,
// in the same order, whether or not the routing had free slots.
#include <utility>
#include <vector>

#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "testing/routing_builder.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_re_routing.h"

using host::testing::Family;
using host::testing::HostTest;
using host::testing::h;
using host::testing::v;

namespace {

class MergeMapsTest : public HostTest {};

TEST_F(MergeMapsTest, MergedTerminalsAreMappedAsAFullRebuildWouldMapThem) {
  host::testing::device(Family::KY).build();
  auto n = host::testing::netlist();
  auto clk = n.io_in("clk");
  auto src = n.reg("src").clk(clk).d(n.io_in("i"));
  auto s2 = n.reg("s2").clk(clk).d(src);
  std::vector<VOK_ATOM_ITERM*> sinks;
  for (const char* name : {"a", "b", "c"}) sinks.push_back(n.reg(name).clk(clk).d(src).iterm(DB_INPUT_PORT_DATA_IN));
  sinks.push_back(n.reg("d").clk(clk).d(s2).iterm(DB_INPUT_PORT_DATA_IN));
  VOK_ATOM_NETLIST* top = host::vok::top_netlist();
  std::vector<const VOK_ATOM_OTERM*> sources;
  for (auto* atom : {src.atom(), s2.atom()})
    for (const VOK_ATOM_OTERM* o : atom->coterms()) sources.push_back(o);

  for (const bool free_slot : {false, true}) {
    SCOPED_TRACE(free_slot ? "with a free slot" : "without free slots");
    VOK_RE_ROUTING root, part;
    root.attach_atom_netlist(top, VOK_TRAVERSE_HIERARCHICAL);
    part.attach_atom_netlist(top, VOK_TRAVERSE_HIERARCHICAL);
    host::testing::routing(&root).routing(src).wire(h(1, 1)).sink(sinks[0]);
    if (free_slot) root.erase(root.new_root(static_cast<std::int32_t>(VOK_RE_ROUTING::WIRE_BIT | 5u)));
    host::testing::routing(&part)
        .routing(src)
        .wire(h(1, 1))
        .branch([&](auto& b) { b.wire(h(2, 1)).sink(sinks[1]); })
        .wire(v(1, 1))
        .sink(sinks[2]);
    host::testing::routing(&part).routing(s2).wire(h(3, 1)).sink(sinks[3]);
    root.merge_partition(part);

    auto maps = [&] {
      std::vector<std::vector<int>> out;
      for (VOK_ATOM_ITERM* i : sinks) out.push_back(root.get_sink_nodes(i));
      for (const VOK_ATOM_OTERM* o : sources) out.push_back({root.get_source_node(o)});
      return out;
    };
    const std::vector<std::vector<int>> merged = maps();
    for (std::size_t k = 0; k < sinks.size(); ++k) {
      ASSERT_EQ(merged[k].size(), 1u) << k;
      EXPECT_TRUE(root.is_live(merged[k][0]));
    }
    root.rebuild_terminal_maps();
    EXPECT_EQ(maps(), merged);
  }
}

}  // namespace
