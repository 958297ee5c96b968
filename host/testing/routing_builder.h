#pragma once
// Builders of routing trees on the world's device, for tests and benchmarks:
//
//   auto d = host::testing::routing();                   // the chip entry's routing
//   d.routing(q).wire(lab_output(5, 4, 94)).wire(h(5, 4)).sink(p_d);
//   d.routing(a).wire(h(1, 1))
//       .branch([&](auto& b) { b.wire(lab_input(2, 1, 3)).sink(x_d); })
//       .wire(v(1, 1)).zota(lab_input(1, 2, 60))          // pipeline register, short offset
//       .wire(lab_input(1, 2, 7)).sink(y_d);
//   d.routing(b).zota(lab_input(3, 3, 61), ZOTA_FORM::OVERFLOW).sink(z_d);
//
// A net starts at the source node of an output term (one per term, reused).
// wire() appends a wire node under the cursor and moves the cursor onto it;
// sink() and virtual_sink() append a leaf and leave the cursor; zota() appends
// the D side of a pipeline-register pair under the cursor and a new marked
// root for its Q side, and moves the cursor onto the Q side, so the route
// continues there. Unknown elements throw ROUTING_BUILD_ERROR.
#include <functional>
#include <stdexcept>

#include "dev/dev_spec.h"
#include "testing/design_builder.h"
#include "testing/netlist_builder.h"
#include "vok/vok_re_routing.h"

namespace host::testing {

class ROUTING_BUILD_ERROR : public std::logic_error {
public:
  using std::logic_error::logic_error;
};

// Routing elements by place: LAB output mux `index` (the family's first output
// index is 94 on 46, 90 on 48 and 15, 89 on 26), horizontal and vertical
// wires (length index 0 short, 1 long; track 0 or 1; `reverse` for west and
// south).
inline DEV_ELEMENT_REF lab_output(int x, int y, int index) { return DEV_ELEMENT_REF{282, x, y, index}; }
inline DEV_ELEMENT_REF h(int x, int y, int length_index = 0, int track = 0, bool reverse = false) {
  return DEV_ELEMENT_REF{700, x, y, 4 * (reverse ? 1 : 0) + 2 * length_index + track};
}
inline DEV_ELEMENT_REF v(int x, int y, int length_index = 0, int track = 0, bool reverse = false) {
  return DEV_ELEMENT_REF{701, x, y, 4 * (reverse ? 3 : 2) + 2 * length_index + track};
}

// How a pipeline-register pair stores its link: the record's offset, or the
// overflow map.
enum class ZOTA_FORM { SHORT, OVERFLOW };

class NET_BUILDER {
public:
  NET_BUILDER(VOK_RE_ROUTING* routing, int cursor) : m_routing(routing), m_cursor(cursor) {}
  NET_BUILDER& wire(const DEV_ELEMENT_REF& ref);
  NET_BUILDER& wire_gid(unsigned gid);
  NET_BUILDER& sink(VOK_ATOM_ITERM* iterm);
  NET_BUILDER& virtual_sink();
  NET_BUILDER& zota(const DEV_ELEMENT_REF& slot, ZOTA_FORM form = ZOTA_FORM::SHORT);
  // Builds a branch from the cursor; the cursor stays where it was.
  NET_BUILDER& branch(const std::function<void(NET_BUILDER&)>& body);
  // Moves the cursor to a node.
  NET_BUILDER& at(int node);
  // Stores the cursor's node id.
  NET_BUILDER& mark(int& out);
  int node() const { return m_cursor; }
  // The node last appended (sink, wire, D side) by this builder.
  int last() const { return m_last; }

private:
  VOK_RE_ROUTING* m_routing;
  int m_cursor;
  int m_last = -1;
};

class ROUTING_BUILDER {
public:
  // The routing of the world's chip database entry by default.
  explicit ROUTING_BUILDER(VOK_RE_ROUTING* routing = nullptr);
  // The net of an output term (its source node, created on first use).
  NET_BUILDER routing(SIG source);
  NET_BUILDER virtual_source();
  // Attaches the design's top netlist (traversal 1), rebuilding the maps.
  ROUTING_BUILDER& attach(VOK_ATOM_NETLIST* netlist = nullptr);
  VOK_RE_ROUTING& get() const { return *m_routing; }

private:
  VOK_RE_ROUTING* m_routing;
};

inline ROUTING_BUILDER routing(VOK_RE_ROUTING* r = nullptr) { return ROUTING_BUILDER(r); }

}  // namespace host::testing
