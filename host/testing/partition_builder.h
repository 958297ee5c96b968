#pragma once
// Builders of partitioned designs:
//
//   auto n   = host::testing::netlist();
//   auto box = n.blackbox("A", [](auto& c) { c.output("o", c.reg("r").clk(c.input("c"))); });
//   auto a   = host::testing::partition("A", box).preserved("final").assignment(1773, "AUTO");
//   host::testing::top_partition().preserved("final");
//
// A partition made from a box takes the box's child netlist as its DEFAULT
// state's "netlist" model (the model owns it; the box shows it), shares its
// instance name with the box and hangs under `parent` (the top partition by
// default). Atoms built inside one box body get consecutive ids.
#include <string>
#include <vector>

#include "jov/jov_design.h"
#include "testing/netlist_builder.h"
#include "vok/vok_re_routing.h"

namespace host::testing {

class PARTITION_BUILDER {
public:
  explicit PARTITION_BUILDER(JOV_PARTITION* partition) : m_partition(partition) {}
  JOV_PARTITION* partition() const { return m_partition; }
  JOV_PARTITION* operator->() const { return m_partition; }
  operator JOV_PARTITION*() const { return m_partition; }
  // Preserved at the snapshot: the state records it, the netlist is
  // read-only.
  PARTITION_BUILDER& preserved(const std::string& snapshot = "final");
  // Compiled in this run: the state records the snapshot, the netlist is
  // modifiable and the partition's kind is 1.
  PARTITION_BUILDER& recompiled(const std::string& snapshot = "synthesized");
  // The instance assignment of a variable to the partition.
  PARTITION_BUILDER& assignment(int variable, const std::string& value);
  PARTITION_BUILDER& clock_routing(bool on = true);

private:
  JOV_PARTITION* m_partition;
};

PARTITION_BUILDER partition(const std::string& name, const BOX_BUILDER& box, JOV_PARTITION* parent = nullptr);
// The top partition ("|"): its DEFAULT state's "netlist" model shows the
// design's top netlist (without owning it).
PARTITION_BUILDER top_partition();
// Gives a partition state a "netlist" model for `netlist` under the path
// db/<partition>/<state>/netlist.
void set_state_netlist(JOV_PARTITION* partition, JOV_STATE* state, VOK_ATOM_NETLIST* netlist, bool owned);

// A routing subtree as text independent of node ids and sibling order: each
// node (terminal port and side, or wire value; "z" for pipeline-register
// nodes) with its sorted subtrees, pipeline-register pairs followed.
std::string routing_text(const VOK_RE_ROUTING& routing, int id);
// The routing_text of the connections a tree routes: "" for a tree from a
// virtual source, and without the branches that lead only to virtual sinks
// (port translation hangs such chains where the routing does not reach a
// port yet; the router completes them).
std::string connections_text(const VOK_RE_ROUTING& routing, int root);
// The texts of every tree (pipeline-register Q roots are reached through
// their pairs), sorted: equal for routings with the same trees.
std::vector<std::string> routing_texts(const VOK_RE_ROUTING& routing);

namespace scenes {
// A partitioned design on the world's netlist: the top partition "|"
// (preserved at "final", pads, a register and boxes A and B), A (preserved
// at "final", VANTREL_PRESERVE "AUTO", a register pipeline and box C), B
// (recompiled) and C (preserved at "final", inside A).
struct PARTITIONED {
  JOV_PARTITION* top;
  JOV_PARTITION* a;
  JOV_PARTITION* b;
  JOV_PARTITION* c;
};
PARTITIONED partitioned();
}  // namespace scenes

}  // namespace host::testing
