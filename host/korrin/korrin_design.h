#pragma once
// algorithm: the design as the routers see it (nets and their routable
// connections, in routing order) and the reading of the routing trees already
// written for them.
//
// Nets go by driver atom id (top netlist and black-box children alike), then
// by output term; connections follow the hierarchical fanout walk. A register
// in a pipeline slot is one net whatever its output terms: it drives from its
// slot, so its tree is the pair root holding the slot element.
//
// Reading a net's tree keeps what is legal: a wire under the source terminal
// must be a source element of the driver, a wire under a wire one of its
// fanouts, no element twice, nothing blacklisted; a sink must be a connection
// of the net, below one of its input elements. A slot holding a register is
// only the leaf at which the register's data input ends (in the net feeding
// it) and the root its own net starts from. Anything else makes the tree
// unclean; the paths to legal sinks are kept.
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "korrin/korrin_graph.h"

class VOK_RE_ROUTING;
class WUMP_BLACKLISTING;

namespace host::korrin {

struct CONN {
  VOK_ATOM_ITERM* sink = nullptr;
  SITE site;
  bool slot_d = false;  // the data input of a register in a slot: ends at the slot
};

struct NET {
  VOK_ATOM_NODE* atom = nullptr;
  int driver_id = 0;
  VOK_ATOM_OTERM* oterm = nullptr;  // the (first) output term
  SITE site;
  std::vector<CONN> conns;
};

inline std::uint64_t term_key(int atom_id, int port_type, int index) {
  return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(atom_id)) << 32) |
         (static_cast<std::uint64_t>(static_cast<std::uint16_t>(port_type)) << 16) | static_cast<std::uint16_t>(index);
}
HOST_API std::uint64_t term_key(const VOK_ATOM_ITERM* t);
HOST_API std::uint64_t term_key(const VOK_ATOM_OTERM* t);

struct DESIGN {
  std::vector<NET> nets;
  std::unordered_map<std::uint64_t, int> net_of_oterm;
  std::unordered_map<std::uint64_t, std::pair<int, int>> conn_of_iterm;  // (net, conn)
  // Slot element id -> the net of the register in it, and its data-input
  // connection (net, conn; -1 when not routable).
  std::unordered_map<unsigned, int> slot_net;
  std::unordered_map<unsigned, std::pair<int, int>> slot_d_conn;

  // The register net holding a slot element, -1 when the element holds none.
  int reserved_by(unsigned id) const {
    if (slot_net.empty()) return -1;
    auto it = slot_net.find(id);
    return it == slot_net.end() ? -1 : it->second;
  }
};

// The world's design: every placed atom of the top netlist and below.
HOST_API DESIGN collect_design(const GRAPH& g);
// The connections of the design's nets that `d` leaves out because an end
// has no place on the device (an unplaced or site-less atom): never routed,
// whatever the router does. Partition ports and boxes, pipeline registers
// left unplaced on purpose and connections into a site-less clock buffer
// (its loads count instead) are no such connections.
HOST_API std::vector<std::pair<const VOK_ATOM_OTERM*, const VOK_ATOM_ITERM*>> blocked_connections(const DESIGN& d);

// A wire node kept from a routing tree.
struct TREE_NODE {
  unsigned elem;
  int parent;  // index in the tree's nodes, -1 under the source terminal
  int vok;     // the routing node
  int refs;    // connections through it
};

struct NET_TREE {
  int root = -1;                  // routing root: the source terminal, or the slot for a register net
  std::vector<int> extra_roots;   // further roots naming the same net
  std::vector<TREE_NODE> nodes;   // legal wire nodes (for a register net, node 0 is its slot)
  std::vector<int> conn_target;   // per connection: node index it ends below (or, slot_d, at), -1 unrouted
  std::vector<int> conn_node;     // per connection: its sink node (or the slot leaf for slot_d)
  bool clean = true;
  // Translated routing still to complete: tree nodes on the way to a virtual
  // sink (kept as if a connection ran through them), and per connection the
  // chain of elements a sink hangs under below a virtual source (top first;
  // empty for none), with those virtual roots (erased once the net is routed).
  std::vector<int> pinned;
  std::vector<std::vector<unsigned>> conn_chain;
  std::vector<int> virtual_roots;
};

struct LOADED {
  std::vector<NET_TREE> trees;  // per net
  std::vector<int> foreign;     // roots of trees that name no net
  int hold_stubs = 0;           // dangling stubs kept for hold
};

// Reads the routing's trees for the design's nets; `findings` (may be null)
// receives one line per illegal piece.
HOST_API LOADED load_trees(const GRAPH& g, const DESIGN& d, const VOK_RE_ROUTING& routing,
                           const WUMP_BLACKLISTING* blacklist, std::vector<std::string>* findings);

// Text of a connection for reports: "driver -> sink.port".
HOST_API std::string describe(const VOK_ATOM_OTERM* driver, const VOK_ATOM_ITERM* sink);
// Name of an element: "<name> (gid 0x...)".
HOST_API std::string element_name(unsigned id);

}  // namespace host::korrin
