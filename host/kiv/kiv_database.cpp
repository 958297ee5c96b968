#include "kiv/kiv_database.h"

#include "common/host_call_log.h"
#include "common/host_world.h"
#include "jov/jov_design.h"
#include "vok/vok_atom_kiv_model.h"
#include "vok/vok_atom_netlist.h"

namespace {
struct KIV_DATABASE_WORLD {
  KIV_DATABASE database;
  std::function<KIV_MODEL*(const KIV_PATH&)> hook;
};
KIV_DATABASE_WORLD& world() { return host_world_slot<KIV_DATABASE_WORLD>(); }

KIV_MODEL* stored_model(const KIV_PATH& path) {
  JOV_DESIGN* design = JOV_ROOT::get()->get_design("");
  for (const auto& p : design->get_partitions())
    for (JOV_PARTITION::STATE_ENUM which : {JOV_PARTITION::DEFAULT, JOV_PARTITION::BBIC_DEPOPULATED})
      if (const JOV_STATE* s = p->has_state(which) ? p->get_state(which) : nullptr)
        if (KIV_MODEL* m = s->get_kiv_state()->find_model(path)) return m;
  return design->get_current_state()->find_model(path);
}
}  // namespace

KIV_DATABASE* KIV_DATABASE::get() { return &world().database; }

KIV_MODEL* KIV_DATABASE::load_model(const std::vector<std::string>& components, int flag1, int flag2) {
  const KIV_PATH path(components);
  host::log_call("KIV_DATABASE::load_model", path.get_trie().as_string(), flag1, flag2);
  if (world().hook) return world().hook(path);
  const auto* stored = dynamic_cast<const VOK_ATOM_KIV_MODEL*>(stored_model(path));
  if (stored == nullptr || stored->get_atom_netlist() == nullptr) return nullptr;
  auto* model = new VOK_ATOM_KIV_MODEL(stored->get_atom_netlist()->deep_copy(), true);
  model->set_path(path);
  return model;
}

namespace host::kiv {
void set_load_hook(std::function<KIV_MODEL*(const KIV_PATH&)> hook) { world().hook = std::move(hook); }
}  // namespace host::kiv
