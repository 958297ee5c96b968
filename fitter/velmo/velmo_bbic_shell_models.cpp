// Shell-state helpers: typed model lookup, atom-id reset, disconnect state.
#include "velmo_bbic_shell_models.h"

#include <cstdio>

#include "cfg/cfg.h"
#include "msg/msg_internal_error.h"
#include "r5t/r5t_kiv_model.h"
#include "vok/vok_atom_kiv_model.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_routing_model.h"

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
