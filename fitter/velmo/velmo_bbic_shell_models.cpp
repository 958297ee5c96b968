// Shell-state helpers: typed model lookup, atom-id reset, disconnect state.
#include "velmo_bbic_shell_models.h"

#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include "cfg/cfg.h"
#include "dev/dev_basic_info.h"
#include "dev/dev_die_info.h"
#include "dev/dev_location.h"
#include "kiv/kiv_database.h"
#include "msg/msg_internal_error.h"
#include "pelk/pelk_symbol.h"
#include "pexa/pexa_utility.h"
#include "r5t/r5t_directives.h"
#include "r5t/r5t_kiv_model.h"
#include "velmo_bbic.h"
#include "velmo_debug.h"
#include "vok/vok_atom_kiv_model.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_re_logical_port.h"
#include "vok/vok_re_routing.h"
#include "vok/vok_routing_model.h"
#include "w3j3/w3j3_mapping_model.h"
#include "zel/zel_atom_util.h"

namespace {

[[noreturn]] void l_internal_error(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "VELMO", "velmo_bbic", line);
}

}  // namespace

template <class M> M* velmo_bbic_get_model(KIV_STATE& state, const std::string& name) {
  KIV_MODEL* found = nullptr;
  for (KIV_MODEL* m : state.get_models())
    if (m->get_name() == name) {
      found = m;
      break;
    }
  if (found == nullptr) return nullptr;
  if (found->get_type() != M::s_model_type_string) {
    // Bounded: a long model name is cut at the buffer's end.
    char text[4096];
    std::snprintf(text, sizeof text, "Model %s does not have type %s", name.c_str(), M::s_model_type_string);
    l_internal_error(text, __LINE__);
  }
  return static_cast<M*>(found);
}

template VOK_ATOM_KIV_MODEL* velmo_bbic_get_model<VOK_ATOM_KIV_MODEL>(KIV_STATE&, const std::string&);
template VOK_ROUTING_MODEL* velmo_bbic_get_model<VOK_ROUTING_MODEL>(KIV_STATE&, const std::string&);
template R5T_KIV_MODEL* velmo_bbic_get_model<R5T_KIV_MODEL>(KIV_STATE&, const std::string&);
template W3J3_MAPPING_MODEL* velmo_bbic_get_model<W3J3_MAPPING_MODEL>(KIV_STATE&, const std::string&);

VOK_ATOM_NETLIST* velmo_bbic_get_netlist(KIV_STATE& state) {
  VOK_ATOM_KIV_MODEL* nm = velmo_bbic_get_model<VOK_ATOM_KIV_MODEL>(state, "netlist");
  if (nm == nullptr) l_internal_error("nm", __LINE__);
  return nm->get_atom_netlist();
}

void velmo_bbic_set_next_atom_id(unsigned next_id) {
  if (!VOK_ATOM_NODE::is_id_manipulation_forbidden()) {
    VOK_ATOM_NODE::reset_next_id(static_cast<int>(next_id));
    return;
  }
  cfg_set_off("forbid_atom_id_manipulation");
  VOK_ATOM_NODE::forbid_id_manipulation();
  VOK_ATOM_NODE::reset_next_id(static_cast<int>(next_id));
  cfg_set_on("forbid_atom_id_manipulation");
  VOK_ATOM_NODE::forbid_id_manipulation();
  if (!VOK_ATOM_NODE::is_id_manipulation_forbidden()) l_internal_error("VOK_ATOM_NODE::is_id_manipulation_forbidden()", __LINE__);
}

VOK_NET_ITERM::CONNECT_STATE velmo_bbic_get_disconnect_state_for_iterm(const VOK_ATOM_ITERM* iterm) {
  if (iterm == nullptr) l_internal_error("iterm", __LINE__);
  for (int usage : {33, 12, 13, 14, 15, 16, 17, 18})
    if (iterm->is_used_as(usage)) return VOK_NET_ITERM::OPEN;
  return VOK_NET_ITERM::GROUND;
}

namespace {

// Replaces the state's model of that name (the state does not delete a
// model another state holds).
void l_replace_model(KIV_STATE& state, const std::string& name, KIV_MODEL* model) {
  for (KIV_MODEL* m : state.get_models())
    if (m->get_name() == name) {
      state.remove_model(m);
      break;
    }
  state.add_model(model);
}

}  // namespace

void velmo_bbic_copy_netlist_model(KIV_STATE& shell, KIV_STATE& full) {
  const unsigned next_id = static_cast<unsigned>(VOK_ATOM_NODE::s_next_id);
  VOK_ATOM_KIV_MODEL* full_model = velmo_bbic_get_model<VOK_ATOM_KIV_MODEL>(full, "netlist");
  if (full_model == nullptr) l_internal_error("full_kiv_netlist_model", __LINE__);
  VOK_ATOM_NETLIST* full_netlist = full_model->get_atom_netlist();
  if (full_netlist == nullptr) l_internal_error("full_netlist", __LINE__);
  const std::vector<std::string>& components = full_model->get_path().get_trie().components();
  const std::string path = full_model->get_path().get_trie().as_string();
  msg_vdebug_impl(2, "Reloading netlist from path: %s", path.c_str());
  msg_vdebug_impl(2, "BEFORE next_id=%u", static_cast<unsigned>(VOK_ATOM_NODE::s_next_id));
  KIV_MODEL* loaded = KIV_DATABASE::get()->load_model(components, 0, 0);
  if (loaded == nullptr || loaded->get_type() != VOK_ATOM_KIV_MODEL::s_model_type_string)
    l_internal_error("empty_netlist_model", __LINE__);
  if (loaded == full_model) l_internal_error("empty_netlist_model != full_kiv_netlist_model", __LINE__);
  msg_vdebug_impl(2, "AFTER next_id=%u", static_cast<unsigned>(VOK_ATOM_NODE::s_next_id));
  auto* empty_model = static_cast<VOK_ATOM_KIV_MODEL*>(loaded);
  l_replace_model(shell, "netlist", empty_model);
  VOK_ATOM_NETLIST* empty_netlist = empty_model->get_atom_netlist();
  if (empty_netlist == nullptr) l_internal_error("empty_netlist", __LINE__);
  empty_netlist->sanity_check(0);
  if (empty_netlist == full_netlist) l_internal_error("empty_netlist != full_netlist", __LINE__);
  if (empty_netlist->size() != full_netlist->size())
    l_internal_error("empty_netlist->size( VOK_TRAVERSE::LOCAL ) == full_netlist->size( VOK_TRAVERSE::LOCAL )", __LINE__);
  if (full_netlist->get_namespace().empty()) l_internal_error("m_namespace != nullptr", __LINE__);
  empty_netlist->set_namespace(full_netlist->get_namespace());
  if (!full_netlist->empty()) {
    // Consecutive renumbering gives the shell the full ids only when those
    // are consecutive; a full netlist with gaps (atoms of nested boxes were
    // made in between) hands over its ids atom by atom.
    bool consecutive = true;
    int expected = full_netlist->get_atom_list().front()->get_id();
    for (const VOK_ATOM_NODE* node : full_netlist->get_atom_list()) consecutive = consecutive && node->get_id() == expected++;
    if (consecutive)
      empty_netlist->reindex_ids(full_netlist->get_atom_list().front()->get_id(), [](int, int) {});
    else
      empty_netlist->reindex_ids_as(*full_netlist);
  }
  if (cfg_is_on("jov_bbic_debug_high", false)) {
    velmo_bbic_dump_netlist(*full_netlist, "full");
    velmo_bbic_dump_netlist(*empty_netlist, "empty-initial");
  }
  std::map<int, unsigned> atom_to_name_id_map;
  for (const VOK_ATOM_NODE* node : full_netlist->get_atom_list())
    atom_to_name_id_map.emplace(node->get_id(), node->get_instance_name_id());
  for (const VOK_ATOM_NODE* node : empty_netlist->get_atom_list()) {
    auto find_it = atom_to_name_id_map.find(node->get_id());
    if (find_it == atom_to_name_id_map.end()) l_internal_error("find_it != atom_to_name_id_map.end()", __LINE__);
    if (find_it->second != node->get_instance_name_id())
      l_internal_error("find_it->second == node->get_instance_name_id()", __LINE__);
  }
  velmo_bbic_set_next_atom_id(next_id);
}

void velmo_bbic_copy_routing_model(KIV_STATE& shell, KIV_STATE& full) {
  VOK_ROUTING_MODEL* full_model = velmo_bbic_get_model<VOK_ROUTING_MODEL>(full, "routing");
  if (full_model == nullptr) l_internal_error("full_routing_model", __LINE__);
  // The shell's netlist is looked up first so that a failure leaks nothing.
  VOK_ATOM_NETLIST* empty_netlist = velmo_bbic_get_netlist(shell);
  if (empty_netlist == nullptr) l_internal_error("empty_netlist", __LINE__);
  std::vector<JUK::FOREST<int, int>*> networks;
  for (int i = 0; i < VOK_ROUTING_MODEL::NUM_NETWORK_TYPES; ++i) {
    const JUK::FOREST<int, int>* n = full_model->get_network(i);
    networks.push_back(n != nullptr ? new JUK::FOREST<int, int>(*n) : nullptr);
  }
  auto* model = new VOK_ROUTING_MODEL(networks);
  model->set_atom_netlist(empty_netlist);
  if (const VOK_RE_ROUTING* routing = full_model->get_routing()) {
    auto copy = std::make_unique<VOK_RE_ROUTING>();
    *copy = *routing;
    copy->attach_atom_netlist(nullptr, 0);
    model->set_routing(std::move(copy));
  }
  if (const auto* values = full_model->get_value_list())
    model->set_value_list(std::make_unique<std::vector<std::uint32_t>>(*values));
  if (const ZMP_BOOL_VECTOR* bits = full_model->get_bit_set()) model->set_bit_set(std::make_unique<ZMP_BOOL_VECTOR>(*bits));
  model->levels() = full_model->levels();
  l_replace_model(shell, "routing", model);
  model->set_path(full_model->get_path());
}

namespace {

// Both atoms placed in one location group: equal x and y and the same
// group of six sub-locations.
bool l_same_location_group(const DEV_DIE_INFO* di, const VOK_ATOM_NODE* a, const VOK_ATOM_NODE* b) {
  DEV_LOCATION la;
  DEV_LOCATION lb;
  if (!di->get_location(a->get_location_gid(), la) || !di->get_location(b->get_location_gid(), lb)) return false;
  return la[DEV_LOCATION_X] == lb[DEV_LOCATION_X] && la[DEV_LOCATION_Y] == lb[DEV_LOCATION_Y] &&
         la[DEV_LOCATION_SUB] / 6 == lb[DEV_LOCATION_SUB] / 6;
}

using PORT_SET = ZMP_HASH_SET_LITE<VOK_ATOM_LOGICAL_PORT, VOK_ATOM_LOGICAL_PORT_OPS>;

}  // namespace

void velmo_bbic_filter_directives(KIV_STATE& shell, VOK_ATOM_NETLIST& netlist, const VELMO_BBIC_KEEP_SET& keep_set,
                                  const VELMO_BBIC_ITERM_SET& boundary) {
  R5T_KIV_MODEL* old_model = velmo_bbic_get_model<R5T_KIV_MODEL>(shell, R5T_KIV_MODEL::s_model_type_string);
  if (old_model == nullptr || old_model->get_r5t() == nullptr) return;
  R5T_DIRECTIVES* old_directives = old_model->get_r5t();

  // Input ports the shell's routing still reaches.
  PORT_SET routed;
  VOK_ROUTING_MODEL* routing_model = velmo_bbic_get_model<VOK_ROUTING_MODEL>(shell, "routing");
  if (const VOK_RE_ROUTING* r = routing_model != nullptr ? routing_model->get_routing() : nullptr) {
    const VOK_RE_ROUTING_ZOTA_SKIP skip;
    auto roots = r->root_ids<VOK_RE_ROUTING_ZOTA_SKIP>();
    for (auto it = roots.first; !(it == roots.second); ++it)
      for (VOK_RE_ROUTING::leaf_id_iterator leaf(r, r->get_first_leaf(*it, skip), *it); !leaf.at_end(); ++leaf) {
        if (!r->is_terminal(*leaf)) continue;
        const VOK_ATOM_LOGICAL_PORT& port = r->get_node_terminal(*leaf).port;
        if (port.get_port().get_namespace() == VOK_PORT_NAMESPACE_INPUT) routed.insert(port);
      }
  }

  VOK_ATOM_NETLIST kept_atoms;
  kept_atoms.set_own_all_nodes(false);
  for (VOK_ATOM_NODE* a : keep_set.nodes()) kept_atoms.add_node(a, false);
  velmo_bbic_dump_directives(netlist, old_directives, "full");
  auto directives = std::make_unique<R5T_DIRECTIVES>();
  old_directives->filter(kept_atoms, *directives);
  velmo_bbic_dump_directives(netlist, directives.get(), "filtered");

  const DEV_DEVICE* device = PEXA_UTILITY::get_current_device();
  if (device == nullptr) l_internal_error("dev_device", __LINE__);
  const DEV_DIE_INFO* di = device->get_die_info();
  if (di == nullptr) l_internal_error("di", __LINE__);
  const PELK qfb = PELK::intern(1, "QFB");
  auto is_local_feedback = [&](const VOK_ATOM_NODE* driver, const VOK_ATOM_ITERM* fanout) {
    const VOK_ATOM_NODE* sink = fanout->get_my_node();
    if (driver->get_location_index() == -1 || sink->get_location_index() == -1) return false;
    if (!l_same_location_group(di, driver, sink)) return false;
    if (sink->get_basic_type() == 3 || sink->get_basic_type() == 284 || ZEL_ATOM_UTIL::is_zota_marked_reg(sink))
      return false;
    const VOK_ATOM_LOGICAL_PORT port = vok_get_logical_port(fanout);
    const ZMP_TINY_VECTOR<PELK>* mapping = directives->get_atom_mapping(port);
    if (mapping != nullptr && !mapping->empty()) return (*mapping)[0] == qfb;
    return routed.find(port).is_end();
  };
  unsigned oterms_removed = 0;
  for (VOK_ATOM_NODE* a : keep_set.nodes()) {
    for (VOK_ATOM_OTERM* o : a->oterms()) {
      bool all_local = true;
      for (VOK_ATOM_ITERM* f : o->fanout(VOK_TRAVERSE_AS_STORED)) {
        if (!boundary.find(f).is_end()) continue;
        if (!is_local_feedback(a, f)) {
          all_local = false;
          break;
        }
      }
      const VOK_ATOM_LOGICAL_PORT port = vok_get_logical_port(o);
      const ZMP_TINY_VECTOR<PELK>* mapping = directives->get_atom_mapping(port);
      if (!all_local || mapping == nullptr || mapping->empty()) continue;
      directives->assert_modifiable(port);
      directives->delete_atom_mapping(port);
      ++oterms_removed;
    }
  }
  unsigned iterms_removed = 0;
  for (VOK_ATOM_ITERM* t : boundary) {
    if (velmo_bbic_get_disconnect_state_for_iterm(t) != VOK_NET_ITERM::GROUND) continue;
    const VOK_ATOM_LOGICAL_PORT port = vok_get_logical_port(t);
    directives->assert_modifiable(port);
    directives->delete_atom_mapping(port);
    ++iterms_removed;
  }
  msg_vdebug_impl(2, "Removed iterm mapping for %u of %u disconnected iterms and %u oterms", iterms_removed,
                  static_cast<unsigned>(boundary.size()), oterms_removed);
  velmo_bbic_dump_directives(netlist, directives.get(), "final");
  // The old model's path is taken before the model may go.
  const KIV_PATH path = old_model->get_path();
  auto* model = new R5T_KIV_MODEL(directives.release());
  model->set_atom_netlist(&netlist);
  model->set_path(path);
  l_replace_model(shell, R5T_KIV_MODEL::s_model_type_string, model);
}
