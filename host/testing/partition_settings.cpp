#include "testing/partition_settings.h"

#include <algorithm>
#include <cctype>
#include <functional>
#include <map>
#include <set>

#include <nlohmann/json.hpp>

#include "jov/jov_design.h"
#include "jov/jov_routing_splitter.h"
#include "korrin/korrin_graph.h"
#include "korrin/korrin_router.h"
#include "gesk/gesk_bundle.h"
#include "kiv/kiv_model.h"
#include "moz/moz_assignment.h"
#include "hov/hov_utility.h"
#include "kem/kem_netlist.h"
#include "sta/sta_analysis.h"
#include "testing/blif_design.h"
#include "testing/design_settings.h"
#include "testing/partition_builder.h"
#include "tibex/tibex_placer.h"
#include "vok/vok_atom_kiv_model.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_routing.h"
#include "vok/vok_re_stitched_network.h"
#include "vok/vok_routing_model.h"
#include "wexan/wexan_atom_mod_drc.h"

namespace host::testing {

namespace {

constexpr int kVantrelPreserve = 1773;
// The atom-modification operation that duplicates a register, and the
// check's reason for an atom of a preserved partition.
constexpr int kDuplicate = 41;
constexpr std::uint64_t kPreservedReason = std::uint64_t{1} << 3;

[[noreturn]] void fail(const std::string& file, const std::string& what) {
  throw DESIGN_SETTINGS_ERROR(file + ": " + what);
}

bool is_io(const VOK_ATOM_NODE* a) {
  switch (a->get_kind()) {
    case VOK_ATOM_KIND::PAD:
    case VOK_ATOM_KIND::IBUF:
    case VOK_ATOM_KIND::OBUF:
    case VOK_ATOM_KIND::IO_REGISTER:
    case VOK_ATOM_KIND::INPUT_PORT:
    case VOK_ATOM_KIND::OUTPUT_PORT:
    case VOK_ATOM_KIND::BIDIR_PORT: return true;
    default: return false;
  }
}

bool is_lut(const VOK_ATOM_NODE* a) {
  return a->get_kind() == VOK_ATOM_KIND::COMB_CELL || a->get_kind() == VOK_ATOM_KIND::ARITH_CELL;
}

// The partitions' nets across boundaries go through box ports, made once per
// (driver, box).
class SPLITTER {
public:
  SPLITTER(std::map<std::string, JOV_PARTITION*> parts) : m_parts(std::move(parts)) {}

  VOK_ATOM_NETLIST* netlist_of(const JOV_PARTITION* p) const { return p->get_state()->get_atom_netlist(); }

  // The driver seen in the parent's netlist of p: p's box output for `o`.
  VOK_ATOM_OTERM* up(VOK_ATOM_OTERM* o, JOV_PARTITION* p) {
    auto key = std::make_pair(o, p);
    if (auto it = m_up.find(key); it != m_up.end()) return it->second;
    VOK_ATOM_BLACKBOX* box = p->get_box();
    const std::string port = "o" + std::to_string(box->get_port_count());
    VOK_ATOM_NODE* inner = VOK_ATOM_FACTORY::create_node(VOK_ATOM_KIND::OUTPUT_PORT);
    inner->set_name(p->get_name() + "|" + port);
    netlist_of(p)->add_node(inner);
    VOK_ATOM_ITERM* in = inner->add_input_term(DB_INPUT_PORT_BOX, 0);
    vok_connect(o, in);
    VOK_ATOM_OTERM* outer = box->add_output_port(port, inner);
    m_up.emplace(key, outer);
    return outer;
  }

  // The driver seen inside p for `o` of p's parent netlist: p's box input.
  VOK_ATOM_OTERM* down(VOK_ATOM_OTERM* o, JOV_PARTITION* p) {
    auto key = std::make_pair(o, p);
    if (auto it = m_down.find(key); it != m_down.end()) return it->second;
    VOK_ATOM_BLACKBOX* box = p->get_box();
    const std::string port = "i" + std::to_string(box->get_port_count());
    VOK_ATOM_NODE* inner = VOK_ATOM_FACTORY::create_node(VOK_ATOM_KIND::INPUT_PORT);
    inner->set_name(p->get_name() + "|" + port);
    netlist_of(p)->add_node(inner);
    VOK_ATOM_OTERM* inner_out = inner->add_output_term(DB_OUTPUT_PORT_DATA, 0);
    VOK_ATOM_ITERM* outer = box->add_input_port(port, inner);
    vok_connect(o, outer);
    m_down.emplace(key, inner_out);
    return inner_out;
  }

  // Reconnects sink (in partition `to`) to o (in partition `from`).
  void connect(VOK_ATOM_OTERM* o, JOV_PARTITION* from, VOK_ATOM_ITERM* sink, JOV_PARTITION* to) {
    std::vector<JOV_PARTITION*> down_path;
    auto depth = [](const JOV_PARTITION* p) {
      int d = 0;
      for (; p->get_parent(); p = p->get_parent()) ++d;
      return d;
    };
    JOV_PARTITION* a = from;
    JOV_PARTITION* b = to;
    while (depth(a) > depth(b)) o = up(o, a), a = a->get_parent();
    while (depth(b) > depth(a)) down_path.push_back(b), b = b->get_parent();
    while (a != b) {
      o = up(o, a), a = a->get_parent();
      down_path.push_back(b), b = b->get_parent();
    }
    for (auto it = down_path.rbegin(); it != down_path.rend(); ++it) o = down(o, *it);
    vok_connect(o, sink);
  }

private:
  std::map<std::string, JOV_PARTITION*> m_parts;
  std::map<std::pair<VOK_ATOM_OTERM*, JOV_PARTITION*>, VOK_ATOM_OTERM*> m_up, m_down;
};

// The worst setup and hold slack of an input as the host's analysis left it.
std::pair<std::int32_t, std::int32_t> input_slacks(const VOK_RE_TERMINAL& t) {
  KEM_NETLIST* kem = host::hov::current_kem_netlist();
  const KEM_NETLIST_CELL* cell = kem ? kem->get_cell_from_atom_id(static_cast<int>(t.port.get_atom_id())) : nullptr;
  if (cell == nullptr) return {KEM_NO_SLACK, KEM_NO_SLACK};
  const int type = vok_port_type_of_symbol(t.port.get_port());
  for (int id : cell->get_node_ids()) {
    const KEM_NODE* n = kem->get_node(id);
    const VOK_ATOM_ITERM* it = n ? n->get_iterm() : nullptr;
    if (!n || !n->is_sta_type(KEM_NODE_INPUT_PIN) || !it || static_cast<int>(it->get_port_type()) != type ||
        it->get_index() != t.port.get_index())
      continue;
    std::int32_t setup = KEM_NO_SLACK;
    for (const auto& [domain, slack] : sta_get_node_wns_map(n, false))
      if (setup == KEM_NO_SLACK || slack < setup) setup = slack;
    return {setup, sta_get_node_worst_hold_slack(n, false)};
  }
  return {KEM_NO_SLACK, KEM_NO_SLACK};
}

std::int32_t worse(std::int32_t a, std::int32_t b) {
  if (a == KEM_NO_SLACK) return b;
  if (b == KEM_NO_SLACK) return a;
  return std::min(a, b);
}

// One record per routing element of a share: the worst setup and hold slack
// of the sinks the element serves.
std::vector<JOV_PRESERVED_SLACK> preserved_slacks(const VOK_RE_ROUTING& share) {
  std::vector<JOV_PRESERVED_SLACK> out;
  const int n = share.forest().num_slots();
  std::vector<std::pair<std::int32_t, std::int32_t>> worst(static_cast<std::size_t>(n), {KEM_NO_SLACK, KEM_NO_SLACK});
  std::vector<int> order;  // pre-order; children after parents
  for (int root = share.forest().first_root(); root != -1; root = share.forest().next_sibling(root)) {
    if (share.is_zota_q_root(root)) continue;
    std::vector<int> stack{root};
    while (!stack.empty()) {
      const int id = stack.back();
      stack.pop_back();
      order.push_back(id);
      for (int c : share.get_walk_children(id)) stack.push_back(c);
    }
  }
  for (auto it = order.rbegin(); it != order.rend(); ++it) {
    const int id = *it;
    auto& w = worst[static_cast<std::size_t>(id)];
    const std::int32_t v = share.get_value(id);
    if (v >= 0 && share.get_terminal(v).name_space == VOK_PORT_NAMESPACE_INPUT) w = input_slacks(share.get_terminal(v));
    for (int c : share.get_walk_children(id)) {
      w.first = worse(w.first, worst[static_cast<std::size_t>(c)].first);
      w.second = worse(w.second, worst[static_cast<std::size_t>(c)].second);
    }
  }
  for (int id : order)
    if (share.is_wire(id))
      out.push_back({share.get_gid(id), {worst[static_cast<std::size_t>(id)].first, worst[static_cast<std::size_t>(id)].second}});
  return out;
}

}  // namespace

bool partition_pattern_matches(const std::string& pattern, const std::string& name) {
  // Iterative wildcard match with one backtrack point.
  std::size_t p = 0, n = 0, star = std::string::npos, mark = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
      ++p, ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      mark = n;
    } else if (star != std::string::npos) {
      p = star + 1;
      n = ++mark;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

std::vector<PARTITION_SETTING> parse_partition_settings(const std::string& list_json, const std::string& file) {
  using nlohmann::json;
  const json v = json::parse(list_json);
  if (!v.is_array()) fail(file, "partitions must be a list");
  std::vector<PARTITION_SETTING> out;
  std::set<std::string> names;
  for (std::size_t i = 0; i < v.size(); ++i) {
    const std::string where = "partitions[" + std::to_string(i) + "]";
    const json& o = v[i];
    if (!o.is_object()) fail(file, where + " must be an object");
    PARTITION_SETTING s;
    bool has_name = false, has_atoms = false, has_parent = false;
    for (const auto& [key, value] : o.items()) {
      if (key == "name") {
        if (!value.is_string() || value.get<std::string>().empty()) fail(file, where + ".name must be a non-empty string");
        s.name = value.get<std::string>();
        has_name = true;
      } else if (key == "atoms") {
        if (!value.is_array()) fail(file, where + ".atoms must be a list of patterns");
        for (const auto& a : value) {
          if (!a.is_string() || a.get<std::string>().empty()) fail(file, where + ".atoms must hold non-empty strings");
          s.atoms.push_back(a.get<std::string>());
        }
        has_atoms = true;
      } else if (key == "parent") {
        if (!value.is_string() || value.get<std::string>().empty()) fail(file, where + ".parent must be a partition name");
        s.parent = value.get<std::string>();
        has_parent = true;
      } else if (key == "preserved" || key == "clock_routing") {
        if (!value.is_boolean()) fail(file, where + "." + key + " must be true or false");
        (key == "preserved" ? s.preserved : s.clock_routing) = value.get<bool>();
      } else if (key == "vantrel_preserve") {
        if (!value.is_string()) fail(file, where + ".vantrel_preserve must be a string");
        // The fitter acts on "AUTO" alone; "OFF" says so explicitly. Any
        // other word would be ignored, so it is refused.
        std::string word = value.get<std::string>();
        for (char& c : word) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (word != "AUTO" && word != "OFF")
          fail(file, where + ".vantrel_preserve must be AUTO or OFF, not '" + value.get<std::string>() + "'");
        s.vantrel_preserve = value.get<std::string>();
      } else {
        fail(file, "unknown key '" + key + "' in " + where);
      }
    }
    if (!has_name) fail(file, where + " needs a 'name'");
    if (!names.insert(s.name).second) fail(file, "partition '" + s.name + "' is declared twice");
    if (s.name == "|" && (has_atoms || has_parent))
      fail(file, "partition '|' takes no 'atoms' and no 'parent': it holds what no other partition takes");
    if (s.name != "|" && !has_atoms) fail(file, "partition '" + s.name + "' needs 'atoms'");
    out.push_back(std::move(s));
  }
  return out;
}

void apply_partition_settings(const std::vector<PARTITION_SETTING>& partitions, const std::string& file) {
  if (partitions.empty()) return;
  VOK_ATOM_NETLIST* top = host::vok::top_netlist();
  // Parents known, no cycle; creation order puts parents first.
  std::map<std::string, const PARTITION_SETTING*> by_name;
  for (const auto& p : partitions) by_name[p.name] = &p;
  std::vector<const PARTITION_SETTING*> order;
  std::set<std::string> placed{"|"};
  for (const auto& p : partitions) {
    if (p.name == "|") continue;
    if (p.parent != "|" && !by_name.count(p.parent))
      fail(file, "partition '" + p.name + "' has an unknown parent '" + p.parent + "'");
    std::set<std::string> seen{p.name};
    for (std::string q = p.parent; q != "|"; q = by_name.at(q)->parent)
      if (!seen.insert(q).second) fail(file, "partition '" + p.name + "' is part of a parent cycle");
  }
  const std::size_t others = by_name.size() - by_name.count("|");
  while (order.size() < others) {
    for (const auto& p : partitions)
      if (p.name != "|" && !placed.count(p.name) && placed.count(p.parent)) {
        order.push_back(&p);
        placed.insert(p.name);
      }
  }
  // Claims by pattern.
  std::map<const VOK_ATOM_NODE*, std::string> owner;
  for (const PARTITION_SETTING* p : order)
    for (const std::string& pattern : p->atoms) {
      bool any = false;
      for (const VOK_ATOM_NODE* a : top->get_atom_list()) {
        if (is_io(a) || !partition_pattern_matches(pattern, a->get_string_hpath())) continue;
        any = true;
        auto [it, fresh] = owner.emplace(a, p->name);
        if (!fresh && it->second != p->name)
          fail(file, "atom '" + a->get_string_hpath() + "' is claimed by partitions '" + it->second + "' and '" + p->name + "'");
      }
      if (!any) fail(file, "pattern '" + pattern + "' of partition '" + p->name + "' matches no atom");
    }
  // LUTs whose fanouts all lie in one partition join it.
  for (bool changed = true; changed;) {
    changed = false;
    for (const VOK_ATOM_NODE* a : top->get_atom_list()) {
      if (!is_lut(a) || owner.count(a)) continue;
      std::string common;
      bool ok = true, any = false;
      for (const VOK_ATOM_OTERM* o : a->coterms())
        for (const VOK_ATOM_ITERM* f = o->get_first_fanout(VOK_TRAVERSE_AS_STORED); f && ok;
             f = f->get_next_fanout(VOK_TRAVERSE_AS_STORED)) {
          auto it = owner.find(f->get_my_node());
          if (it == owner.end() || (any && it->second != common)) ok = false;
          else common = it->second, any = true;
        }
      if (ok && any) owner.emplace(a, common), changed = true;
    }
  }

  // The partitions and their boxes.
  JOV_DESIGN* design = JOV_ROOT::get()->get_design("");
  std::map<std::string, JOV_PARTITION*> parts;
  JOV_PARTITION* top_part = top_partition().partition();
  parts["|"] = top_part;
  for (const PARTITION_SETTING* p : order) {
    JOV_PARTITION* parent = parts.at(p->parent);
    VOK_ATOM_NETLIST* parent_netlist = parent->get_state()->get_atom_netlist();
    auto* box = static_cast<VOK_ATOM_BLACKBOX*>(VOK_ATOM_FACTORY::create_node(VOK_ATOM_KIND::BLACKBOX));
    box->set_name(p->name);
    parent_netlist->add_node(box);
    auto* child = new VOK_ATOM_NETLIST();
    box->set_child_netlist(child, false);
    JOV_PARTITION* part = design->add_partition(p->name, parent);
    set_state_netlist(part, part->get_state(JOV_PARTITION::DEFAULT), child, true);
    part->set_box(box);
    parts[p->name] = part;
  }
  // Connections before the move, then the atoms move and crossing
  // connections are re-made through the boxes.
  struct CONN {
    VOK_ATOM_OTERM* source;
    VOK_ATOM_ITERM* sink;
  };
  std::vector<CONN> crossing;
  auto part_of = [&](const VOK_ATOM_NODE* a) {
    auto it = owner.find(a);
    return it == owner.end() ? top_part : parts.at(it->second);
  };
  for (VOK_ATOM_NODE* a : top->get_atom_list())
    for (VOK_ATOM_ITERM* t : a->iterms()) {
      VOK_ATOM_OTERM* s = t->get_source(VOK_TRAVERSE_AS_STORED);
      if (s == nullptr || s->get_my_node() == nullptr) continue;
      if (part_of(s->get_my_node()) != part_of(a)) crossing.push_back({s, t});
    }
  for (const CONN& c : crossing) c.sink->disconnect_from_source(VOK_NET_ITERM::OPEN);
  std::vector<VOK_ATOM_NODE*> moving;
  for (VOK_ATOM_NODE* a : top->get_atom_list())
    if (owner.count(a)) moving.push_back(a);
  for (VOK_ATOM_NODE* a : moving) {
    top->detach(a);
    parts.at(owner.at(a))->get_state()->get_atom_netlist()->add_node(a);
  }
  SPLITTER splitter(parts);
  for (const CONN& c : crossing)
    splitter.connect(c.source, part_of(c.source->get_my_node()), c.sink, part_of(c.sink->get_my_node()));

  // Assignments and flags.
  for (const auto& p : partitions) {
    JOV_PARTITION* part = parts.at(p.name);
    part->set_clock_routing(p.clock_routing);
    if (p.vantrel_preserve)
      host::moz::assign(p.name == "|" ? std::string() : part->get_instance_name()->path(), kVantrelPreserve,
                        *p.vantrel_preserve);
  }
}

bool play_earlier_compile(const std::vector<PARTITION_SETTING>& partitions, std::string* why) {
  if (partitions.empty()) return true;
  // Placed as velmo-fit places (its LAB limit and spread), so a recompiled
  // partition's atoms find room again in the LABs they leave: packed fuller,
  // those LABs would shut them out, and their connections to the preserved
  // atoms there could only enter through inputs the preserved routing
  // already holds. The spread this placement decides holds for the fit's.
  if (!host::placement::place(fit_placer_options())) {
    if (why) *why = "the earlier compile could not place the design";
    return false;
  }
  if (!host::router::route_design(why)) return false;
  record_earlier_compile(partitions);
  return true;
}

void record_earlier_compile(const std::vector<PARTITION_SETTING>& partitions) {
  JOV_DESIGN* design = JOV_ROOT::get()->get_design("");
  VOK_RE_ROUTING* routing = VOK_CHIP_DB_ENTRY::current()->get_routing();
  sta_full_update_timing(false);
  std::map<std::string, bool> preserved;
  for (const auto& p : partitions) preserved[p.name] = p.preserved;
  // A preserved partition's networks hold the earlier compile's routing of
  // every net that reaches its atoms, stitched to its terminals.
  std::map<JOV_PARTITION*, std::vector<JUK::FOREST<int, int>*>> networks;
  for (const auto& part : design->get_partitions()) {
    auto& n = networks[part.get()];
    for (int i = 0; i < 3; ++i) n.push_back(new JUK::FOREST<int, int>());
    if (!preserved[part->get_name()] || GESK_BUNDLE_SINGLETON::get_bundle() == nullptr) continue;
    std::set<std::uint32_t> ids;
    for (VOK_ATOM_NODE* a : part->get_state()->get_atom_netlist()->get_atom_list())
      if (!a->is_box()) ids.insert(static_cast<std::uint32_t>(a->get_id()));
    vok_build_re_networks(*routing, *host::korrin::graph().route_info(), n,
                          *GESK_BUNDLE_SINGLETON::get_bundle()->get_port_map_db(),
                          [&ids](std::uint32_t atom) { return ids.count(atom) != 0; });
  }
  // Recompiled partitions lose placement and the routing serving them.
  {
    VOK_RE_ROUTING_MODIFIER modifier(*routing, "earlier_compile", false, false);
    for (const auto& part : design->get_partitions()) {
      if (preserved[part->get_name()]) continue;
      for (VOK_ATOM_NODE* a : part->get_state()->get_atom_netlist()->get_atom_list()) {
        if (a->is_box() || a->is_port()) continue;
        modifier.erase(a);
      }
    }
  }
  for (const auto& part : design->get_partitions()) {
    if (preserved[part->get_name()]) continue;
    for (VOK_ATOM_NODE* a : part->get_state()->get_atom_netlist()->get_atom_list())
      if (!a->is_box() && !a->is_port()) a->clear_location();
  }
  // The chip entry's networks hold the routing kept from the earlier
  // compile, as a host's compile database gives it to the next fit.
  if (GESK_BUNDLE_SINGLETON::get_bundle() != nullptr) {
    VOK_CHIP_DB_ENTRY* entry = VOK_CHIP_DB_ENTRY::current();
    std::vector<JUK::FOREST<int, int>*> chip{entry->get_network(VOK_CHIP_DB_ENTRY::BLC),
                                             entry->get_network(VOK_CHIP_DB_ENTRY::CRF),
                                             entry->get_network(VOK_CHIP_DB_ENTRY::FCD)};
    for (JUK::FOREST<int, int>* f : chip) *f = JUK::FOREST<int, int>();
    vok_build_re_networks(*routing, *host::korrin::graph().route_info(), chip,
                          *GESK_BUNDLE_SINGLETON::get_bundle()->get_port_map_db(), [](std::uint32_t) { return true; });
  }
  // Source roots left without any route go too.
  std::vector<int> bare;
  for (int r = routing->forest().first_root(); r != -1; r = routing->forest().next_sibling(r))
    if (routing->forest().first_child(r) == -1 && !routing->is_zota_node(r)) bare.push_back(r);
  for (int r : bare) routing->erase(r);
  if (!bare.empty()) routing->rebuild_terminal_maps();
  // Each state's share, slacks and status.
  for (const auto& part : design->get_partitions()) {
    JOV_STATE* state = part->get_state(JOV_PARTITION::DEFAULT);
    std::unique_ptr<VOK_RE_ROUTING> share = JOV_ROUTING_SPLITTER::get_routing_for_partition(*routing, part.get());
    const bool keep = preserved[part->get_name()];
    if (keep) state->preserved_slacks() = preserved_slacks(*share);
    auto* model = new VOK_ROUTING_MODEL(networks[part.get()]);
    model->set_path(KIV_PATH({"db", part->get_name(), "default", "routing"}));
    model->set_atom_netlist(state->get_atom_netlist());
    model->set_routing(std::move(share));
    state->get_kiv_state()->add_model(model);
    state->set_snapshot_name(keep ? "final" : "synthesized");
    part->set_kind(keep ? 0 : 1);
    JOV_UTILS::set_read_only_status(*state->get_kiv_state(), keep);
    // A preserved partition's atoms are locked as well, and the
    // atom-modification check refuses to duplicate its registers.
    for (VOK_ATOM_NODE* a : state->get_atom_netlist()->get_atom_list()) {
      a->set_modifiable(!keep);
      if (keep && a->is_ff()) host::drc::deny(a->get_id(), kDuplicate, kPreservedReason);
    }
  }
}

}  // namespace host::testing
