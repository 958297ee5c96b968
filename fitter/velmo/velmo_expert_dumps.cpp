// Debug dumps and statistics of the expert: netlist dumps under a stage tag,
// the final-placement echo file, netlist cookies, the lcell count with the
// optional stop after prefit, the JSON dump of the atom netlist and the
// pipeline-register statistics. None of them changes the design.
#include <cstdint>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <unordered_set>
#include <vector>

#include <nlohmann/json.hpp>

#include "cfg/cfg.h"
#include "cmp/cmp_facade.h"
#include "gen/gen_profile.h"
#include "hov/hov_utility.h"
#include "kem/kem_manager.h"
#include "kem/kem_timing_model.h"
#include "mem/mem_initializer.h"
#include "sta/sta_debug.h"
#include "umbr/umbr_tcl.h"
#include "msg/msg_internal_error.h"
#include "velmo_debug.h"
#include "velmo_expert.h"
#include "vok/vok_atom_netlist.h"
#include "wexan/wexan_design.h"
#include "wexan/wexan_env.h"
#include "zel/zel_atom_dumper.h"
#include "zel/zel_subgraph_export.h"

namespace json {
// The document the subgraph exporter hands back, and the writer that puts it
// on a stream.
using Object = nlohmann::json;
class Writer {
public:
  static void Write(const Object& object, std::ostream& out) { out << object.dump(2) << '\n'; }
};
}  // namespace json

namespace {
[[noreturn]] void l_internal_error(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "VELMO", "velmo_expert", line);
}

// A pipeline register: a register of the pipeline-register atom type.
constexpr int kPipelineRegisterType = 401;
constexpr auto kRegDataIn = static_cast<DB_INPUT_PORT_TYPE>(20);
constexpr auto kRegOut = static_cast<DB_OUTPUT_PORT_TYPE>(10);

// The timing-model set of the part's default corners.
constexpr int kDefaultCornersSet = 5;

bool l_is_pipeline_register(const VOK_ATOM_NODE* atom) {
  return atom != nullptr && atom->is_ff() && atom->get_atom_type() == kPipelineRegisterType;
}
}  // namespace

void VELMO_EXPERT::dump_netlists(const std::string& variable, const std::string& tag) {
  const std::string base = m_cmp->get_dump_name();
  static const bool s_dump_json = cfg_is_on("debug_dump_netlist_to_json", false);
  if (s_dump_json) {
    const std::string path = base + "." + tag + ".json";
    dump_json_file_for_atom_netlist(m_env->get_atom_netlist(), path.c_str());
  }
  if (!variable.empty() && !cfg_is_on(variable.c_str(), false)) return;

  ZEL_ATOM_DUMPER dumper(m_env->get_chip_db_entry());
  dumper.dump_current_atom_netlist(base + "." + tag, true);
  const std::string atm = base + "." + tag + ".atm";
  m_design->dump_current_atom_netlist_to_atm_file(atm.c_str());
}

void VELMO_EXPERT::dump_placement() {
  if (!cfg_is_on("wexan_dump_final_placement", false) && !cfg_is_on("vpr_print_placement_echo_files", false)) return;
  msg_vdebug_impl(2, "Dumping final placement annotated on atoms to file wexan_final_placement.echo...");
  m_design->dump_locations_annotated_on_atoms("wexan_final_placement.echo");
  dump_netlists("", "post_place");
}

void VELMO_EXPERT::do_initial_debug_ops() {
  const std::uint64_t cookie = m_design->get_cookie();
  msg_vdebug_impl(2, "Initial wexan netlist cookie: %llu", static_cast<unsigned long long>(cookie));
  gen_log_cookie("Atom Netlist (Initial wexan)", cookie);
  dump_netlists("wexan_dump_pre_fit_netlist", "pre_fit_netlist");
}

bool VELMO_EXPERT::debug_dump_info_and_maybe_stop_after_prefit() {
  msg_vdebug_impl(2, "Counting number of lcells after fitter pre-processing...");
  if (m_design == nullptr) l_internal_error("design!=0", __LINE__);
  int num_lcell_combs = 0;
  const int max_id = m_design->get_max_atom_id(false);
  for (int id = 0; id <= max_id; ++id) {
    VOK_ATOM_NODE* atom = m_design->get_atom_node(id);
    if (atom != nullptr && atom->is_lcell_comb()) ++num_lcell_combs;
  }
  msg_vdebug_impl(2, "num_lcells_after_prefit= %i", num_lcell_combs);
  msg_vdebug_impl(2, "num_lcell_combs_after_prefit= %i", num_lcell_combs);

  const bool stop = cfg_is_on("debug_stop_after_prefit", false);
  if (stop) msg_vdebug_impl(2, "****** Stopping after prefit as per INI config *******");
  MEM_MANAGER::check_memory_guards();
  return !stop;
}

void VELMO_EXPERT::generate_debug_xab_design_dump_file() {
  if (!cfg_is_on("generate_single_xab_dump_design_snapshot", false)) return;
  msg_vdebug_impl(2, "generate_single_xab_dump_design_snapshot set, enabling xab_dump_design_snapshot");
  if (cfg_is_on("xab_dump_design_snapshot", false)) return;

  cfg_set_on("xab_dump_design_snapshot");
  const bool reuse = m_cmp->m_reuse_timing_for_debug_dumps;
  const int invoke_mode = reuse ? 2 : 3;
  const bool first_flag = reuse ? false : m_cmp->is_timing_driven_compile();
  // The host writes the snapshot while the variable is on.
  WEXAN_HOV_UTILITY* hov_utility = m_env->get_hov_utility_or_create_if_necessary(
      0, invoke_mode, kDefaultCornersSet, first_flag, false, true, false, nullptr, false, false);
  if (hov_utility == nullptr) l_internal_error("hov_utility != NULL", __LINE__);
  if (!cfg_is_on("xab_dump_design_snapshot", false))
    l_internal_error("cfg_is_on(\"xab_dump_design_snapshot\")", __LINE__);
  cfg_set_off("xab_dump_design_snapshot");
}

void VELMO_EXPERT::do_debug_drask() {
  const long long t0 = gen_get_current_time_seconds();
  msg_vdebug_impl(2, "before do_debug_drask cookie: %llu", static_cast<unsigned long long>(m_design->get_cookie()));

  HOV_ACCESSORIES* accessories = hov_get_accessories();
  KEM_NETLIST* kem_netlist = KEM_MANAGER::get()->get_kem_netlist();
  if (kem_netlist == nullptr) l_internal_error("kem_netlist", __LINE__);
  const KEM_TIMING_MODEL model = KEM_TIMING_MODEL::create_default_timing_model(m_cmp, 0);
  KEM_CORNER_MANAGER* corners = kem_netlist->get_corner_manager();
  if (corners->get_corner_count() == 0 || corners->get_current_corner() != model) corners->change_corner(model);

  accessories->record_label("Pre-DEBUG-DRASK");
  accessories->prepare_drask();
  HOV_ACCESSORIES::DRASK_SETTINGS settings = accessories->get_drask_settings();
  settings.report_paths = true;
  settings.check_consistency = true;
  settings.router_mode = cfg_is_on("velmo_debug_run_drask_router_mode", false);
  accessories->run_drask(settings);

  // A negative count runs no further analysis, like 0: the state is released
  // here, or it would never be.
  const int additional = cfg_get_int_value("velmo_debug_run_additional_drask_calls", 0);
  if (additional <= 0) accessories->release_drask();
  accessories->record_label("DEBUG-DRASK");
  msg_vdebug_impl(2, "DEBUG-DRASK elapsed time = %s",
                  gen_format_elapsed_time(static_cast<double>(gen_get_current_time_seconds() - t0)).c_str());

  for (int i = 1; i <= additional; ++i) {
    const std::string label = "DEBUG-DRASK-" + std::to_string(i);
    const long long t = gen_get_current_time_seconds();
    accessories->run_drask(settings);
    if (i == additional) accessories->release_drask();
    accessories->record_label(label);
    msg_vdebug_impl(2, "%s elapsed time = %s", label.c_str(),
                    gen_format_elapsed_time(static_cast<double>(gen_get_current_time_seconds() - t)).c_str());
  }
  msg_vdebug_impl(2, "after do_debug_drask cookie: %llu", static_cast<unsigned long long>(m_design->get_cookie()));
}

void VELMO_EXPERT::verify_incremental_hep(WEXAN_ENV* env) {
  if (!cfg_is_on("velmo_verify_incremental_hep", false)) return;
  const std::uint64_t incr_kem_cookie = sta_debug_compute_incoming_kem_netlist_cookie(true);
  const std::uint64_t incr_sta_cookie = sta_debug_compute_outgoing_slack_cookie(true);
  sta_debug_remember_last_traversal_settings();

  const bool dump_dots = cfg_is_on("velmo_verify_incremental_hep_dump_dots", false);
  if (dump_dots)
    umbr_tcl_eval(umbr_get_interpreter(),
                  "load_package sta_internal; dump_dot sta_dump.before *; report_sdc -file before.sdc_report");

  // Without a timing netlist there is no incremental result to compare.
  KEM_NETLIST* kem_netlist = KEM_MANAGER::get()->get_kem_netlist();
  if (kem_netlist == nullptr) l_internal_error("kem_netlist", __LINE__);
  const std::vector<KEM_TIMING_MODEL> models = kem_netlist->get_corner_manager()->get_loaded_corners();

  env->indicate_that_atom_netlist_is_modified();
  env->get_hov_utility_or_create_if_necessary(0, 3, models, false, false, true, true, nullptr, false, false);

  const std::uint64_t full_kem_cookie = sta_debug_compute_incoming_kem_netlist_cookie(true);
  sta_debug_restore_last_traversal_settings_and_refresh();
  const std::uint64_t full_sta_cookie = sta_debug_compute_outgoing_slack_cookie(true);

  if (dump_dots)
    umbr_tcl_eval(umbr_get_interpreter(),
                  "load_package sta_internal; dump_dot sta_dump.after *; report_sdc -file after.sdc_report");

  if (incr_kem_cookie != full_kem_cookie) l_internal_error("incr_kem_cookie == full_kem_cookie", __LINE__);
  if (incr_sta_cookie != full_sta_cookie) l_internal_error("incr_sta_cookie == full_sta_cookie", __LINE__);
}

void VELMO_EXPERT::dump_json_file_for_atom_netlist(VOK_ATOM_NETLIST* netlist, const char* path) {
  std::unordered_set<int> atom_ids;
  for (VOK_ATOM_NODE* atom : netlist->nodes(VOK_TRAVERSE_HIERARCHICAL)) atom_ids.insert(atom->get_id());
  const std::unordered_set<int> boundary_ids = atom_ids;

  std::ofstream out(path, std::ios::out | std::ios::trunc);
  {
    json::Object document = ZEL_ATOM_NETLIST_SUBGRAPH_IMPORT_EXPORT::filter_and_export_subgraph(
        atom_ids, boundary_ids, netlist, VOK_TRAVERSE_AS_STORED);
    json::Writer::Write(document, out);
    out.flush();
  }
  out.close();
}

void velmo_dump_zota_stats(VOK_ATOM_NETLIST* netlist) {
  if (netlist == nullptr) l_internal_error("netlist != nullptr", __LINE__);
  msg_vdebug_impl(2, "Entering ZOTA K-distribution Statistics");

  int zota_count = 0;
  std::vector<VOK_ATOM_OTERM*> drivers;
  std::set<VOK_ATOM_OTERM*> seen;
  for (VOK_ATOM_NODE* atom : netlist->nodes(VOK_TRAVERSE_HIERARCHICAL)) {
    if (!l_is_pipeline_register(atom)) continue;
    ++zota_count;
    VOK_ATOM_ITERM* d = atom->get_input_term_by_type(kRegDataIn, 0);
    if (d == nullptr) continue;
    VOK_ATOM_OTERM* source = d->get_source(VOK_TRAVERSE_HIERARCHICAL);
    if (source == nullptr || l_is_pipeline_register(source->get_my_node())) continue;
    if (seen.insert(source).second) drivers.push_back(source);
  }
  msg_vdebug_impl(2, "Total Zota Count : %d", zota_count);
  msg_vdebug_impl(2, "Total Non-ZOTA Nodes driving ZOTA: %d", static_cast<int>(drivers.size()));

  // Paths are counted, not sinks: a sink reached along several paths counts
  // once per path. A path through more pipeline registers than the netlist
  // holds goes round a ring of them; the walk ends there.
  int total_sinks = 0;
  std::map<int, int> per_k;
  for (VOK_ATOM_OTERM* driver : drivers) {
    std::vector<VOK_ATOM_OTERM*> level{driver};
    for (int k = 0; !level.empty() && k <= zota_count + 1; ++k) {
      std::vector<VOK_ATOM_OTERM*> next;
      for (VOK_ATOM_OTERM* oterm : level) {
        for (VOK_ATOM_ITERM* iterm : oterm->fanout(VOK_TRAVERSE_HIERARCHICAL)) {
          VOK_ATOM_NODE* atom = iterm->get_my_node();
          if (l_is_pipeline_register(atom)) {
            VOK_ATOM_OTERM* sink = atom->get_output_term_by_type(kRegOut, 0);
            if (sink == nullptr) l_internal_error("sink != nullptr", __LINE__);
            next.push_back(sink);
          } else if (k > 0) {
            ++total_sinks;
            ++per_k[k];
          }
        }
      }
      level.swap(next);
    }
  }
  msg_vdebug_impl(2, "Total Sink Nodes driven by ZOTA: %d", total_sinks);
  for (const auto& [k, count] : per_k) msg_vdebug_impl(2, "K = %d, Count = %d", k, count);
  msg_vdebug_impl(2, "Exiting ZOTA K-distribution Statistics");
}
