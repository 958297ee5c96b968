// The periphery-core register placement object: what it caches from the
// environment, the requirement record and the readers of the transfer
// assignments, and the mapping between terminals, periphery ports, routing
// elements and register sites. The passes are in the engine's file.
#include "velmo_periphery_to_core_placement.h"

#include <algorithm>
#include <cstdlib>
#include <map>

#include <tbb/blocked_range.h>
#include <tbb/cache_aligned_allocator.h>
#include <tbb/concurrent_vector.h>
#include <tbb/parallel_for.h>
#include <tbb/partitioner.h>

#include "cfg/cfg.h"
#include "cmp/cmp_facade.h"
#include "dev/dev_basic_info.h"
#include "dev/dev_die_info.h"
#include "dev/dev_element_desc.h"
#include "dev/dev_operating_conditions.h"
#include "oxu/oxu_job.h"
#include "gen/gen_profile.h"
#include "gesk/gesk_bundle.h"
#include "hov/hov_utility.h"
#include "gesk/gesk_tree.h"
#include "jov/jov_design.h"
#include "msg/msg_internal_error.h"
#include "omz/omz_option.h"
#include "oxter/oxter_env.h"
#include "pelk/pelk_symbol.h"
#include "pexa/pexa_utility.h"
#include "r5t/r5t_interface.h"
#include "tibex/tibex_location_constraint.h"
#include "twy/twy_translator.h"
#include "velmo_debug.h"
#include "velmo_expert.h"
#include "velmo_port_translation.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_routing.h"
#include "w3j3/w3j3_port_map_db.h"
#include "wexan/wexan_env.h"
#include "wump/wump_die_info.h"
#include "wump/wump_route_info.h"
#include "yeb/yeb_timing_model.h"
#include "zel/zel_atom_util.h"

const BIG_TIME DEFAULT_MIN_DELAY = BIG_TIME::from_ps(-1);
const BIG_TIME DEFAULT_MAX_DELAY = BIG_TIME::from_ps(-1);

namespace {

constexpr unsigned l_illegal_gid = 0xFFFFFFFFu;
constexpr int l_crf_graph = 2;
constexpr int l_lab_sublocs = 40;

[[noreturn]] void l_internal_error(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "VELMO", "velmo_periphery_to_core_placement", line);
}

// Assignment codes (variable types) of the transfer requirements.
enum : int {
  kSlackEstimation = 836,
  kUibEsramC2p = 837,
  kP2cMaxWires = 838,
  kP2cRouterWires = 839,
  kP2cMinWires = 840,
  kP2cMaxDelay = 841,
  kP2cMinDelay = 842,
  kC2pMaxWires = 843,
  kLcellPeripheryRouter = 844,
  kC2pRouterWires = 845,
  kC2pMinWires = 846,
  kC2pMaxDelay = 847,
  kC2pMinDelay = 848,
};

const OMZ_OPTION* l_option(const VOK_ATOM_NODE* atom, int code) {
  return OMZ_DERIVED_OPTION::get_single_option(atom->get_string_hpath(), code, true);
}

// The settings, read once when the library is loaded.
VELMO_P2C_SETTINGS l_read_settings() {
  VELMO_P2C_SETTINGS s{};
  s.window_guardband_min = static_cast<float>(cfg_get_int_value("p2c_windows_relative_guardband_min_percentage", 10)) / 100.0f;
  s.window_guardband_max = static_cast<float>(cfg_get_int_value("p2c_windows_relative_guardband_max_percentage", 10)) / 100.0f;
  s.p2c_window_absolute_guardband_min = cfg_get_int_value("p2c_window_absolute_guardband_min", 150);
  s.p2c_window_absolute_guardband_max = cfg_get_int_value("p2c_window_absolute_guardband_max", 150);
  s.c2p_window_absolute_guardband_min = cfg_get_int_value("c2p_window_absolute_guardband_min", 150);
  s.c2p_window_absolute_guardband_max = cfg_get_int_value("c2p_window_absolute_guardband_max", 150);
  s.group_granularity_small = cfg_get_int_value("p2c_grouping_granularity_small", 150);
  s.group_granularity_large = cfg_get_int_value("p2c_grouping_granularity_large", 500);
  s.p2c_effort_level = cfg_get_int_value("p2c_effort_level", 5);
  return s;
}
const VELMO_P2C_SETTINGS l_settings = l_read_settings();

bool l_is_flagged(std::int32_t value) {
  const unsigned v = static_cast<unsigned>(value);
  return v != l_illegal_gid && (v & 0x80000000u) != 0;
}

// Whether a routing node has a tree edge to a flagged parent or child whose
// top-level graph satisfies `pred`.
template <class PRED>
bool l_has_tree_edge(const VOK_RE_ROUTING& r, const WUMP_ROUTE_INFO* info, int node, PRED pred) {
  const VOK_RE_ROUTING_ZOTA_SKIP skip;
  const unsigned gid = static_cast<unsigned>(r.get_value(node));
  const int parent = r.get_parent(node, skip);
  if (parent != -1 && l_is_flagged(r.get_value(parent)) &&
      pred(info->get_top_level_graph_from_edge(static_cast<unsigned>(r.get_value(parent)), gid, 0)))
    return true;
  for (int c = r.get_first_child(node, skip); c != -1; c = r.get_next_sibling(c, skip))
    if (l_is_flagged(r.get_value(c)) && pred(info->get_top_level_graph_from_edge(gid, static_cast<unsigned>(r.get_value(c)), 0)))
      return true;
  return false;
}

bool l_slack_request(const OMZ_OPTION* o) { return o != nullptr && (o->get_value() == 2 || o->get_value() == 52); }

}  // namespace

const VELMO_P2C_SETTINGS& velmo_p2c_settings() { return l_settings; }

// ---- the requirement record -------------------------------------------------------

bool P2C_MATRIX_STRUCT::operator!=(const P2C_MATRIX_STRUCT& o) const {
  if (max_wire != o.max_wire || min_wire != o.min_wire) return true;
  if (max_delay != o.max_delay || min_delay != o.min_delay) return true;
  if (router_lock != o.router_lock || partition_id != o.partition_id) return true;
  if (std::get<0>(location) != std::get<0>(o.location) || std::get<1>(location) != std::get<1>(o.location) ||
      std::get<2>(location) != std::get<2>(o.location))
    return true;
  return !same_region_constraint(region_constraint, o.region_constraint);
}

bool same_region_constraint(std::shared_ptr<TIBEX_LOCKED_CONSTRAINT> a, std::shared_ptr<TIBEX_LOCKED_CONSTRAINT> b) {
  if (!a || !b) return !a && !b;
  return a->get_xmin() == b->get_xmin() && a->get_xmax() == b->get_xmax() && a->get_ymin() == b->get_ymin() &&
         a->get_ymax() == b->get_ymax();
}

std::string VELMO_PERIPHERY_CORE_PLACEMENT::user_friendly_p2c_matrix(const P2C_MATRIX_STRUCT& m) const {
  char buf[256];
  if (m.min_delay == DEFAULT_MIN_DELAY && m.max_delay == DEFAULT_MAX_DELAY) {
    if (m.min_wire > 0)
      std::snprintf(buf, sizeof buf, "between %d and %d routing wire(s) from the periphery", m.min_wire, m.max_wire);
    else
      std::snprintf(buf, sizeof buf, "within %d routing wire(s) from the periphery", m.max_wire);
  } else if (m.min_delay == DEFAULT_MIN_DELAY) {
    std::snprintf(buf, sizeof buf, "within the delay range of %s from the periphery", m.max_delay.to_string().c_str());
  } else {
    std::snprintf(buf, sizeof buf, "within the delay between %s and %s from the periphery",
                  m.min_delay.to_string().c_str(), m.max_delay.to_string().c_str());
  }
  return buf;
}

// ---- assignment readers ---------------------------------------------------------------

namespace {

bool l_delay_assignment(VOK_ATOM_NODE* atom, P2C_MATRIX_STRUCT* m, int max_code, int min_code) {
  const OMZ_OPTION* max = l_option(atom, max_code);
  const OMZ_OPTION* min = l_option(atom, min_code);
  if (max == nullptr && min == nullptr) return false;
  if (m == nullptr) return true;
  if (max != nullptr) {
    m->max_delay = max->get_time_value();
    m->min_delay = min != nullptr ? min->get_time_value() : BIG_TIME::from_ps(0);
  } else {
    m->min_delay = min->get_time_value();
    m->max_delay = m->min_delay + BIG_TIME::from_ps(500);
  }
  return true;
}

bool l_wire_assignment(VOK_ATOM_NODE* atom, P2C_MATRIX_STRUCT* m, int max_code, int router_code, int min_code) {
  const OMZ_OPTION* max = l_option(atom, max_code);
  const OMZ_OPTION* min = l_option(atom, min_code);
  const OMZ_OPTION* router = l_option(atom, router_code);
  if (max == nullptr && min == nullptr && router == nullptr) return false;
  if (m == nullptr) return true;
  if (max == nullptr && router == nullptr) {
    m->min_wire = min->get_value();
    m->max_wire = m->min_wire + 2;
    return true;
  }
  m->max_wire = max != nullptr ? max->get_value() : router->get_value();
  m->min_wire = min != nullptr ? min->get_value() : 0;
  if (router != nullptr) {
    R5T_INTERFACE* r5t = R5T_INTERFACE::get_instance();
    if (r5t == nullptr) l_internal_error("r5t", __LINE__);
    r5t->set_atom_metadata(atom->get_id(), PELK::intern(4, "RETIMER_NO_TOUCH"), PELK::intern(4, "LOCKED"));
    r5t->set_atom_metadata(atom->get_id(), PELK::intern(4, "SPaR_NO_TOUCH"), PELK::intern(4, "LOCKED"));
    m->router_lock = true;
  }
  return true;
}

}  // namespace

bool have_p2c_delay_assignment(VOK_ATOM_NODE* atom, P2C_MATRIX_STRUCT* m) {
  return l_delay_assignment(atom, m, kP2cMaxDelay, kP2cMinDelay);
}
bool have_c2p_delay_assignment(VOK_ATOM_NODE* atom, P2C_MATRIX_STRUCT* m) {
  return l_delay_assignment(atom, m, kC2pMaxDelay, kC2pMinDelay);
}
bool have_p2c_wire_assignment(VOK_ATOM_NODE* atom, P2C_MATRIX_STRUCT* m) {
  return l_wire_assignment(atom, m, kP2cMaxWires, kP2cRouterWires, kP2cMinWires);
}
bool have_c2p_wire_assignment(VOK_ATOM_NODE* atom, P2C_MATRIX_STRUCT* m) {
  return l_wire_assignment(atom, m, kC2pMaxWires, kC2pRouterWires, kC2pMinWires);
}
bool have_p2c_assignment(VOK_ATOM_NODE* atom, P2C_MATRIX_STRUCT* m) {
  return have_p2c_delay_assignment(atom, m) || have_p2c_wire_assignment(atom, m);
}
bool have_c2p_assignment(VOK_ATOM_NODE* atom, P2C_MATRIX_STRUCT* m) {
  return have_c2p_delay_assignment(atom, m) || have_c2p_wire_assignment(atom, m);
}
bool have_uib_esram_c2p_assignment(VOK_ATOM_NODE* atom) {
  const OMZ_OPTION* o = l_option(atom, kUibEsramC2p);
  return o != nullptr && o->get_value() == 2;
}
bool have_lcell_periphery_router_assignment(VOK_ATOM_NODE* atom) {
  const OMZ_OPTION* o = l_option(atom, kLcellPeripheryRouter);
  return o != nullptr && o->get_value() == 2;
}
bool have_c2p_router_moz_assignment(const std::string& instance) {
  return OMZ_DERIVED_OPTION::get_single_option(instance, kP2cRouterWires, true) != nullptr ||
         OMZ_DERIVED_OPTION::get_single_option(instance, kC2pRouterWires, true) != nullptr;
}

int check_p2c_slack_estimation_moz_for_src_dst_atoms(VOK_ATOM_NODE* src, VOK_ATOM_NODE* dst) {
  const OMZ_OPTION* s = l_option(src, kSlackEstimation);
  if (l_slack_request(s)) return s->get_value();
  const OMZ_OPTION* d = l_option(dst, kSlackEstimation);
  if (l_slack_request(d)) return d->get_value();
  return 3;
}

int get_partition_id(VOK_ATOM_NODE* atom) {
  JOV_DESIGN* design = JOV_ROOT::get()->get_design("");
  return design->get_partition_of_instance(atom->get_string_hpath())->get_id();
}

// ---- the object -----------------------------------------------------------------------------

VELMO_PERIPHERY_CORE_PLACEMENT::VELMO_PERIPHERY_CORE_PLACEMENT(WEXAN_ENV* env) : m_env(env) {
  m_device = PEXA_UTILITY::get_current_device();
  const WUMP_DIE_INFO* die = m_device->get_die_info()->get_wump_die_info();
  m_route_info = die->get_route_info();
  m_place_info = die->get_place_info();
  m_route_graph = &m_route_info->get_route_graph();
  m_atom_netlist = env->get_atom_netlist();
  GESK_BUNDLE* bundle = GESK_BUNDLE_SINGLETON::get_bundle();
  if (bundle == nullptr) l_internal_error("GESK chip must be loaded before running delay annotation!", __LINE__);
  m_port_map_db = bundle->get_port_map_db();
  m_gesk_instance = bundle->get_instance_tree();
  m_chip_db_entry = env->get_chip_db_entry();
  if (m_chip_db_entry == nullptr) l_internal_error("m_chip_db_entry", __LINE__);

  m_verbose = cfg_is_on("velmo_verbose_p2c_placement", false);
  m_slack_estimation_eligible = check_slack_estimation_eligiblity();
  m_disallow_partial_placement = cfg_is_on("velmo_disallow_partial_p2c_placement", m_slack_estimation_eligible);
  m_publish_routing = cfg_is_on("velmo_p2c_publish_routing", true);
  m_publish_routing_for_wire_based = cfg_is_on("velmo_p2c_publish_routing_for_wire_based", false);
  m_check_core_ff_constrained_on_both_sides =
      cfg_is_on("velmo_perform_check_for_core_ff_constrainted_on_both_side", true);
  m_use_two_corners = cfg_is_on("velmo_p2c_use_two_corners", false);

  m_reverse_map_built = false;
  m_netlist_modified = false;
  m_oxter_env = OXTER_ENV::get();
  m_r5t = R5T_INTERFACE::get_instance();
  if (m_r5t == nullptr) l_internal_error("m_r5t", __LINE__);
  m_default_timing_model = load_default_timing_model();
  m_switch_delays_cache_built = false;
  compute_scaling_ratio();
  populate_pre_occupied_re_gids();
}

std::shared_ptr<YEB_TIMING_MODEL> VELMO_PERIPHERY_CORE_PLACEMENT::load_default_timing_model() {
  const DEV_DEVICE_ENUM device = m_device->get_basic_info()->get_device_enum();
  bool is_real = false, fully_sampled = false;
  std::shared_ptr<YEB_TIMING_MODEL> model = YEB_TIMING_MODEL::get_timing_model(
      device, 0, PEXA_UTILITY::get_loaded_timing_model_enum(0), true, false, false, &is_real, &fully_sampled);
  if (!is_real || fully_sampled) return model;
  msg_vdebug_impl(2,
                  "WEXAN P2C: WARNING: %s is not a default slow corner YEB ddb, so it only contains delay data for "
                  "scaling factor computation and should not be used.",
                  model->get_user_string().c_str());
  const int corner = DEV_OPERATING_CONDITIONS::get_default_slow_timing_corner(static_cast<int>(device));
  msg_vdebug_impl(2,
                  "WEXAN P2C: WARNING: The default slow timing corner of the device %d is %d. The fitter will load "
                  "this YEB ddb instead ",
                  static_cast<int>(device), corner);
  model.reset();
  model = YEB_TIMING_MODEL::get_timing_model(device, 0, corner, false, false, false, &is_real, &fully_sampled);
  msg_vdebug_impl(2, "WEXAN P2C: Loaded slow corner YEB ddb: IS_REAL_MODEL=%s; IS_FULLY_SAMPLED=%s",
                  is_real ? "TRUE" : "FALSE", fully_sampled ? "TRUE" : "FALSE");
  return model;
}

void VELMO_PERIPHERY_CORE_PLACEMENT::compute_scaling_ratio() {
  if (!m_default_timing_model) l_internal_error("m_default_timing_model", __LINE__);
  const int hold_model = PEXA_UTILITY::get_loaded_timing_model_enum(1);
  if (hold_model == -1) l_internal_error("dev_timing_model_enum != DEV_TIMING_MODEL_INVALID", __LINE__);
  const std::shared_ptr<YEB_TIMING_MODEL> other = YEB_TIMING_MODEL::get_timing_model(
      m_device->get_basic_info()->get_device_enum(), 1, hold_model, false, false, false, nullptr, nullptr);
  std::vector<float> f;
  m_default_timing_model->get_scaling_factors(*other, false, f);
  if (m_verbose) msg_vdebug_impl(2, "p2c hold local scaling factor: %g(min_rise), %g(min_fall)", f[0], f[1]);
  m_local_scaling_factor = 1.0f;
  m_default_timing_model->get_scaling_factors(*other, true, f);
  if (m_verbose) msg_vdebug_impl(2, "p2c hold global scaling factor: %g(min_rise), %g(min_fall)", f[0], f[1]);
  m_hold_scaling_factor_min = std::min(f[0], f[1]);
  m_hold_scaling_factor_max = std::max(f[2], f[3]);
}

VELMO_PERIPHERY_CORE_PLACEMENT::~VELMO_PERIPHERY_CORE_PLACEMENT() = default;

bool VELMO_PERIPHERY_CORE_PLACEMENT::check_slack_estimation_eligiblity() {
  if (m_env->get_base_family_code() != 48) return false;
  if (cfg_is_on("velmo_p2c_perform_slack_estimation", false)) return true;
  if (l_slack_request(OMZ_DERIVED_OPTION::get_single_option(m_env->get_cmp()->get_option_namespace(), kSlackEstimation, true)))
    return true;
  for (VOK_ATOM_NODE* atom : m_atom_netlist->nodes(VOK_TRAVERSE_HIERARCHICAL))
    if (l_slack_request(l_option(atom, kSlackEstimation))) return true;
  return false;
}

void VELMO_PERIPHERY_CORE_PLACEMENT::populate_pre_occupied_re_gids() {
  const VOK_RE_ROUTING& r = *m_chip_db_entry->get_routing();
  const VOK_RE_ROUTING_ZOTA_SKIP skip;
  for (auto it = r.begin_node_ids(skip); it != r.end_node_ids(skip); ++it) {
    const int node = *it;
    if (!l_is_flagged(r.get_value(node))) continue;
    const unsigned gid = static_cast<unsigned>(r.get_value(node));
    if (l_has_tree_edge(r, m_route_info, node, [](int graph) { return graph == l_crf_graph; }))
      m_pre_occupied_re_gids.insert(static_cast<int>(gid & 0x7FFFFFFFu));
  }
  for (VOK_ATOM_NODE* atom : m_atom_netlist->nodes(VOK_TRAVERSE_HIERARCHICAL)) {
    if (!ZEL_ATOM_UTIL::is_zota_marked_reg(atom) || !atom->is_placed()) continue;
    if (atom->get_location_index() == -1) l_internal_error("gid != DEV_ILLEGAL_GLOBAL_ID", __LINE__);
    const unsigned gid = atom->get_location_gid();
    m_zota_register_gids.insert(gid);
    m_pre_occupied_re_gids.insert(static_cast<int>(gid & 0x7FFFFFFFu));
  }
}

// ---- ports and sites --------------------------------------------------------------------

namespace {
std::string l_port_type_name(const VOK_ATOM_ITERM* t) {
  return TWY_TRANSLATOR::get_debug_name(TWY_TRANSLATOR::INPUT_PORT_TYPE, t->get_port_type());
}
std::string l_port_type_name(const VOK_ATOM_OTERM* t) {
  return TWY_TRANSLATOR::get_debug_name(TWY_TRANSLATOR::OUTPUT_PORT_TYPE, t->get_port_type());
}
}  // namespace

template <class TERM>
unsigned VELMO_PERIPHERY_CORE_PLACEMENT::get_top_level_port_gid(VOK_ATOM_NODE* atom, TERM term, bool forward) {
  const auto entries = m_port_map_db->get_port_map_results(W3J3_LOGICAL_PORT_FACTORY::create(term), 1);
  const std::string atom_type = TWY_TRANSLATOR::get_debug_name(TWY_TRANSLATOR::ATOM_TYPE, atom->get_atom_type());
  if (entries.size() != 1) {
    msg_vdebug_impl(2,
                    "Ignoring P2C/C2P for TERM %s of atom %i (%s) of type = %s: it has %d port mappings, but we only "
                    "deal with TERM with exact 1 port mapping",
                    l_port_type_name(term).c_str(), atom->get_id(), atom->get_string_hpath().c_str(), atom_type.c_str(),
                    static_cast<int>(entries.size()));
    return l_illegal_gid;
  }
  const std::string icd_name = m_gesk_instance->get_icd_port_name(entries[0].value);
  const int instance_id = m_gesk_instance->get_instance_id(entries[0].value);
  if (instance_id == GESK_TREE::INVALID) l_internal_error("instance_id != GESK_TREE::INVALID", __LINE__);
  const unsigned block = VELMO_PORT_TRANSLATION_MGR(m_env).get_place_block_gid_from_jev_info(instance_id);
  unsigned gid = m_route_info->get_block_icd_port_gid(block, forward ? BLC_PORT_OUTPUT : BLC_PORT_INPUT, icd_name);
  if (gid == l_illegal_gid) gid = m_route_info->get_block_icd_port_gid(block, BLC_PORT_BIDIR, icd_name);
  if (gid == l_illegal_gid) l_internal_error("port_re_gid != DEV_ILLEGAL_GLOBAL_ID", __LINE__);
  if (m_verbose)
    msg_vdebug_impl(2, "TERM %s of atom %i (%s) of type = %s has a ICD name of %s with gid=%u",
                    l_port_type_name(term).c_str(), atom->get_id(), atom->get_string_hpath().c_str(), atom_type.c_str(),
                    icd_name.c_str(), gid);
  return gid;
}

template unsigned VELMO_PERIPHERY_CORE_PLACEMENT::get_top_level_port_gid(VOK_ATOM_NODE*, VOK_ATOM_ITERM*, bool);
template unsigned VELMO_PERIPHERY_CORE_PLACEMENT::get_top_level_port_gid(VOK_ATOM_NODE*, VOK_ATOM_OTERM*, bool);

void VELMO_PERIPHERY_CORE_PLACEMENT::create_blc_fcd_unified_network_node_id_and_gid_reverse_map() {
  if (m_reverse_map_built) return;
  const VOK_RE_ROUTING& r = *m_chip_db_entry->get_routing();
  const VOK_RE_ROUTING_ZOTA_SKIP skip;
  for (auto it = r.begin_node_ids(skip); it != r.end_node_ids(skip); ++it) {
    const int node = *it;
    if (!l_is_flagged(r.get_value(node))) continue;
    const unsigned gid = static_cast<unsigned>(r.get_value(node));
    if (!l_has_tree_edge(r, m_route_info, node, [](int graph) { return graph != l_crf_graph; })) continue;
    m_gid_to_unified_network_node_map[gid] = node;
    if (m_verbose) msg_vdebug_impl(2, "adding mapping from %u to %d", gid, node);
  }
  m_reverse_map_built = true;
}

unsigned VELMO_PERIPHERY_CORE_PLACEMENT::get_most_top_level_port_gid(unsigned gid, bool forward) {
  if (m_verbose) msg_vdebug_impl(2, "entering get_most_top_level_port_gid for %u", gid);
  if (gid == l_illegal_gid) return l_illegal_gid;
  create_blc_fcd_unified_network_node_id_and_gid_reverse_map();
  const auto found = m_gid_to_unified_network_node_map.find(gid);
  if (found == m_gid_to_unified_network_node_map.end()) {
    if (m_verbose) msg_vdebug_impl(2, "couldn't find mapping for %u", gid);
    return l_illegal_gid;
  }
  const VOK_RE_ROUTING& r = *m_chip_db_entry->get_routing();
  const VOK_RE_ROUTING_ZOTA_SKIP skip;
  int start = found->second;
  int candidate = -1;
  auto gid_of = [&](int node) { return static_cast<unsigned>(r.get_value(node)); };
  if (forward) {
    for (;;) {
      int only = -1, count = 0;
      for (int c = r.get_first_child(start, skip); c != -1; c = r.get_next_sibling(c, skip))
        if (l_is_flagged(r.get_value(c)) &&
            m_route_info->get_top_level_graph_from_edge(gid_of(start), gid_of(c), 0) != l_crf_graph) {
          only = c;
          ++count;
        }
      if (count == 0) break;
      if (count > 1) {
        if (m_verbose) msg_vdebug_impl(2, "found multiple children for %u", gid);
        return l_illegal_gid;
      }
      candidate = start = only;
    }
  } else {
    for (int p = r.get_parent(start, skip); p != -1 && l_is_flagged(r.get_value(p)) &&
                                            m_route_info->get_top_level_graph_from_edge(gid_of(p), gid_of(start), 0) != l_crf_graph;
         p = r.get_parent(start, skip))
      candidate = start = p;
  }
  if (m_verbose) msg_vdebug_impl(2, "returning gid: %u; tree id: %d", candidate == -1 ? l_illegal_gid : gid_of(candidate), candidate);
  return candidate == -1 ? l_illegal_gid : (gid_of(candidate) | 0x80000000u);
}

unsigned VELMO_PERIPHERY_CORE_PLACEMENT::get_gid_after_port_translation(unsigned gid, bool forward) {
  if (gid == l_illegal_gid) return l_illegal_gid;
  VELMO_PORT_TRANSLATION_MGR mgr(m_env);
  const std::list<unsigned> walk = forward ? mgr.walk_forwards(gid) : mgr.walk_backwards(gid);
  if (walk.empty()) return l_illegal_gid;
  return walk.front() & 0x7FFFFFFFu;
}

unsigned VELMO_PERIPHERY_CORE_PLACEMENT::get_ff_gid_from_lab_re_output_port(int gid) const {
  const WUMP_ROUTE_NODE n = m_route_graph->get_wump_route_element(static_cast<unsigned>(gid))->get_route_node();
  int offset = 0;
  switch (m_env->get_base_family_code()) {
    case 46: offset = 94; break;
    case 48: offset = 90; break;
    case 26: offset = 89; break;
    default: l_internal_error("Unsupported family", __LINE__);
  }
  if (!(n.index >= offset && n.index < offset + l_lab_sublocs))
    l_internal_error("index >= offset && index < (offset + NUM_SUBLOCS)", __LINE__);
  const int d = n.index - offset;
  return m_place_info->get_global_id(0, n.x, n.y, d + d / 2 + 1);
}

std::pair<bool, unsigned> VELMO_PERIPHERY_CORE_PLACEMENT::get_ff_gid_from_lab_re_input_port(int gid) const {
  const WUMP_ROUTE_NODE n = m_route_graph->get_wump_route_element(static_cast<unsigned>(gid))->get_route_node();
  const int k = n.index / 8, rest = n.index % 8;
  const int family = m_env->get_base_family_code();
  int subloc = -1;
  bool direct = false;
  if (n.index >= 0 && n.index < 80) {
    if (family == 46 || family == 26) {
      switch (rest) {
        case 0: subloc = 6 * k + 2; break;
        case 3: subloc = 6 * k + 1, direct = true; break;
        case 4: subloc = 6 * k + 4, direct = true; break;
        case 7: subloc = 6 * k + 5; break;
        default: break;
      }
    } else if (family == 48) {
      switch (rest) {
        case 0: subloc = 6 * k + 1; break;
        case 1: subloc = 6 * k + 2, direct = true; break;
        case 6: subloc = 6 * k + 4, direct = true; break;
        case 7: subloc = 6 * k + 5; break;
        default: break;
      }
    }
  }
  if (subloc == -1) l_internal_error("subloc != -1", __LINE__);
  return {direct, m_place_info->get_global_id(0, n.x, n.y, subloc)};
}

std::string VELMO_PERIPHERY_CORE_PLACEMENT::leim_to_port_name(const std::string& leim) const {
  struct ROW {
    const char* part;
    const char* name;
  };
  static const ROW kx[] = {{"LEIME0", "leime0_"}, {"LEIME1", "leime1_"}, {"LEIMF0", "leimf0_"}, {"LEIMF1", "leimf1_"}};
  static const ROW ky[] = {{"LEIME", "leime"}, {"LEIMF", "leimf"}, {"LEIMA", "leima"}, {"LEIMB", "leimb"}};
  const int family = m_env->get_base_family_code();
  if (family != 48 && family != 46 && family != 26) l_internal_error("P2C/C2P Unsupported families", __LINE__);
  for (const ROW& row : family == 48 ? kx : ky)
    if (leim.find(row.part) != std::string::npos) return row.name;
  l_internal_error("The given leim is not supported in P2C, only leim{a, b, e, f, e0, e1, f0, f1} are supported",
                   __LINE__);
}

std::string labout_to_port_name(const std::string& labout) {
  if (labout.find("LABOUT") == std::string::npos)
    l_internal_error("labout.find(\"LABOUT\") != std::string::npos", __LINE__);
  const std::size_t open = labout.find('['), close = labout.find(']');
  const int num = open == std::string::npos || close == std::string::npos || close <= open
                      ? 20
                      : std::atoi(labout.substr(open + 1, close - open - 1).c_str());
  // A negative number would index before the name table.
  if (!(num >= 0 && num < 20)) l_internal_error("num < 20", __LINE__);
  static const char* const names[4] = {"b0leout[0]", "b0leout[1]", "b1leout[0]", "b1leout[1]"};
  return names[num % 4];
}

// ---- slack windows --------------------------------------------------------------------------

void VELMO_PERIPHERY_CORE_PLACEMENT::organize_p2c_window() {
  organize_window("p2c", m_nodes_repuired_p2c_max_delay_map, m_nodes_repuired_p2c_min_delay_map, m_p2c_slack_window_map,
                  l_settings.p2c_window_absolute_guardband_min, l_settings.p2c_window_absolute_guardband_max);
}

void VELMO_PERIPHERY_CORE_PLACEMENT::organize_c2p_window() {
  organize_window("c2p", m_nodes_repuired_c2p_max_delay_map, m_nodes_repuired_c2p_min_delay_map, m_c2p_slack_window_map,
                  l_settings.c2p_window_absolute_guardband_min, l_settings.c2p_window_absolute_guardband_max);
}

// Groups the transfers by setup slack and gives each group the window
// (guardbanded largest hold violation, guardbanded smallest setup slack). A
// transfer with a setup slack but no hold entry (its hold side was dropped)
// takes part in nothing and gets no window.
void VELMO_PERIPHERY_CORE_PLACEMENT::organize_window(const char* side, const SLACK_MAP& setup, const SLACK_MAP& hold,
                                                     WINDOW_MAP& windows, int guardband_min, int guardband_max) {
  if (setup.empty()) return;
  auto debug = [&](auto... args) {
    if (m_verbose) msg_vdebug_impl(2, args...);
  };
  debug("%s slack window before grouping:", side);
  int low = 2147483647, high = -2147483647 - 1;
  bool any = false;
  for (auto it = setup.begin(); it != setup.end(); ++it) {
    const int* h = hold.lookup(it->first);
    if (h == nullptr) {
      debug("%s slack window: (%d, %d) has no hold slack; left out", side, it->first.first, it->first.second);
      continue;
    }
    debug("    %d  %d  %d", *h, it->second, (*h + it->second) / 2);
    low = std::min(low, it->second);
    high = std::max(high, it->second);
    any = true;
  }
  if (!any) return;
  int granularity = std::max(1, low <= 2000 ? l_settings.group_granularity_small : l_settings.group_granularity_large);
  const int groups = (high - low) / granularity;
  if (groups != 0) granularity = (high - low) / groups;
  debug("max slack range: %d->%d, group size is %d with granularity %d", low, high, groups, granularity);
  std::map<int, std::vector<std::pair<int, int>>> members;
  for (auto it = setup.begin(); it != setup.end(); ++it)
    if (const int* h = hold.lookup(it->first)) members[(it->second - low) / granularity].push_back({*h, it->second});
  debug("slack window grid:");
  std::map<int, std::pair<int, int>> group_window;
  for (const auto& [group, list] : members) {
    debug("    %d", group);
    int hmin = -2147483647 - 1, smax = 2147483647;
    for (const auto& [h, s] : list) {
      debug("        %d %d", h, s);
      hmin = std::max(hmin, h);
      smax = std::min(smax, s);
    }
    debug("            final min before guardband :%d max:%d", hmin, smax);
    const int min = static_cast<int>((1.0f + l_settings.window_guardband_min) * static_cast<float>(hmin) +
                                     static_cast<float>(guardband_min));
    const int max = static_cast<int>((1.0f - l_settings.window_guardband_max) * static_cast<float>(smax) -
                                     static_cast<float>(guardband_max));
    debug("            final min after guardband :%d max:%d", min, max);
    group_window[group] = {min, max};
  }
  for (auto it = setup.begin(); it != setup.end(); ++it) {
    if (!hold.exists(it->first)) continue;
    const auto w = group_window.find((it->second - low) / granularity);
    if (w == group_window.end())
      l_internal_error("slack_window_group.count((cit->second - max_slack_lower_bound) / granularity) != 0", __LINE__);
    windows[it->first] = w->second;
  }
  debug("%s slack window after grouping:", side);
  for (auto it = windows.begin(); it != windows.end(); ++it)
    debug("   (%d, %d) ->  %d  %d", it->first.first, it->first.second, it->second.first, it->second.second);
}

// ---- the solver's per-element caches --------------------------------------------------------

namespace {
// Element datum 20 (wire class): usable for 1, 4, 5, 6, 7 and 11; "long"
// wires (weight 1) for 4 and 5.
bool l_usable_wire_class(int datum) { return datum >= 0 && datum < 12 && ((2290 >> datum) & 1) != 0; }
int l_wire_weight(int datum) { return datum == 4 || datum == 5 ? 1 : 0; }
}  // namespace

void VELMO_PERIPHERY_CORE_PLACEMENT::build_switch_delays_cache() {
  if (m_switch_delays_cache_built) return;
  VELMO_SCOPED_PROFILE_BIN bin("Periphery Core Transfer Optimization - build switch delay cache", "VPR - Other");
  WUMP_DIE_INFO* die = const_cast<DEV_DEVICE*>(m_device)->get_die_info()->get_wump_die_info();
  if (m_route_graph == nullptr) l_internal_error("wump_route_graph", __LINE__);
  WUMP_BLACKLISTING_LOADER::setup_blacklisting(die);
  const WUMP_BLACKLISTING* blacklist = die->get_blacklisting();
  std::vector<int> indices;
  {
    VELMO_SCOPED_PROFILE_BIN sub("Periphery Core Transfer Optimization - build switch delay cache - move to vector",
                                 "VPR - Other");
    indices.resize(m_route_graph->size());
    for (std::size_t i = 0; i < indices.size(); ++i) indices[i] = static_cast<int>(i);
  }
  using ENTRY = std::tuple<int, unsigned, int, std::vector<std::pair<float, float>>>;
  tbb::concurrent_vector<ENTRY, tbb::cache_aligned_allocator<ENTRY>> found;
  const bool with_delays = m_env->get_base_family_code() == 48;
  {
    VELMO_SCOPED_PROFILE_BIN sub("Periphery Core Transfer Optimization - build switch delay cache - parallel part",
                                 "VPR - Other");
    OXU_SCOPED_PARALLEL_CLAIM claim(OXU_PROCESSOR_MANAGER::get_max_threads(1 << 30));
    if (!indices.empty()) {
      tbb::parallel_for(tbb::blocked_range<std::size_t>(0, indices.size(), 1), [&](const tbb::blocked_range<std::size_t>& range) {
        std::vector<YEB_DELAY> delays;
        for (std::size_t k = range.begin(); k != range.end(); ++k) {
          const int i = indices[k];
          const WUMP_ROUTE_NODE node = m_route_graph->get_wump_route_element(static_cast<unsigned>(i))->get_route_node();
          const unsigned gid = m_route_info->get_gid_from_route_node(node);
          const int kind = static_cast<int>(node.element_type);
          if (m_zota_register_gids.count(gid) != 0 || kind == 287 || blacklist->is_routing_gid_blacklisted(gid)) continue;
          const int datum = dev_element_desc(kind).get_int_data(20);
          if (!l_usable_wire_class(datum) || kind == 0) continue;
          std::vector<std::pair<float, float>> pairs;
          if (with_delays) {
            delays.clear();
            m_default_timing_model->get_switch_delays(gid, delays);
            for (const YEB_DELAY& d : delays)
              pairs.push_back({std::min(d.values[2], d.values[3]), std::max(d.values[0], d.values[1])});
          }
          found.push_back(ENTRY{i, gid, l_wire_weight(datum), std::move(pairs)});
        }
      }, tbb::auto_partitioner());
    }
  }
  for (auto& [i, gid, weight, pairs] : found) m_switch_delays_cache[i] = std::make_tuple(gid, weight, std::move(pairs));
  m_switch_delays_cache_built = true;
  found.clear();
}

void VELMO_PERIPHERY_CORE_PLACEMENT::build_usable_wire_weight_cache() {
  VELMO_SCOPED_PROFILE_BIN bin("Periphery Core Transfer Optimization - build usable wire weight cache", "VPR - Other");
  WUMP_DIE_INFO* die = const_cast<DEV_DEVICE*>(m_device)->get_die_info()->get_wump_die_info();
  const WUMP_BLACKLISTING* blacklist = die->get_blacklisting();
  const int n = static_cast<int>(m_route_graph->size());
  for (int i = 0; i < n; ++i) {
    const WUMP_ROUTE_NODE node = m_route_graph->get_wump_route_element(static_cast<unsigned>(i))->get_route_node();
    const unsigned gid = m_route_info->get_gid_from_route_node(node);
    const int kind = static_cast<int>(node.element_type);
    if (m_zota_register_gids.count(gid) != 0 || kind == 287 || blacklist->is_routing_gid_blacklisted(gid)) continue;
    const int datum = dev_element_desc(kind).get_int_data(20);
    if (!l_usable_wire_class(datum)) continue;
    m_usable_wire_weight_cache[i] = l_wire_weight(datum);
  }
}

// ---- slack estimation -------------------------------------------------------------------------

int VELMO_PERIPHERY_CORE_PLACEMENT::get_path_delay(const YEB_PATH& path, TIMING_ANALYSIS_TYPE type) const {
  float d[4];
  m_default_timing_model->get_path_delay(path, d);
  if (type == SETUP) return static_cast<int>(d[1] * 1e12f);
  if (type == HOLD) return static_cast<int>(d[3] * 1e12f);
  l_internal_error("Unsupported Timing Analysis type when getting yeb path delay", __LINE__);
}

void VELMO_PERIPHERY_CORE_PLACEMENT::build_yeb_average_clock_path_delay_cache() {
  struct KIND {
    int type;
    const char* name;
    std::vector<int> prefix;
  };
  static const KIND kinds[] = {{5, "GCLK", {656, 1810, 659, 311, 311, 341, 607, 1198}},
                               {6, "RCLK", {1541, 1808, 1810, 659, 311, 311, 341, 607, 1198}},
                               {11, "PCLK", {1062, 1811, 659, 311, 311, 341, 607, 1198}}};
  for (const KIND& k : kinds) {
    YEB_PATH periphery{k.prefix}, core{k.prefix};
    periphery.element_types.push_back(911);
    core.element_types.push_back(910);
    const int ps = get_path_delay(periphery, SETUP), ph = get_path_delay(periphery, HOLD);
    const int cs = get_path_delay(core, SETUP), ch = get_path_delay(core, HOLD);
    m_average_clock_max_delay_cache[k.type] = {ps, cs};
    m_average_clock_min_delay_cache[k.type] = {ph, ch};
    if (m_verbose) {
      msg_vdebug_impl(2, "%s average delay for core is %d %d", k.name, cs, ch);
      msg_vdebug_impl(2, "%s average delay for periphery is %d %d", k.name, ps, ph);
    }
  }
}

void VELMO_PERIPHERY_CORE_PLACEMENT::annotate_core_clock_delay_on_kem_netlist(TIMING_ANALYSIS_TYPE type) {
  VELMO_SCOPED_PROFILE_BIN bin(
      "Periphery Core Transfer Optimization - Slack Estimation - annotate_core_clock_delay_on_kem_netlist", "VPR - Other");
  if (!m_env->hov_utility_reflects_atom_netlist_exactly())
    l_internal_error("m_env->hov_utility_reflects_atom_netlist_exactly()", __LINE__);
  for (VOK_ATOM_NODE* atom : m_atom_netlist->nodes(VOK_TRAVERSE_HIERARCHICAL)) {
    for (VOK_ATOM_ITERM* t : atom->iterms()) {
      if (!t->is_connected()) continue;
      const int global = t->get_connection_code();
      if (global == 0 || global == 1 || global == 3 || global == 4) continue;
      if (m_verbose) msg_vdebug_impl(2, "global type is %d", global);
      const auto max_it = m_average_clock_max_delay_cache.find(global);
      const auto min_it = m_average_clock_min_delay_cache.find(global);
      if (max_it == m_average_clock_max_delay_cache.end() || min_it == m_average_clock_min_delay_cache.end()) continue;
      const bool core = atom->is_ff() && atom->get_location_element() == 0;
      const int setup_value = core ? max_it->second.second : max_it->second.first;
      const int hold_value = core ? min_it->second.second : min_it->second.first;
      int min = hold_value, max = setup_value;
      if (type == HOLD) {
        if (m_use_two_corners) {
          min = static_cast<int>(static_cast<float>(hold_value) * m_hold_scaling_factor_min);
          max = static_cast<int>(static_cast<float>(setup_value) * m_hold_scaling_factor_max);
        }
      } else if (type != SETUP) {
        l_internal_error("ta_type == HOLD", __LINE__);
      }
      if (m_verbose) msg_vdebug_impl(2, "annotating %d(min) %d(max) back to the core clock iterm edge", min, max);
      m_hov_utility->annotate_delays_of_connection(atom, t->get_port_type(), t->get_index(), max, min);
    }
  }
}

void VELMO_PERIPHERY_CORE_PLACEMENT::compute_slack_window(TIMING_ANALYSIS_TYPE type) {
  VELMO_SCOPED_PROFILE_BIN bin("Periphery Core Transfer Optimization - Slack Estimation - compute_slack_window",
                               "VPR - Other");
  if (type == SETUP) {
    if (m_verbose) msg_vdebug_impl(2, "max timing analysis");
    m_hov_utility->perform_quick_timing_analysis(false);
  } else if (type == HOLD) {
    if (m_verbose) msg_vdebug_impl(2, "min timing analysis");
    m_hov_utility->perform_quick_min_timing_analysis();
  } else {
    l_internal_error("Unsupported Timing Analysis type when running timing analysis", __LINE__);
  }
  const char* word = type == SETUP ? "max" : "min";
  auto slack_of = [&](const VOK_ATOM_ITERM* t) {
    const int id = t->get_my_node()->get_id();
    return type == SETUP ? m_hov_utility->get_setup_slack(id, t->get_port_type(), t->get_index())
                         : m_hov_utility->get_hold_slack(id, t->get_port_type(), t->get_index());
  };
  // Records one slack: setup slacks as they are, hold slacks as violations.
  auto record = [&](SLACK_MAP& setup, SLACK_MAP& hold, int& general_max, int& general_min, std::pair<int, int> key,
                    int s) {
    if (type == SETUP) {
      setup[key] = s;
      general_max = std::min(general_max, s);
    } else {
      hold[key] = s < 0 ? -s : 0;
      if (s < 0 && -s > general_min) general_min = -s;
    }
  };
  for (VOK_ATOM_NODE* reg : m_atom_netlist->nodes(VOK_TRAVERSE_HIERARCHICAL)) {
    if (reg->get_location_element() != 0 || reg->get_default_dev_element() != 643) continue;
    const VOK_ATOM_ITERM* clk = reg->get_input_term_by_type(DB_INPUT_PORT_CLK, 0);
    if (clk == nullptr || !clk->is_connected()) continue;
    const int global = clk->get_connection_code();
    if (global == 0 || global == 1 || global == 3 || global == 4) continue;
    const VOK_ATOM_ITERM* d = reg->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0);
    if (d != nullptr && d->is_connected()) {
      const VOK_ATOM_OTERM* src = d->get_source(VOK_TRAVERSE_HIERARCHICAL);
      if (src != nullptr && src->get_my_node()->get_location_element() != 0) {
        const int src_id = src->get_my_node()->get_id();
        if (m_verbose) msg_vdebug_impl(2, "src_gid is %d and dst_gid is %d for %d", src_id, reg->get_id(), static_cast<int>(type));
        const std::pair<int, int> key{src_id, reg->get_id()};
        const int s = slack_of(d);
        if (s >= 100000 || s <= -100000) {
          if (m_verbose) msg_vdebug_impl(2, "slack is above 1000");
          m_nodes_repuired_p2c_max_delay_map.erase(key);
          m_nodes_repuired_p2c_min_delay_map.erase(key);
          continue;
        }
        if (m_verbose)
          msg_vdebug_impl(2, "the p2c %s slack is %dps on core ff %s", word, s, reg->get_string_hpath().c_str());
        record(m_nodes_repuired_p2c_max_delay_map, m_nodes_repuired_p2c_min_delay_map, m_p2c_general_window_max,
               m_p2c_general_window_min, key, s);
      }
    }
    VOK_ATOM_OTERM* q = reg->get_output_term_by_type(static_cast<DB_OUTPUT_PORT_TYPE>(10), 0);
    if (q == nullptr) continue;
    int count = 0;
    VOK_ATOM_ITERM* last = nullptr;
    for (VOK_ATOM_ITERM* t : q->fanout(VOK_TRAVERSE_HIERARCHICAL)) {
      if (t->get_my_node()->get_location_element() == 0) continue;
      last = t;
      if (++count == 2) break;
    }
    if (count != 1) continue;
    const std::pair<int, int> key{reg->get_id(), last->get_my_node()->get_id()};
    const int s = slack_of(last);
    if (s >= 100000 || s <= -100000) {
      m_nodes_repuired_c2p_max_delay_map.erase(key);
      m_nodes_repuired_c2p_min_delay_map.erase(key);
      continue;
    }
    if (m_verbose) msg_vdebug_impl(2, "the c2p %s slack is %dps on core ff %s", word, s, reg->get_string_hpath().c_str());
    record(m_nodes_repuired_c2p_max_delay_map, m_nodes_repuired_c2p_min_delay_map, m_c2p_general_window_max,
           m_c2p_general_window_min, key, s);
  }
  if (m_verbose) {
    msg_vdebug_impl(2, "P2C: GENERAL WINDOW (%d -> %d)", m_p2c_general_window_min, m_p2c_general_window_max);
    msg_vdebug_impl(2, "C2P: GENERAL WINDOW (%d -> %d)", m_c2p_general_window_min, m_c2p_general_window_max);
  }
}

bool VELMO_PERIPHERY_CORE_PLACEMENT::p2c_slack_estimation() {
  VELMO_SCOPED_PROFILE_BIN bin("Periphery Core Transfer Optimization - Slack Estimation", "VPR - Other");
  if (!m_env->hov_is_on() || m_env->get_base_family_code() != 48) return false;
  const long long start = gen_get_current_time_seconds();
  m_hov_utility = m_env->get_hov_utility_or_create_if_necessary(0, 2, m_use_two_corners ? 5 : 0, false, false, false,
                                                                false, nullptr, false, false);
  if (m_hov_utility == nullptr) l_internal_error("m_hov_utility != 0", __LINE__);
  build_yeb_average_clock_path_delay_cache();
  annotate_core_clock_delay_on_kem_netlist(SETUP);
  compute_slack_window(SETUP);
  if (m_use_two_corners) annotate_core_clock_delay_on_kem_netlist(HOLD);
  compute_slack_window(HOLD);
  organize_p2c_window();
  organize_c2p_window();
  if (m_verbose)
    msg_vdebug_impl(2, "slack estimation takes %s",
                    gen_format_elapsed_time(static_cast<double>(gen_get_current_time_seconds() - start)).c_str());
  return true;
}
