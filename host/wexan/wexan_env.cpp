#include "wexan/wexan_env.h"
#include "w3j3/w3j3_port_map_db.h"

#include <memory>
#include "kem/kem_manager.h"

#include "siv/siv_atom_mod_utility.h"
#include "wexan/wexan_finalize_services.h"

#include "tibex/tibex_location_constraint.h"

#include "common/host_call_log.h"
#include "common/host_lent.h"
#include "common/host_script.h"
#include "common/host_world.h"
#include "dev/dev_family.h"
#include "hov/hov_utility.h"
#include "sta/sta_analysis.h"
#include "swavo/swavo_recompile_op.h"
#include "vok/vok_atom_netlist.h"
#include "siv/siv_atom_mod_utility.h"
#include "vok/vok_chip_db_entry.h"
#include "wexan/wexan_atom_mod_drc.h"
#include "wexan/wexan_design.h"
#include "wexan/wexan_device.h"
#include "wexan/wexan_utilities.h"
#include "wexan/wexan_fitter_ops.h"

namespace {
struct WEXAN_STATE {
  WEXAN_ENV* env = nullptr;
  WEXAN_DEVICE_FACTORY_FN device_factory = nullptr;
  std::unique_ptr<SIV_ATOM_MOD_UTILITY> independent_amu;
};
WEXAN_STATE& state() { return host_world_slot<WEXAN_STATE>(); }

const char* const kHintsSlot = "WEXAN_ENV::register_packing_hints_for_vpr";
}  // namespace

void* nolt_device_factory_fn(WEXAN_ENV*) { return nullptr; }

WEXAN_ENV::WEXAN_ENV(CMP_FACADE* cmp, int flags, WEXAN_DEVICE_FACTORY_FN device_factory)
    : m_cmp(cmp), m_flags(flags) {
  host::log_call("WEXAN_ENV::WEXAN_ENV", cmp, flags, device_factory);
  state().env = this;
  state().device_factory = device_factory;
}

WEXAN_ENV::~WEXAN_ENV() {
  host::log_call("WEXAN_ENV::~WEXAN_ENV");
  if (get_register_packing_hints_for_vpr()) free_register_packing_hints_for_vpr();
  if (state().env == this) {
    state().independent_amu.reset();
    state().env = nullptr;
  }
}

WEXAN_ENV* WEXAN_ENV::get_env() { return state().env; }

VOK_ATOM_NETLIST* WEXAN_ENV::get_atom_netlist() const { return host::vok::top_netlist(); }

WEXAN_DESIGN* WEXAN_ENV::get_design() const { return WEXAN_DESIGN::current(); }

TIBEX_ZARTO_REGION_LIST* WEXAN_ENV::get_zarto_region_list() const { return host::constraints::regions(); }

WEXAN_ECO* WEXAN_ENV::get_eco() const { return WEXAN_ECO::current(); }

WEXAN_DEVICE* WEXAN_ENV::get_device() const { return WEXAN_DEVICE::current(); }

WEXAN_ATOM_MOD_DRC* WEXAN_ENV::get_atom_mod_drc() const { return WEXAN_ATOM_MOD_DRC::current(); }

SIV_ATOM_MOD_UTILITY* WEXAN_ENV::create_atom_mod_utility_for_algorithm(int algorithm, WEXAN_PIZ_TABLE* table) {
  host::log_call("WEXAN_ENV::create_atom_mod_utility_for_algorithm", algorithm, table);
  return new SIV_ATOM_MOD_UTILITY(algorithm, table);
}

SIV_ATOM_MOD_UTILITY* WEXAN_ENV::get_algorithm_independent_amu() {
  std::unique_ptr<SIV_ATOM_MOD_UTILITY>& amu = state().independent_amu;
  if (!amu) amu = std::make_unique<SIV_ATOM_MOD_UTILITY>(SIV_ATOM_MOD_UTILITY::ALGORITHM_INDEPENDENT, nullptr);
  return amu.get();
}

int WEXAN_ENV::get_base_family_code() const { return host::device::base_family_code(); }
int WEXAN_ENV::get_internal_family_code() const { return host::device::internal_family_code(); }

void WEXAN_ENV::indicate_that_atom_netlist_is_modified(int atom_id, bool flag1, bool flag2) {
  host::log_call("WEXAN_ENV::indicate_that_atom_netlist_is_modified", atom_id, flag1, flag2);
  if (!m_hov_tainting_enabled) return;
  if (atom_id < 0)
    hov_get_atom_netlist_taint_manager()->taint_all();
  else
    hov_get_atom_netlist_taint_manager()->taint_atom(static_cast<unsigned>(atom_id));
}

void WEXAN_ENV::set_hov_tainting_enabled(bool on) {
  host::log_call("WEXAN_ENV::set_hov_tainting_enabled", on);
  m_hov_tainting_enabled = on;
}

bool WEXAN_ENV::hov_is_on() const { return host::hov::is_on(); }

namespace {
std::string model_list_text(const std::vector<KEM_TIMING_MODEL>& models) {
  std::string text = "[";
  for (const KEM_TIMING_MODEL& m : models) text += (text.size() > 1 ? ", " : "") + m.get_name();
  return text + "]";
}
}  // namespace

WEXAN_HOV_UTILITY* WEXAN_ENV::get_hov_utility_or_create_if_necessary(int request, int invoke_mode, int model_set,
                                                                      bool b1, bool b2, bool b3, bool b4,
                                                                      JUK::FOREST<int, int>* forest, bool b5, bool b6) {
  host::log_call("WEXAN_ENV::get_hov_utility_or_create_if_necessary", request, invoke_mode, model_set, b1, b2, b3, b4,
                 forest, b5, b6);
  return host::hov::get_or_create(request, invoke_mode, host::hov::models_of_set(model_set));
}

WEXAN_HOV_UTILITY* WEXAN_ENV::get_hov_utility_or_create_if_necessary(int request, int invoke_mode,
                                                                      std::vector<KEM_TIMING_MODEL> models, bool b1,
                                                                      bool b2, bool b3, bool b4,
                                                                      JUK::FOREST<int, int>* forest, bool b5, bool b6) {
  host::log_call("WEXAN_ENV::get_hov_utility_or_create_if_necessary", request, invoke_mode,
                 host::raw_arg{model_list_text(models)}, b1, b2, b3, b4, forest, b5, b6);
  return host::hov::get_or_create(request, invoke_mode, models);
}

WEXAN_HOV_UTILITY* WEXAN_ENV::get_hov_utility_ptr() const { return host::hov::utility(); }

void WEXAN_ENV::delete_hov_utility_completely() {
  host::log_call("WEXAN_ENV::delete_hov_utility_completely");
  host::hov::delete_utility();
  // The timing netlist in memory goes with the utility (part of this call,
  // not a recorded call of its own).
  if (KEM_MANAGER* kem = KEM_MANAGER::get(); kem != nullptr && kem->get_kem_netlist() != nullptr)
    kem->set_kem_netlist(nullptr);
}

bool WEXAN_ENV::hov_utility_reflects_atom_netlist_exactly() const {
  return hov_get_atom_netlist_taint_manager()->hov_reflects_atom_netlist_exactly();
}

bool WEXAN_ENV::clear_and_reload_tarnbay_constraints() {
  host::log_call("WEXAN_ENV::clear_and_reload_tarnbay_constraints");
  return host::script::next<bool>("WEXAN_ENV::clear_and_reload_tarnbay_constraints", true);
}

void WEXAN_ENV::set_atom_dup_util(NOLT_ATOM_DUP_UTILITY* util) {
  host::log_call("WEXAN_ENV::set_atom_dup_util", util);
  host::registry_set("WEXAN_ENV::atom_dup_util", util);
}
NOLT_ATOM_DUP_UTILITY* WEXAN_ENV::get_atom_dup_util() {
  return static_cast<NOLT_ATOM_DUP_UTILITY*>(host::registry_get("WEXAN_ENV::atom_dup_util"));
}

void WEXAN_ENV::set_lut_ram_conversion_util(NOLT_LUT_RAM_CONVERSION_UTIL* util) {
  host::log_call("WEXAN_ENV::set_lut_ram_conversion_util", util);
  host::registry_set("WEXAN_ENV::lut_ram_conversion_util", util);
}
NOLT_LUT_RAM_CONVERSION_UTIL* WEXAN_ENV::get_lut_ram_conversion_util() {
  return static_cast<NOLT_LUT_RAM_CONVERSION_UTIL*>(host::registry_get("WEXAN_ENV::lut_ram_conversion_util"));
}

WEXAN_REGISTER_PACKING_HINTS_FOR_VPR* WEXAN_ENV::get_register_packing_hints_for_vpr() const {
  return static_cast<WEXAN_REGISTER_PACKING_HINTS_FOR_VPR*>(host::registry_get(kHintsSlot));
}

void WEXAN_ENV::set_register_packing_hints_for_vpr(WEXAN_REGISTER_PACKING_HINTS_FOR_VPR* hints) {
  host::log_call("WEXAN_ENV::set_register_packing_hints_for_vpr", hints);
  WEXAN_REGISTER_PACKING_HINTS_FOR_VPR* old = get_register_packing_hints_for_vpr();
  if (old && old != hints) delete old;
  host::registry_set(kHintsSlot, hints);
}

void WEXAN_ENV::free_register_packing_hints_for_vpr() {
  host::log_call("WEXAN_ENV::free_register_packing_hints_for_vpr");
  delete get_register_packing_hints_for_vpr();
  host::registry_set(kHintsSlot, nullptr);
}

void WEXAN_ENV::set_wexan_device_factory_fn(WEXAN_DEVICE_FACTORY_FN fn) {
  host::log_call("WEXAN_ENV::set_wexan_device_factory_fn", fn);
  state().device_factory = fn;
}

WEXAN_DEVICE_FACTORY_FN WEXAN_ENV::get_wexan_device_factory_fn() { return state().device_factory; }

namespace {
struct WEXAN_YUN_STATE {
  YUN_ENV* yun_env = nullptr;
};
}  // namespace

// Each run recomputes the port map from placement.
void WEXAN_ENV::run_w3j3(HOV_ATOM_NETLIST_TAINT_MANAGER* taints) {
  host::log_call("WEXAN_ENV::run_w3j3", taints);
  host::w3j3::recompute_port_map();
}
void WEXAN_ENV::run_w3j3_postfit() {
  host::log_call("WEXAN_ENV::run_w3j3_postfit");
  host::w3j3::recompute_port_map();
}
void WEXAN_ENV::run_w3j3(bool incremental, const std::set<int>& locations, const std::set<int>& more_locations,
                         VOK_RE_ROUTING_INCREMENTAL_DB* changes, std::set<int>* out) {
  host::log_call("WEXAN_ENV::run_w3j3", incremental, static_cast<int>(locations.size()),
                 static_cast<int>(more_locations.size()), changes, out);
  host::w3j3::recompute_port_map();
}
void WEXAN_ENV::incremental_taint_rebuild() {
  std::string list;
  for (unsigned id : SWAVO_RECOMPILE_OP::get_spar_modified_atom_ids())
    list += (list.empty() ? "" : " ") + std::to_string(id);
  host::log_call("WEXAN_ENV::incremental_taint_rebuild", list);
  if (host::hov::current_kem_netlist() == nullptr) return;
  KEM_DIRTY dirty;
  KEM_NETLIST* kem = host::hov::apply_pending_taints(&dirty);
  host::sta::update(kem, dirty);
}
YUN_ENV* WEXAN_ENV::get_yun_env() const { return host_world_slot<WEXAN_YUN_STATE>().yun_env; }

namespace host::wexan {
void set_yun_env(YUN_ENV* env) { host_world_slot<WEXAN_YUN_STATE>().yun_env = env; }
}  // namespace host::wexan

void WEXAN_ENV::report_fitter_status(int percent, int flag) {
  host::log_call("WEXAN_ENV::report_fitter_status", percent, flag);
}

VOK_CHIP_DB_ENTRY* WEXAN_ENV::get_chip_db_entry() const { return VOK_CHIP_DB_ENTRY::current(); }

WEXAN_INCREMENTAL_UTILITY* WEXAN_ENV::get_netlist_reuse_utility() const { return WEXAN_INCREMENTAL_UTILITY::current(); }

bool WEXAN_ENV::run_w3j3_prefit() {
  host::log_call("WEXAN_ENV::run_w3j3_prefit");
  const bool ok = host::script::next<bool>("WEXAN_ENV::run_w3j3_prefit", true);
  if (ok) host::w3j3::recompute_port_map();
  return ok;
}

WEXAN_SONDERY* WEXAN_ENV::get_sondery() const { return host::wexan::sondery(); }
