#include "jov/jov_hidden_contents.h"

#include <unordered_set>

#include "jov/jov_design.h"
#include "kiv/kiv_model.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_re_routing.h"
#include "vok/vok_routing_model.h"

namespace host::partitions {

namespace {
template <class F> void for_each_shelled(F&& f) {
  JOV_DESIGN* design = JOV_ROOT::get()->get_design("");
  if (design == nullptr) return;
  for (const auto& p : design->get_partitions())
    if (p->get_active_state() == JOV_PARTITION::BBIC_DEPOPULATED && p->has_state(JOV_PARTITION::DEFAULT)) f(*p);
}
}  // namespace

std::vector<VOK_ATOM_NODE*> hidden_atoms() {
  std::vector<VOK_ATOM_NODE*> out;
  for_each_shelled([&](const JOV_PARTITION& p) {
    std::unordered_set<int> shown;
    for (const VOK_ATOM_NODE* a : p.get_state()->get_atom_netlist()->get_atom_list()) shown.insert(a->get_id());
    for (VOK_ATOM_NODE* a : p.get_state(JOV_PARTITION::DEFAULT)->get_atom_netlist()->get_atom_list())
      if (!a->is_box() && !a->is_port() && a->is_placed() && !shown.count(a->get_id())) out.push_back(a);
  });
  return out;
}

std::vector<unsigned> hidden_routing_elements() {
  std::vector<unsigned> out;
  for_each_shelled([&](const JOV_PARTITION& p) {
    for (KIV_MODEL* m : p.get_state(JOV_PARTITION::DEFAULT)->get_kiv_state()->get_models()) {
      const auto* model = m->get_name() == "routing" ? dynamic_cast<const VOK_ROUTING_MODEL*>(m) : nullptr;
      if (model == nullptr || model->get_routing() == nullptr) continue;
      const VOK_RE_ROUTING& r = *model->get_routing();
      for (int id = 0; id < r.forest().num_slots(); ++id)
        if (r.is_live(id) && r.is_wire(id)) out.push_back(r.get_gid(id) & 0x7FFFFFFFu);
    }
  });
  return out;
}

}  // namespace host::partitions
