// Routing-element trees: a net as its source, the pipeline slots along its
// routing and the input terminals it reaches.
#include "msg/msg_internal_error.h"
#include "velmo_debug.h"
#include "velmo_irtm_test.h"
#include "vok/vok_atom_netlist.h"

namespace {

[[noreturn]] void ie(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "VELMO", "velmo_irtm_test_tree", line);
}

std::string gid_string(std::uint32_t gid) {
  return IRTM_UTIL::s_instance ? IRTM_UTIL::s_instance->get_gid_string(gid) : std::string("?");
}

template <class TERM> std::string term_name(const TERM* t) {
  return t->get_my_node()->get_string_hpath() + "|" + t->get_wysiwyg_port_name();
}

const char* prefix(bool child) { return child ? "---+ " : ""; }

}  // namespace

const std::list<RE_NODE*>& RE_NODE::children() const { ie("children() of a leaf", __LINE__); }

RE_LEAF* RE_NODE::cast_to_leaf() { return is_leaf() ? static_cast<RE_LEAF*>(this) : nullptr; }

void RE_LEAF::print(bool child) const {
  const VOK_ATOM_NODE* atom = m_iterm->get_my_node();
  const std::uint32_t loc = atom->get_location_gid();
  msg_vdebug_impl(2, "%sIterm:  %u (%s) -- (%d) %s", prefix(child), loc, gid_string(loc).c_str(), atom->get_id(),
                  term_name(m_iterm).c_str());
}

RE_NON_TERMINAL::RE_NON_TERMINAL(VOK_ATOM_OTERM* source) : RE_NODE(SOURCE), m_identity(source) {}

RE_NON_TERMINAL::RE_NON_TERMINAL(std::uint32_t gid, int routing_element_id)
    : RE_NODE(SLOT), m_identity(gid), m_routing_element_id(routing_element_id) {}

void RE_NON_TERMINAL::print(bool child) const {
  if (is_slot()) {
    const std::uint32_t gid = get_re_gid();
    msg_vdebug_impl(2, "%sZota:  nc=%-3d  %u (%s)", prefix(child), get_num_children(), gid, gid_string(gid).c_str());
    return;
  }
  const VOK_ATOM_OTERM* o = get_source();
  const VOK_ATOM_NODE* atom = o->get_my_node();
  const std::uint32_t loc = atom->get_location_gid();
  msg_vdebug_impl(2, "%sOterm: nc=%3d  %u (%s) -- (%d) %s", prefix(child), get_num_children(), loc,
                  gid_string(loc).c_str(), atom->get_id(), term_name(o).c_str());
}

void RE_NON_TERMINAL::show() const {
  print(false);
  for (const RE_NODE* c : m_children) c->print(true);
}

void RE_NON_TERMINAL::add_child(RE_NODE* child) {
  if (child->m_parent) ie("!child->m_parent", __LINE__);
  m_children.push_back(child);
  child->m_parent = this;
  if (child->is_leaf()) ++m_leaf_count;
}

std::uint32_t RE_NON_TERMINAL::get_re_gid() const {
  if (!is_slot()) ie("is_slot()", __LINE__);
  return boost::get<std::uint32_t>(m_identity);
}

VOK_ATOM_OTERM* RE_NON_TERMINAL::get_source() const {
  if (!is_src()) ie("is_src()", __LINE__);
  return boost::get<VOK_ATOM_OTERM*>(m_identity);
}

void RE_NON_TERMINAL::get_iterms(std::vector<VOK_ATOM_ITERM*>* out) const {
  for (const RE_NODE* c : m_children) {
    if (c->is_leaf()) {
      out->push_back(static_cast<const RE_LEAF*>(c)->get_iterm());
    } else if (c->is_slot()) {
      static_cast<const RE_NON_TERMINAL*>(c)->get_iterms(out);
    } else {
      ie("is_slot()", __LINE__);
    }
  }
}

// Nodes left by a caller that did not clear are freed too.
RE_MANAGER::~RE_MANAGER() { clear(); }

RE_NON_TERMINAL* RE_MANAGER::create_node(unsigned int re_gid, int routing_element_id) {
  if (m_re_map.find(re_gid) != m_re_map.end()) ie("!m_re_map.exists(re_gid)", __LINE__);
  auto* node = new RE_NON_TERMINAL(static_cast<std::uint32_t>(re_gid), routing_element_id);
  m_re_map[re_gid] = node;
  return node;
}

RE_NON_TERMINAL* RE_MANAGER::create_source_node(VOK_ATOM_OTERM* oterm) {
  auto* node = new RE_NON_TERMINAL(oterm);
  m_nodes.push_back(node);
  return node;
}

RE_LEAF* RE_MANAGER::create_leaf_node(VOK_ATOM_ITERM* iterm) {
  if (m_iterm_map.find(iterm) != m_iterm_map.end()) ie("!m_iterm_map.exists(iterm)", __LINE__);
  auto* leaf = new RE_LEAF(iterm);
  m_iterm_map[iterm] = leaf;
  return leaf;
}

RE_NODE* RE_MANAGER::find_node(VOK_ATOM_ITERM* iterm) const {
  auto it = m_iterm_map.find(iterm);
  return it == m_iterm_map.end() ? nullptr : it->second;
}

RE_NODE* RE_MANAGER::find_re_node(unsigned int re_gid) const {
  auto it = m_re_map.find(re_gid);
  return it == m_re_map.end() ? nullptr : it->second;
}

void RE_MANAGER::clear() {
  for (RE_NODE* n : m_nodes) delete n;
  m_nodes.clear();
  for (auto& e : m_re_map) delete e.second;
  m_re_map = ZMP_HASH_LITE<unsigned int, RE_NODE*>();
  for (auto& e : m_iterm_map) delete e.second;
  m_iterm_map = ZMP_HASH_LITE<VOK_ATOM_ITERM*, RE_NODE*>();
}
