#include "testing/routing_builder.h"

#include <string>

#include "vok/vok_atom_netlist.h"
#include "vok/vok_chip_db_entry.h"
#include "wump/wump_die_info.h"

namespace host::testing {

namespace {
std::string describe(const DEV_ELEMENT_REF& ref) {
  return "element " + std::to_string(ref.kind) + " at (" + std::to_string(ref.x) + ", " + std::to_string(ref.y) +
         ") index " + std::to_string(ref.index);
}
unsigned checked_gid(const DEV_ELEMENT_REF& ref) {
  const unsigned gid = gid_of(ref);
  if (gid == 0xFFFFFFFFu) throw ROUTING_BUILD_ERROR("routing builder: no " + describe(ref) + " on the device");
  return gid;
}
}  // namespace

NET_BUILDER& NET_BUILDER::wire(const DEV_ELEMENT_REF& ref) { return wire_gid(checked_gid(ref)); }

NET_BUILDER& NET_BUILDER::wire_gid(unsigned gid) {
  m_cursor = m_last = m_routing->append_child_value(m_cursor, static_cast<std::int32_t>(gid | VOK_RE_ROUTING::WIRE_BIT));
  return *this;
}

NET_BUILDER& NET_BUILDER::sink(VOK_ATOM_ITERM* iterm) {
  if (iterm == nullptr) throw ROUTING_BUILD_ERROR("routing builder: sink of a null input term");
  m_last = m_routing->append_sink(m_cursor, iterm);
  return *this;
}

NET_BUILDER& NET_BUILDER::virtual_sink() {
  m_last = m_routing->append_child_value(m_cursor, VOK_RE_ROUTING::VIRTUAL_VALUE);
  return *this;
}

NET_BUILDER& NET_BUILDER::zota(const DEV_ELEMENT_REF& slot, ZOTA_FORM form) {
  const auto value = static_cast<std::int32_t>(checked_gid(slot));
  const int d = m_routing->append_child_value(m_cursor, value);
  const int q = m_routing->new_root(value);
  m_routing->set_zota_pair(d, q, form == ZOTA_FORM::OVERFLOW);
  m_last = d;
  m_cursor = q;
  return *this;
}

NET_BUILDER& NET_BUILDER::branch(const std::function<void(NET_BUILDER&)>& body) {
  NET_BUILDER b(m_routing, m_cursor);
  body(b);
  m_last = b.m_last;
  return *this;
}

NET_BUILDER& NET_BUILDER::at(int node) {
  if (!m_routing->is_live(node)) throw ROUTING_BUILD_ERROR("routing builder: node " + std::to_string(node) + " is not live");
  m_cursor = node;
  return *this;
}

NET_BUILDER& NET_BUILDER::mark(int& out) {
  out = m_cursor;
  return *this;
}

ROUTING_BUILDER::ROUTING_BUILDER(VOK_RE_ROUTING* routing)
    : m_routing(routing ? routing : VOK_CHIP_DB_ENTRY::current()->get_routing()) {}

NET_BUILDER ROUTING_BUILDER::routing(SIG source) {
  if (source.oterm == nullptr) throw ROUTING_BUILD_ERROR("routing builder: net of a null output term");
  int node = m_routing->get_source_node(source.oterm);
  if (node == -1) node = m_routing->new_source(source.oterm);
  return NET_BUILDER(m_routing, node);
}

NET_BUILDER ROUTING_BUILDER::virtual_source() {
  return NET_BUILDER(m_routing, m_routing->new_root(VOK_RE_ROUTING::VIRTUAL_VALUE));
}

ROUTING_BUILDER& ROUTING_BUILDER::attach(VOK_ATOM_NETLIST* netlist) {
  m_routing->attach_atom_netlist(netlist ? netlist : host::vok::top_netlist(), 1);
  return *this;
}

}  // namespace host::testing
