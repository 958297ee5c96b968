// Routing push-back: after routing a blackboxed design, each partition
// compiled in this run receives its share of the routing and its
// directives in its full-contents state.
#include <cstdint>
#include <memory>
#include <vector>

#include "cfg/cfg.h"
#include "jov/jov_design.h"
#include "jov/jov_routing_splitter.h"
#include "msg/msg_internal_error.h"
#include "r5t/r5t_directives.h"
#include "r5t/r5t_interface.h"
#include "r5t/r5t_kiv_model.h"
#include "velmo_bbic.h"
#include "velmo_bbic_root_routing.h"
#include "velmo_bbic_shell_models.h"
#include "velmo_debug.h"
#include "velmo_expert.h"
#include "vok/vok_atom_kiv_model.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_routing.h"
#include "vok/vok_routing_model.h"
#include "zmp_hash_set_lite_sys.h"

namespace {

using NETWORK = JUK::FOREST<int, int>;

[[noreturn]] void l_internal_error(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "VELMO", "velmo_bbic", line);
}

// The netlist model's path with its last component replaced.
KIV_PATH l_sibling_path(const KIV_MODEL& model, const char* name) {
  std::vector<std::string> parts = model.get_path().get_trie().components();
  if (parts.empty())
    parts.push_back(name);
  else
    parts.back() = name;
  return KIV_PATH(parts);
}

// The routing-element ids of every partition's full-contents routing.
ZMP_HASH_SET_LITE<unsigned int, ZMP_OPS<unsigned int, void>> l_partition_gids(const JOV_DESIGN& design) {
  ZMP_HASH_SET_LITE<unsigned int, ZMP_OPS<unsigned int, void>> gids;
  for (const auto& p : design.get_partitions()) {
    VOK_ROUTING_MODEL* model =
        velmo_bbic_get_model<VOK_ROUTING_MODEL>(*p->get_state(JOV_PARTITION::DEFAULT)->get_kiv_state(), "routing");
    if (model == nullptr || model->get_routing() == nullptr) continue;
    const VOK_RE_ROUTING& r = *model->get_routing();
    for (auto it = r.begin_node_ids(VOK_RE_ROUTING_ZOTA_SKIP()); it != r.end_node_ids(VOK_RE_ROUTING_ZOTA_SKIP()); ++it) {
      const auto word = static_cast<std::uint32_t>(r.get_value(*it));
      if ((word & 0x80000000u) != 0 && word != 0xFFFFFFFFu) gids.insert(word & 0x7FFFFFFFu);
    }
  }
  return gids;
}

}  // namespace

void VELMO_BBIC::push_routing_to_partitions() {
  VELMO_SCOPED_PROFILE_BIN bin("bbic_push_routing_to_partitions", nullptr);
  JOV_DESIGN* design = JOV_ROOT::get()->get_design("");
  VOK_CHIP_DB_ENTRY* entry = VOK_CHIP_DB_ENTRY::current();
  velmo_bbic_dump_routing("presplit");
  const bool check = cfg_is_on("bbic_debug_routing_push", false);
  NETWORK crf_pre, blc_pre, fcd_pre;
  if (check) {
    crf_pre = *entry->get_crf_network();
    blc_pre = *entry->get_blc_network();
    fcd_pre = *entry->get_fcd_network();
  }
  R5T_INTERFACE* r5t = R5T_INTERFACE::get_instance();
  if (r5t == nullptr) l_internal_error("top_r5t", __LINE__);

  ZMP_HASH_SET_LITE<JOV_PARTITION*> work;
  if (!cfg_is_on("jov_inherit_preservation", true)) {
    for (const auto& x : design->get_partitions()) {
      if (x->has_clock_routing() || !x->is_state_loaded(JOV_PARTITION::s_unspecified)) continue;
      if (!x->get_state()->get_atom_netlist()->is_modifiable() || x->get_parent() == nullptr) continue;
      if (x->get_parent()->get_state()->get_atom_netlist()->is_modifiable()) continue;
      work.insert(x->get_parent());
    }
    if (!(work.size() <= 1U)) l_internal_error("work.size() <= 1U", __LINE__);
  }
  JOV_PARTITION* w = work.size() == 1U ? *work.begin() : nullptr;
  JOV_PARTITION::STATE_SELECTOR w_active;
  if (w != nullptr) {
    w_active = w->get_active_state();
    w->set_active_state(JOV_PARTITION::DEFAULT);
    JOV_UTILS::set_read_only_status(*w->get_state(JOV_PARTITION::DEFAULT)->get_kiv_state(), false);
  }

  for (const auto& p : design->get_partitions()) {
    const bool in_work = p.get() == w;
    if (!in_work && !(p->get_kind() == 1 && p->get_state()->get_atom_netlist()->is_modifiable())) continue;
    msg_vdebug_impl(2, "Push routing to partition %s", p->get_name().c_str());
    KIV_STATE& state = *p->get_state(JOV_PARTITION::DEFAULT)->get_kiv_state();
    VOK_ATOM_KIV_MODEL* nm = velmo_bbic_get_model<VOK_ATOM_KIV_MODEL>(state, "netlist");
    if (nm == nullptr) l_internal_error("nm", __LINE__);
    VOK_ATOM_NETLIST* netlist = p->get_state()->get_atom_netlist();
    auto model = std::make_unique<VOK_ROUTING_MODEL>(std::vector<NETWORK*>{new NETWORK(), new NETWORK(), new NETWORK()});
    model->set_atom_netlist(netlist);
    model->set_routing(JOV_ROUTING_SPLITTER::get_routing_for_partition(p.get()));
    model->set_path(l_sibling_path(*nm, "routing"));
    if (in_work) l_internal_error("INI flow not yet updated for VOK_RE_ROUTING!", __LINE__);
    JOV_ROUTING_SPLITTER::split_hslp_tiles(model.get(), p.get(), netlist, entry, "routed");
    // A fresh model replaces one the state held.
    for (const char* name : {"routing", "r5t"})
      for (KIV_MODEL* m : state.get_models())
        if (m->get_name() == name) {
          state.remove_model(m);
          break;
        }
    state.add_model(model.release());
    auto* directives = new R5T_DIRECTIVES();
    r5t->filter(*netlist, *directives);
    auto* r5t_model = new R5T_KIV_MODEL(directives);
    r5t_model->set_atom_netlist(netlist);
    r5t_model->set_path(l_sibling_path(*nm, "r5t"));
    state.add_model(r5t_model);
  }
  velmo_bbic_dump_routing("postsplit");

  if (check) {
    NETWORK crf_post = *entry->get_crf_network(), blc_post = *entry->get_blc_network(),
            fcd_post = *entry->get_fcd_network();
    for (NETWORK* n : {&crf_pre, &blc_pre, &fcd_pre, &crf_post, &blc_post, &fcd_post}) n->sort();
    if (!(fcd_pre == fcd_post)) l_internal_error("fcd_ok", __LINE__);
    if (!(blc_pre == blc_post)) l_internal_error("blc_ok", __LINE__);
    if (!(crf_pre == crf_post)) l_internal_error("crf_ok", __LINE__);
    const auto gids = l_partition_gids(*design);
    auto check_for_dropped_gids = [&gids](const NETWORK* forest) {
      std::uint64_t missing = 0;
      for (int id = 0; id < forest->num_slots(); ++id) {
        if (forest->is_erased(id)) continue;
        const auto gid = static_cast<unsigned>(forest->payload(id));
        if (!gids.find(gid).is_end()) continue;
        ++missing;
        msg_vdebug_impl(2, "Missing GID %u", gid);
      }
      return missing;
    };
    if (!(0 == check_for_dropped_gids(&fcd_post))) l_internal_error("0 == check_for_dropped_gids( &fcd )", __LINE__);
    if (!(0 == check_for_dropped_gids(&blc_post))) l_internal_error("0 == check_for_dropped_gids( &blc )", __LINE__);
    if (!(0 == check_for_dropped_gids(&crf_post))) l_internal_error("0 == check_for_dropped_gids( &crf )", __LINE__);
  }
  if (cfg_is_on("jov_bbic_debug_remerge", false)) {
    velmo_bbic_merge_re_networks();
    velmo_bbic_dump_routing("postsplit_remerge");
  }
  if (w != nullptr) {
    JOV_UTILS::set_read_only_status(*w->get_state(JOV_PARTITION::DEFAULT)->get_kiv_state(), true);
    if (w_active)
      w->set_active_state(*w_active);
    else
      w->clear_active_state();
  }
}
