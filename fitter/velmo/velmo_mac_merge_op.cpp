#include "velmo_mac_merge_op.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>

#include "cfg/cfg.h"
#include "dev/dev_basic_info.h"
#include "dev/dev_element_desc.h"
#include "gen/gen_profile.h"
#include "msg/msg_gen_loc.h"
#include "msg/msg_internal_error.h"
#include "omz/omz_instance_name.h"
#include "pexa/pexa_utility.h"
#include "tibex/tibex_location_constraint.h"
#include "velmo_debug.h"
#include "velmo_mac_merge_shared.h"
#include "velmo_mac_merge_util_kx.h"
#include "velmo_mac_merge_util_ky.h"
#include "velmo_mac_merge_util_kz.h"
#include "velmo_msgs.h"
#include "vok_atom_netlist_sys.h"
#include "wexan/wexan_design.h"
#include "wexan/wexan_device.h"
#include "wexan/wexan_env.h"
#include "wump/wump_die_info.h"
#include "zel/zel_atom_dumper.h"

namespace {

[[noreturn]] void l_internal_error(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "VELMO", "velmo_mac_merge_op", line);
}

constexpr int NUM_MERGE_TYPES = 3;
int max_macs_per_dsp_loc[NUM_MERGE_TYPES];
int num_dsp_locs_per_merge_type[NUM_MERGE_TYPES];
int mac_mode_per_merge_type[NUM_MERGE_TYPES];

// Most names listed under one message.
int skip_names_threshold = 10;

// Constraint sources: presence test and read of the constraints the merge
// honours.
constexpr unsigned CONSTRAINT_SOURCE_TEST = 256;
constexpr unsigned CONSTRAINT_SOURCE_READ = 16384;

// Chain links: input and output port types, in the order tried.
const DB_INPUT_PORT_TYPE CHAIN_INPUT_PORTS[] = {DB_MAC_SCANIN, DB_MAC_CHAININ, DB_INPUT_PORT_CARRY_IN};
const DB_OUTPUT_PORT_TYPE CHAIN_OUTPUT_PORTS[] = {DB_MAC_SCANOUT, DB_MAC_CHAINOUT, DB_OUTPUT_PORT_CARRY_OUT};

constexpr int DSP_ELEMENT = 1336;
constexpr int VIRTUAL_DSP_ELEMENT = 264;
constexpr int ADDRESS_REGISTER_ROW_DATUM = 52;

std::string short_name(const VOK_ATOM_NODE* atom) { return velmo_mac_short_name(atom); }

bool input_used_and_driven(const VOK_ATOM_ITERM* t) { return t != nullptr && t->is_used_and_driven(); }

bool output_connected(const VOK_ATOM_OTERM* t) {
  return t != nullptr && vok_is_connected(t, VOK_TRAVERSE_HIERARCHICAL);
}

VOK_ATOM_NODE* first_fanout_node(const VOK_ATOM_OTERM* t) {
  for (const VOK_ATOM_ITERM* f : t->cfanout(VOK_TRAVERSE_HIERARCHICAL)) return f->get_my_node();
  return nullptr;
}

}  // namespace

// ---------------------------------------------------------------- construction

VELMO_MAC_MERGE_OP::VELMO_MAC_MERGE_OP(WEXAN_ENV* env, bool estimate_only)
    : m_env(env), m_estimate_only(estimate_only) {
  if (m_env == nullptr) l_internal_error("m_env != nullptr", __LINE__);
  // A negative limit lists no names.
  skip_names_threshold = std::max(0, cfg_get_int_value("velmo_max_dsps_to_list_in_errors", 10));

  m_design = m_env->get_design();
  if (m_design == nullptr) l_internal_error("m_design != nullptr", __LINE__);
  const DEV_DEVICE* device = PEXA_UTILITY::get_current_device();
  DEV_DIE_INFO* die = device->get_die_info();
  m_die_info = die != nullptr ? die->get_wump_die_info() : nullptr;
  if (m_die_info == nullptr) l_internal_error("m_die_info != nullptr", __LINE__);
  m_place_info = m_die_info->get_place_info();
  if (m_place_info == nullptr) l_internal_error("m_place_info != nullptr", __LINE__);

  switch (m_env->get_base_family_code()) {
    case 26: m_merge_util = new VELMO_QDSP_MERGE_UTIL_KZ(m_env); break;
    case 46: m_merge_util = new VELMO_QDSP_MERGE_UTIL_KY(m_env); break;
    case 15:
    case 48: m_merge_util = new VELMO_QDSP_MERGE_UTIL_KX(m_env); break;
    default: l_internal_error("unsupported family", __LINE__);
  }

  m_dsp_element = DSP_ELEMENT;
  m_merge_util->get_params_for_family(NUM_MERGE_TYPES, max_macs_per_dsp_loc, num_dsp_locs_per_merge_type,
                                      mac_mode_per_merge_type);
  // A merge spanning two DSP locations is not supported by placement,
  // spreading or merging.
  for (int i = 0; i < NUM_MERGE_TYPES; ++i)
    if (num_dsp_locs_per_merge_type[i] != 1) l_internal_error("num_dsp_locs_per_merge_type[i] == 1", __LINE__);

  m_num_cols = m_place_info->get_nx();
  m_num_rows = m_place_info->get_ny();

  const DEV_BASIC_INFO* basic = device->get_basic_info();
  m_num_dsp_locations = 0;
  if (basic->has_element(DSP_ELEMENT) && basic->is_valid_element_int_data(DSP_ELEMENT, 1))
    m_num_dsp_locations = basic->get_element_int_data(DSP_ELEMENT, 1);
  m_dsp_usage_capacity = m_num_dsp_locations;
  if (basic->has_element(VIRTUAL_DSP_ELEMENT)) {
    if (basic->is_valid_element_int_data(VIRTUAL_DSP_ELEMENT, 1))
      m_dsp_usage_capacity = basic->get_element_int_data(VIRTUAL_DSP_ELEMENT, 1);
    if (m_dsp_usage_capacity <= 0 && basic->is_valid_element_int_data(VIRTUAL_DSP_ELEMENT, 2))
      m_dsp_usage_capacity = basic->get_element_int_data(VIRTUAL_DSP_ELEMENT, 2);
    msg_vdebug_impl(2, "virtual dsp avail=%d", m_dsp_usage_capacity);
  }

  const int block_type = m_die_info->get_block_type(dev_element_desc(DSP_ELEMENT), 0);
  m_dsp_height = m_die_info->get_block_type_height(block_type);

  velmo_mac_limit_dsp_locations(m_num_dsp_locations);

  m_address_register_row = -1;
  if (!cfg_is_on("vpr_mv_allow_qdsps_to_cross_address_register_row", false) &&
      basic->is_valid_int_data(ADDRESS_REGISTER_ROW_DATUM))
    m_address_register_row = basic->get_int_data(ADDRESS_REGISTER_ROW_DATUM);

  m_debug = cfg_is_on("velmo_mac_merge_debug", false);
  m_dsp_floorplan = m_estimate_only ? nullptr : alloc_2d_array_of_dsp_floorplan();
}

VELMO_MAC_MERGE_OP::~VELMO_MAC_MERGE_OP() {
  if (m_dsp_floorplan != nullptr) destroy_2d_array_of_dsp_floorplan(m_dsp_floorplan);
  for (VELMO_MAC_MERGE_MAC_INFO* info : m_mac_infos) delete info;
  m_tbr_dsp_bboxes.clear();
  m_dsp_column_bboxes.clear();
  delete m_merge_util;
}

// ---------------------------------------------------------------- the run

bool VELMO_MAC_MERGE_OP::work() {
  if (cfg_is_on("use_physical_mac_merge", false)) {
    msg_vdebug_impl(2, "VELMO_MAC_MERGE: Physical MAC merging is ON. Normal merge won't run.");
    return true;
  }
  msg_vdebug_impl(2, "VELMO_MAC_MERGE: Performing MAC Merging.");
  ZEL_ATOM_DUMPER dumper(m_env->get_chip_db_entry());
  if (m_estimate_only) l_internal_error("!m_estimate_only", __LINE__);
  if (m_debug) dumper.dump_current_atom_netlist("velmo_mac_pre_merge.echo", true);

  if (m_num_dsp_locations == 0) return true;

  gather_mac_info();
  bool fits = false;
  int used = 0;
  if (m_mac_infos.empty()) {
    fits = check_floorplan(&used);
  } else {
    bool all_placed = true;
    for (VELMO_MAC_MERGE_MAC_INFO* info : m_mac_infos) {
      if (info->has_been_placed) l_internal_error("!mac_info->has_been_placed", __LINE__);
      if (m_debug) msg_vdebug_impl(2, "\tVELMO_MAC_DEBUG: Placing MAC %d", info->atom->get_id());
      all_placed &= find_placement_for_given_mac(info, true);
    }
    if (all_placed)
      fits = check_floorplan(&used);
    else
      print_user_nofit_message();
  }
  if (m_debug) msg_vdebug_impl(2, "VELMO_MAC_DEBUG: Initial floorplan check uses %d MACs", used);

  bool result = false;
  if (cfg_is_on("velmo_mac_merge_for_density", false)) {
    if (m_debug) dump_debug_info_to_file();
    if (fits) result = perform_merges();
  } else if (fits) {
    spread_macs(used);
    if (!check_floorplan(&used)) l_internal_error("check_floorplan(&num_dsp_locations_used)", __LINE__);
    if (m_debug) dump_debug_info_to_file();
    result = perform_merges();
  } else {
    if (m_debug) dump_debug_info_to_file();
    result = false;
  }

  msg_vdebug_impl(2, "VELMO_MAC_MERGE: MAC Merging finished with %d MAC atoms (down from %d)", used,
                  static_cast<int>(m_mac_infos.size()));
  if (m_debug) dumper.dump_current_atom_netlist("velmo_mac_post_merge.echo", true);
  return result;
}

// ---------------------------------------------------------------- gathering

bool VELMO_MAC_MERGE_OP::gather_mac_info() {
  ZMP_HASH_LITE<int, VELMO_MAC_MERGE_MAC_INFO*> by_id;
  std::set<int> region_ids;
  const TIBEX_ZARTO_REGION_LIST* regions = m_env->get_zarto_region_list();
  const int num_regions = regions != nullptr ? regions->get_num_zarto_regions() : 0;

  for (VOK_ATOM_NODE* atom : m_env->get_atom_netlist()->nodes(VOK_TRAVERSE_HIERARCHICAL)) {
    if (!atom->is_mac() && !atom->is_fp_mac()) continue;
    auto* info = new VELMO_MAC_MERGE_MAC_INFO();
    info->atom = atom;
    m_mac_infos.push_back(info);
    info->mode = m_merge_util->get_mergeable_mode_of_atom(atom);
    const TIBEX_LOCATION_CONSTRAINT constraint = m_design->get_atom_location_constraint(atom->get_id());
    if (constraint.has_locked_constraint(CONSTRAINT_SOURCE_TEST)) {
      const TIBEX_LOCKED_CONSTRAINT locked = constraint.get_locked_constraint(CONSTRAINT_SOURCE_READ);
      if (locked.is_specified_exactly())
        info->constraint_box = BOX(locked.get_x(), locked.get_y(), locked.get_x(), locked.get_y());
      else
        info->constraint_box = BOX(locked.get_xmin(), locked.get_ymin(), locked.get_xmax(), locked.get_ymax());
    }
    if (constraint.has_floating_constraint(CONSTRAINT_SOURCE_TEST)) {
      info->region_id = constraint.get_floating_constraint(CONSTRAINT_SOURCE_TEST).get_tarnbay_id();
      // Region ids index the host's region list.
      if (info->region_id < 0 || info->region_id >= num_regions)
        l_internal_error("tbr_id >= 0 && tbr_id < num_zarto_regions", __LINE__);
      region_ids.insert(info->region_id);
    }
    by_id[atom->get_id()] = info;
  }

  get_tbr_dsp_boxes(region_ids);

  // Chains: each record not yet in a chain walks its chain upstream along
  // one input port type and downstream along one output port type. A walk
  // stops at a record that already carries the chain (a ring of links).
  int chain = 0;
  for (VELMO_MAC_MERGE_MAC_INFO* info : m_mac_infos) {
    if (info->chain_id != -1) continue;
    bool walked = false;
    VOK_ATOM_NODE* atom = info->atom;

    for (DB_INPUT_PORT_TYPE port : CHAIN_INPUT_PORTS) {
      const VOK_ATOM_ITERM* term = atom->get_input_term_by_type(port, 0);
      if (!input_used_and_driven(term)) continue;
      walked = true;
      while (input_used_and_driven(term)) {
        const VOK_ATOM_OTERM* source = term->get_source(VOK_TRAVERSE_HIERARCHICAL);
        VOK_ATOM_NODE* curr_mac_atom = source != nullptr ? source->get_my_node() : nullptr;
        if (curr_mac_atom == nullptr) l_internal_error("curr_mac_atom != nullptr", __LINE__);
        auto it = by_id.find(curr_mac_atom->get_id());
        VELMO_MAC_MERGE_MAC_INFO* curr_mac_info = it != by_id.end() ? it->second : nullptr;
        if (curr_mac_info == nullptr) l_internal_error("curr_mac_info != nullptr", __LINE__);
        if (curr_mac_info->chain_id == chain) break;
        curr_mac_info->chain_id = chain;
        term = curr_mac_atom->get_input_term_by_type(port, 0);
      }
      break;
    }

    for (DB_OUTPUT_PORT_TYPE port : CHAIN_OUTPUT_PORTS) {
      const VOK_ATOM_OTERM* term = atom->get_output_term_by_type(port, 0);
      if (!output_connected(term)) continue;
      walked = true;
      while (output_connected(term)) {
        VOK_ATOM_NODE* curr_mac_atom = first_fanout_node(term);
        if (curr_mac_atom == nullptr) l_internal_error("curr_mac_atom != nullptr", __LINE__);
        auto it = by_id.find(curr_mac_atom->get_id());
        VELMO_MAC_MERGE_MAC_INFO* curr_mac_info = it != by_id.end() ? it->second : nullptr;
        if (curr_mac_info == nullptr) l_internal_error("curr_mac_info != nullptr", __LINE__);
        if (curr_mac_info->chain_id == chain) break;
        curr_mac_info->chain_id = chain;
        term = curr_mac_atom->get_output_term_by_type(port, 0);
      }
      break;
    }

    if (walked) {
      info->chain_id = chain;
      ++chain;
    }
  }
  m_num_chains = chain;

  // Logical groups: a seed takes every later ungrouped record compatible
  // with it. A seed that cannot merge (mode -1) or is a floating-point MAC
  // stays alone: no MAC is compatible with a mode not valid for merging.
  int group = 0;
  for (std::size_t i = 0; i < m_mac_infos.size(); ++i) {
    VELMO_MAC_MERGE_MAC_INFO* seed = m_mac_infos[i];
    if (seed->logical_group != -1) continue;
    seed->logical_group = group;
    if (!seed->atom->is_fp_mac() && seed->mode != VOK_MAC_MODE_NONE) {
      for (std::size_t j = i + 1; j < m_mac_infos.size(); ++j) {
        VELMO_MAC_MERGE_MAC_INFO* other = m_mac_infos[j];
        if (other->logical_group != -1) continue;
        std::vector<VOK_ATOM_NODE*> atoms{seed->atom, other->atom};
        std::vector<VOK_MAC_MODE_ENUM> modes{seed->mode, other->mode};
        if (m_merge_util->mac_atoms_are_compatible(&atoms, &modes)) other->logical_group = group;
      }
    }
    ++group;
  }

  std::sort(m_mac_infos.begin(), m_mac_infos.end(),
            [this](const VELMO_MAC_MERGE_MAC_INFO* a, const VELMO_MAC_MERGE_MAC_INFO* b) {
              return mac_info_sort(a, b);
            });
  return true;
}

int VELMO_MAC_MERGE_OP::merge_type_of(VOK_MAC_MODE_ENUM mode) const {
  if (mode == VOK_MAC_MODE_NONE) return -1;
  for (int i = 0; i < NUM_MERGE_TYPES; ++i)
    if (mac_mode_per_merge_type[i] == mode) return i;
  return -1;
}

bool VELMO_MAC_MERGE_OP::mac_info_sort(const VELMO_MAC_MERGE_MAC_INFO* a, const VELMO_MAC_MERGE_MAC_INFO* b) const {
  if (a == nullptr) l_internal_error("a != nullptr", __LINE__);
  if (b == nullptr) l_internal_error("b != nullptr", __LINE__);
  auto area = [this](const VELMO_MAC_MERGE_MAC_INFO* r) -> long long {
    if (r->constraint_box.is_empty()) return static_cast<long long>(m_num_cols) * m_num_rows;
    return r->constraint_box.get_num_points();
  };
  const long long sizea = area(a);
  const long long sizeb = area(b);
  if (sizea <= 0 || sizeb <= 0) l_internal_error("sizea > 0 && sizeb > 0", __LINE__);
  if (sizea != sizeb) return sizea < sizeb;
  const int ta = merge_type_of(a->mode);
  const int tb = merge_type_of(b->mode);
  if (ta != tb) return ta < tb;
  if (a->logical_group != b->logical_group) return a->logical_group < b->logical_group;
  return static_cast<unsigned>(a->atom->get_id()) < static_cast<unsigned>(b->atom->get_id());
}

// ---------------------------------------------------------------- estimate

int VELMO_MAC_MERGE_OP::estimate_min_macs_required(const std::list<VOK_ATOM_NODE*>* atom_list) {
  if (!m_estimate_only) l_internal_error("m_estimate_only", __LINE__);
  if (atom_list == nullptr) l_internal_error("atom_list != nullptr", __LINE__);
  if (atom_list->empty()) l_internal_error("!atom_list->empty()", __LINE__);

  const GEN_PROFILE_BINS::HANDLE bin = GEN_PROFILE_BINS::open_with_tag(
      "VELMO", "VELMO_MAC_MERGE_OP::estimate_min_macs_required", 2147483647, "");
  int count = 0;
  std::list<std::list<VOK_ATOM_NODE*>> buckets[NUM_MERGE_TYPES];
  try {
    for (VOK_ATOM_NODE* atom : *atom_list) {
      if (atom == nullptr || (!atom->is_mac() && !atom->is_fp_mac())) continue;
      const VOK_MAC_MODE_ENUM mode = m_merge_util->get_mergeable_mode_of_atom(atom);
      if (mode == VOK_MAC_MODE_NONE) {
        ++count;
        continue;
      }
      const int imerge_type = merge_type_of(mode);
      if (imerge_type < 0) l_internal_error("imerge_type >= 0", __LINE__);
      const int cap = max_macs_per_dsp_loc[imerge_type];
      if (cap <= 0) l_internal_error("max_macs_per_dsp_loc[imerge_type] > 0", __LINE__);
      if (cap == 1) {
        ++count;
        continue;
      }
      auto& list = buckets[imerge_type];
      bool placed = false;
      for (auto it = list.begin(); it != list.end(); ++it) {
        std::vector<VOK_ATOM_NODE*> pair{it->front(), atom};
        if (!m_merge_util->mac_atoms_are_compatible(&pair, nullptr)) continue;
        if (static_cast<int>(it->size()) >= cap)
          l_internal_error("dsp_bucket.size() < max_macs_per_dsp_loc[imerge_type]", __LINE__);
        if (static_cast<int>(it->size()) == cap - 1) {
          // The atom fills the bucket: one more location; the last bucket
          // takes the full one's place.
          ++count;
          auto last = std::prev(list.end());
          if (last != it) *it = std::move(*last);
          list.erase(last);
        } else {
          it->push_back(atom);
        }
        placed = true;
        break;
      }
      if (!placed) list.push_back(std::list<VOK_ATOM_NODE*>{atom});
    }
  } catch (...) {
    GEN_PROFILE_BINS::close_recursively(bin);
    throw;
  }
  GEN_PROFILE_BINS::close_recursively(bin);
  for (const auto& list : buckets) count += static_cast<int>(list.size());
  return count;
}

// ---------------------------------------------------------------- floorplan

VELMO_MAC_TRIO*** VELMO_MAC_MERGE_OP::alloc_2d_array_of_dsp_floorplan() {
  if (!((m_num_rows > 0) && (m_num_cols > 0))) l_internal_error("(m_num_rows > 0) && (m_num_cols > 0)", __LINE__);
  const WEXAN_DEVICE* device = m_env->get_device();
  auto*** floorplan = new VELMO_MAC_TRIO**[m_num_cols];
  for (int x = 0; x < m_num_cols; ++x) {
    floorplan[x] = nullptr;
    bool any = false;
    for (int y = 0; y < m_num_rows && !any; ++y) any = device->get_physical_location_type(x, y, 0) == m_dsp_element;
    if (!any) continue;
    floorplan[x] = new VELMO_MAC_TRIO*[m_num_rows];
    BOX current;
    for (int y = 0; y < m_num_rows; ++y) {
      floorplan[x][y] = nullptr;
      if (device->get_physical_location_type(x, y, 0) != m_dsp_element) continue;
      auto* trio = new VELMO_MAC_TRIO();
      floorplan[x][y] = trio;
      trio->scan_index = static_cast<int>(m_scan_locations.size());
      m_scan_locations.push_back(trio);
      m_scan_xy.emplace_back(x, y);
      velmo_mac_add_dsp_row(current, m_dsp_column_bboxes, x, y, m_dsp_height);
    }
    if (!current.is_empty()) m_dsp_column_bboxes.push_back(current);
  }
  return floorplan;
}

void VELMO_MAC_MERGE_OP::destroy_2d_array_of_dsp_floorplan(VELMO_MAC_TRIO*** floorplan) {
  if (floorplan == nullptr) l_internal_error("floorplan != nullptr", __LINE__);
  if (!((m_num_rows > 0) && (m_num_cols > 0))) l_internal_error("(m_num_rows > 0) && (m_num_cols > 0)", __LINE__);
  for (int x = 0; x < m_num_cols; ++x) {
    if (floorplan[x] == nullptr) continue;
    for (int y = 0; y < m_num_rows; ++y) delete floorplan[x][y];
    delete[] floorplan[x];
  }
  delete[] floorplan;
}

void VELMO_MAC_MERGE_OP::get_tbr_dsp_boxes(const std::set<int>& region_ids) {
  const TIBEX_ZARTO_REGION_LIST* regions = m_env->get_zarto_region_list();
  if (regions == nullptr) {
    if (!m_tbr_dsp_bboxes.empty()) l_internal_error("m_tbr_dsp_bboxes.size() == 0", __LINE__);
    return;
  }
  m_tbr_dsp_bboxes.resize(static_cast<std::size_t>(regions->get_num_zarto_regions()));
  for (int id : region_ids) {
    if (regions->get_xr(id) == nullptr) continue;
    m_tbr_dsp_bboxes[static_cast<std::size_t>(id)] = velmo_mac_region_dsp_boxes(*regions, id, m_dsp_column_bboxes);
  }
}

void VELMO_MAC_MERGE_OP::get_tbr_dsp_capacity(int region_id, int& capacity, int& longest_run) {
  capacity = 0;
  longest_run = 0;
  const int h = m_dsp_height;
  const int r = m_address_register_row;
  for (const BOX& bbox : m_tbr_dsp_bboxes.at(static_cast<std::size_t>(region_id))) {
    if (bbox.get_width(0) != 1) l_internal_error("bbox.get_width(0) == 1", __LINE__);
    const int ymin = bbox.get_min(1);
    const int ymax = bbox.get_max(1);
    const int rows = bbox.get_width(1);
    int rem = 0;
    int n = rows;
    if (h > 1) {
      rem = ymin % h;
      n = (rows - rem + h - 1) / h;
    }
    capacity += n;
    int run = n;
    if (r != -1 && ymin <= r && r <= ymax) {
      int below, above;
      if (h > 1) {
        below = std::max(0, (r - ymin - rem + h - 1) / h);
        above = (ymax - r - 1 - rem + h - 1) / h;
      } else {
        below = r - ymin;
        above = ymax - r - 1;
      }
      run = (above > 0 && above > below) ? above : below;
    }
    longest_run = std::max(longest_run, run);
  }
}

bool VELMO_MAC_MERGE_OP::is_dsp_location_in_tbr(int x, int y, int region_id) const {
  if (!(region_id >= 0 && region_id < static_cast<int>(m_tbr_dsp_bboxes.size())))
    l_internal_error("tbr_id >= 0 && tbr_id < m_tbr_dsp_bboxes.size()", __LINE__);
  for (const BOX& box : m_tbr_dsp_bboxes[static_cast<std::size_t>(region_id)])
    if (box.contains(x, y)) return true;
  return false;
}

std::string VELMO_MAC_MERGE_OP::region_name(int region_id) const {
  return velmo_mac_region_name(m_env->get_zarto_region_list(), region_id);
}

void VELMO_MAC_MERGE_OP::attach_names(MSG_BASE* msg, bool (*match)(const VELMO_MAC_MERGE_MAC_INFO*, int), int key) {
  std::vector<const VOK_ATOM_NODE*> atoms;
  for (const VELMO_MAC_MERGE_MAC_INFO* info : m_mac_infos)
    if (match(info, key)) atoms.push_back(info->atom);
  velmo_mac_attach_node_names(msg, atoms, skip_names_threshold);
}

void VELMO_MAC_MERGE_OP::attach_region_boxes(MSG_BASE* msg, const char* title_format, int region_id) {
  velmo_mac_attach_region_boxes(msg, title_format, region_name(region_id),
                                m_tbr_dsp_bboxes.at(static_cast<std::size_t>(region_id)));
}

bool VELMO_MAC_MERGE_OP::check_floorplan(int* num_dsp_locations_used) {
  const TIBEX_ZARTO_REGION_LIST* regions = m_env->get_zarto_region_list();
  const int num_regions = regions != nullptr ? regions->get_num_zarto_regions() : 0;
  std::vector<int> tbr_used(static_cast<std::size_t>(num_regions), 0);
  std::vector<int> tbr_dsp_capacity(static_cast<std::size_t>(num_regions), -1);
  std::vector<int> tbr_longest(static_cast<std::size_t>(num_regions), -1);
  std::vector<int> chain_length(static_cast<std::size_t>(m_num_chains), 0);
  std::vector<int> chain_region(static_cast<std::size_t>(m_num_chains), -1);

  int used = 0;
  double usage = 0.0;
  for (VELMO_MAC_TRIO* trio : m_scan_locations) {
    const VELMO_MAC_MERGE_MAC_INFO* m = trio->slots[0];
    if (m != nullptr) {
      ++used;
      usage += m_merge_util->get_usage_estimation(m->atom);
      const int c = m->chain_id;
      if (c != -1) ++chain_length[static_cast<std::size_t>(c)];
      const int t = m->region_id;
      if (t >= 0) {
        const auto ti = static_cast<std::size_t>(t);
        ++tbr_used[ti];
        if (tbr_dsp_capacity[ti] < 0) get_tbr_dsp_capacity(t, tbr_dsp_capacity[ti], tbr_longest[ti]);
        if (c != -1) {
          int& cr = chain_region[static_cast<std::size_t>(c)];
          if (cr == -1)
            cr = t;
          else if (cr >= 0 && cr != t)
            cr = -2;
        }
      }
    }
    if (trio->slots[1] != nullptr) usage += m_merge_util->get_usage_estimation(trio->slots[1]->atom);
  }
  *num_dsp_locations_used = used;

  int rows = m_num_rows;
  if (m_address_register_row != -1)
    rows = std::max(m_num_rows - m_address_register_row - 2, m_address_register_row - 1);
  const int max_chain = rows / m_dsp_height;

  auto in_chain = [](const VELMO_MAC_MERGE_MAC_INFO* info, int c) { return info->chain_id == c; };
  bool ok = true;
  for (int c = 0; c < m_num_chains; ++c) {
    const int length = chain_length[static_cast<std::size_t>(c)];
    const int t = chain_region[static_cast<std::size_t>(c)];
    if (length > max_chain) {
      MSG_E* msg = MSG_VELMO::E::DWO_MAC_CHAIN_LENGTH_TOO_LONG(length, max_chain);
      attach_names(msg, in_chain, c);
      msg_post(msg, nullptr);
      ok = false;
      break;
    }
    if (t >= 0 && tbr_longest[static_cast<std::size_t>(t)] < length) {
      const std::string name = region_name(t);
      MSG_E* msg =
          MSG_VELMO::E::DWO_MAC_CHAIN_TOO_LONG_FOR_TBR(length, name, tbr_longest[static_cast<std::size_t>(t)]);
      attach_region_boxes(msg, "DSP locations in Tarnbay region \"%s\"", t);
      msg->add_sub_message(MSG_VELMO::I::DWO_LOCATE_DSP_BLOCKS_IN_TBR(name));
      attach_names(msg, in_chain, c);
      msg_post(msg, nullptr);
      ok = false;
      break;
    }
    if (t == -2) {
      MSG_W* msg = MSG_VELMO::W::DWO_MAC_CHAIN_SPANS_MULTIPLE_TBR(length);
      attach_names(msg, in_chain, c);
      msg_post(msg, nullptr);
    }
  }

  // The message cites the limit that was exceeded: the DSP locations, or
  // else the usage capacity.
  const bool too_many_locations = used > m_num_dsp_locations;
  if (too_many_locations || usage > static_cast<double>(m_dsp_usage_capacity)) {
    const int limit = too_many_locations ? m_num_dsp_locations : m_dsp_usage_capacity;
    msg_vdebug_impl(2, "Error: design uses too many MAC blocks (even after merging): %d of %d", used, limit);
    msg_post(MSG_VELMO::E::DWO_MAC_TOO_MANY_MAC_BLOCKS(used, limit), nullptr);
    return false;
  }
  if (!ok || num_regions == 0) return ok;

  auto in_region = [](const VELMO_MAC_MERGE_MAC_INFO* info, int t) { return info->region_id == t; };
  for (int t = 0; t < num_regions; ++t) {
    const auto ti = static_cast<std::size_t>(t);
    if (tbr_used[ti] > 0 && tbr_used[ti] > tbr_dsp_capacity[ti]) {
      if (tbr_dsp_capacity[ti] < 0) l_internal_error("tbr_dsp_capacity[i] >= 0", __LINE__);
      const std::string name = region_name(t);
      MSG_E* msg = MSG_VELMO::E::DWO_MAC_TOO_MANY_DSPS_IN_TBR(tbr_used[ti], name, tbr_dsp_capacity[ti]);
      attach_region_boxes(msg, "DSP locations in TBR \"%s\"", t);
      msg->add_sub_message(MSG_VELMO::I::DWO_LOCATE_DSP_BLOCKS_IN_TBR(name));
      attach_names(msg, in_region, t);
      msg_post(msg, nullptr);
      return false;
    }
  }
  return true;
}

void VELMO_MAC_MERGE_OP::print_user_nofit_message() {
  int num_unplaced_macs = 0;
  for (const VELMO_MAC_MERGE_MAC_INFO* info : m_mac_infos)
    if (!info->has_been_placed) ++num_unplaced_macs;
  if (num_unplaced_macs <= 0) l_internal_error("num_unplaced_macs > 0", __LINE__);
  MSG_E* msg = MSG_VELMO::E::DWO_MAC_COULD_NOT_PLACE_MACS(num_unplaced_macs);
  attach_names(msg, [](const VELMO_MAC_MERGE_MAC_INFO* info, int) { return !info->has_been_placed; }, 0);
  msg_post(msg, nullptr);
}

// ---------------------------------------------------------------- placement

bool VELMO_MAC_MERGE_OP::compatible(VELMO_MAC_MERGE_MAC_INFO* first, VELMO_MAC_MERGE_MAC_INFO* other) {
  const std::pair<int, int> key{first->atom->get_id(), other->atom->get_id()};
  auto it = m_compatible_memo.find(key);
  if (it != m_compatible_memo.end()) return it->second;
  std::vector<VOK_ATOM_NODE*> atoms{first->atom, other->atom};
  std::vector<VOK_MAC_MODE_ENUM> modes{first->mode, other->mode};
  const bool result = m_merge_util->mac_atoms_are_compatible(&atoms, &modes);
  m_compatible_memo.emplace(key, result);
  return result;
}

bool VELMO_MAC_MERGE_OP::has_free_merge_slot(const VELMO_MAC_TRIO* trio) const {
  const VELMO_MAC_MERGE_MAC_INFO* first = trio->slots[0];
  if (first == nullptr) return false;
  const int type = merge_type_of(first->mode);
  if (type < 0) return false;
  const int cap = std::min(max_macs_per_dsp_loc[type], 3);
  for (int k = 1; k < cap; ++k)
    if (trio->slots[k] == nullptr) return true;
  return false;
}

// Keeps the per-group sets of locations with a free merge slot up to date.
void VELMO_MAC_MERGE_OP::note_location_changed(VELMO_MAC_TRIO* trio) {
  const VELMO_MAC_MERGE_MAC_INFO* first = trio->slots[0];
  if (first == nullptr) return;
  std::set<int>& open = m_open_by_group[first->logical_group];
  if (has_free_merge_slot(trio))
    open.insert(trio->scan_index);
  else
    open.erase(trio->scan_index);
}

int VELMO_MAC_MERGE_OP::first_empty_location() {
  const int n = static_cast<int>(m_scan_locations.size());
  while (m_empty_cursor < n && m_scan_locations[static_cast<std::size_t>(m_empty_cursor)]->slots[0] != nullptr)
    ++m_empty_cursor;
  return m_empty_cursor;
}

bool VELMO_MAC_MERGE_OP::try_location(VELMO_MAC_MERGE_MAC_INFO* record, int scan_index, bool report) {
  VELMO_MAC_TRIO* trio = m_scan_locations[static_cast<std::size_t>(scan_index)];
  if (!report && trio->slots[0] != nullptr) return false;
  const auto& xy = m_scan_xy[static_cast<std::size_t>(scan_index)];
  record->has_been_placed = place_mac_at_xy_location_if_legal(record, xy.first, xy.second, false);
  if (record->has_been_placed) note_location_changed(trio);
  return record->has_been_placed;
}

bool VELMO_MAC_MERGE_OP::place_mac_at_xy_location_if_legal(VELMO_MAC_MERGE_MAC_INFO* record, int x, int y, bool) {
  VELMO_MAC_TRIO* trio = (m_dsp_floorplan[x] != nullptr) ? m_dsp_floorplan[x][y] : nullptr;
  if (trio == nullptr) l_internal_error("m_dsp_floorplan[ix][iy] != nullptr", __LINE__);
  if (!record->constraint_box.is_empty() && !record->constraint_box.contains(x, y)) return false;
  if (record->region_id >= 0 && !is_dsp_location_in_tbr(x, y, record->region_id)) return false;
  if (trio->slots[0] == nullptr) {
    trio->slots[0] = record;
    return true;
  }
  const int type = merge_type_of(record->mode);
  if (type < 0) return false;
  VELMO_MAC_MERGE_MAC_INFO* first = trio->slots[0];
  if (first->logical_group != record->logical_group) return false;
  if (!compatible(first, record)) return false;
  const int cap = std::min(max_macs_per_dsp_loc[type], 3);
  if (cap <= 1) return false;
  for (int k = 1; k < cap; ++k) {
    if (trio->slots[k] == nullptr) {
      trio->slots[k] = record;
      return true;
    }
  }
  return false;
}

bool VELMO_MAC_MERGE_OP::find_placement_for_given_mac(VELMO_MAC_MERGE_MAC_INFO* record, bool report) {
  if (record->has_been_placed) return true;
  const int n = static_cast<int>(m_scan_locations.size());
  const bool constrained = !record->constraint_box.is_empty() || record->region_id >= 0;

  if (!constrained) {
    // First fit without constraints: the earlier of the first empty location
    // and the first location of the record's group with a free merge slot
    // whose first MAC accepts the record.
    int best = first_empty_location();
    if (report && merge_type_of(record->mode) >= 0) {
      auto group = m_open_by_group.find(record->logical_group);
      if (group != m_open_by_group.end()) {
        for (int index : group->second) {
          if (index >= best) break;
          if (compatible(m_scan_locations[static_cast<std::size_t>(index)]->slots[0], record)) {
            best = index;
            break;
          }
        }
      }
    }
    if (best < n) try_location(record, best, report);
  } else {
    // Constrained records scan the locations inside their box (all
    // locations for a region alone), in scan order.
    int x0 = 0, x1 = m_num_cols - 1, y0 = 0, y1 = m_num_rows - 1;
    if (!record->constraint_box.is_empty()) {
      x0 = std::max(x0, record->constraint_box.get_min(0));
      x1 = std::min(x1, record->constraint_box.get_max(0));
      y0 = std::max(y0, record->constraint_box.get_min(1));
      y1 = std::min(y1, record->constraint_box.get_max(1));
    }
    for (int x = x0; x <= x1 && !record->has_been_placed; ++x) {
      if (m_dsp_floorplan[x] == nullptr) continue;
      for (int y = y0; y <= y1 && !record->has_been_placed; ++y) {
        VELMO_MAC_TRIO* trio = m_dsp_floorplan[x][y];
        if (trio != nullptr) try_location(record, trio->scan_index, report);
      }
    }
  }

  if (!record->has_been_placed && report) {
    msg_vdebug_impl(2, "Warning: Could not place block %s", short_name(record->atom).c_str());
    print_constraints_on_atom_for_debug(record->atom);
  }
  return record->has_been_placed;
}

void VELMO_MAC_MERGE_OP::print_constraints_on_atom_for_debug(VOK_ATOM_NODE* atom) {
  velmo_mac_print_constraints(m_design, atom);
}

bool VELMO_MAC_MERGE_OP::spread_macs(int num_dsp_locations_used) {
  int used = num_dsp_locations_used;
  for (VELMO_MAC_TRIO* trio : m_scan_locations) {
    if (trio->slots[1] == nullptr || trio->slots[0]->chain_id != -1) continue;
    for (int s = 2; s >= 1; --s) {
      if (used >= m_num_dsp_locations) return true;
      VELMO_MAC_MERGE_MAC_INFO* m = trio->slots[s];
      if (m == nullptr) continue;
      m->has_been_placed = false;
      if (find_placement_for_given_mac(m, false)) {
        trio->slots[s] = nullptr;
        note_location_changed(trio);
        ++used;
      } else {
        m->has_been_placed = true;
      }
    }
  }
  return true;
}

bool VELMO_MAC_MERGE_OP::perform_merges() {
  if (m_dsp_floorplan == nullptr) l_internal_error("m_dsp_floorplan != nullptr", __LINE__);
  bool ok = true;
  for (VELMO_MAC_TRIO* trio : m_scan_locations) {
    if (trio->slots[0] == nullptr || trio->slots[1] == nullptr) continue;
    const int merge_mode = merge_type_of(trio->slots[0]->mode);
    if (merge_mode == -1) l_internal_error("merge_mode != -1", __LINE__);
    if (num_dsp_locs_per_merge_type[merge_mode] > 2)
      l_internal_error("num_dsp_locs_per_merge_type[merge_mode] == 2", __LINE__);
    std::vector<VOK_ATOM_NODE*> atoms;
    for (const VELMO_MAC_MERGE_MAC_INFO* m : trio->slots)
      if (m != nullptr) atoms.push_back(m->atom);
    // One merge per location; after a failure no further merge is tried.
    if (ok) ok = m_merge_util->merge_mac_atoms(&atoms, trio->slots[0]->mode);
  }
  return ok;
}

// ---------------------------------------------------------------- debug dumps

void VELMO_MAC_MERGE_OP::dump_debug_info_to_file() {
  std::ofstream placement("velmo_mac_placement_dump.echo", std::ios::trunc);
  placement << "[\n";
  if (!m_debug) l_internal_error("m_debug", __LINE__);
  for (int i = 0; i < NUM_MERGE_TYPES; ++i)
    if (max_macs_per_dsp_loc[i] > 3) l_internal_error("max_macs_per_dsp_loc[i] <= 3", __LINE__);

  const char* info_name = "velmo_mac_merge_info.echo";
  std::ofstream info(info_name, std::ios::trunc);
  if (!info) {
    msg_vdebug_impl(2, "Error opening %s", info_name);
    return;
  }

  auto id_of = [](const VELMO_MAC_MERGE_MAC_INFO* m) { return static_cast<unsigned>(m->atom->get_id()); };

  info << "----- Info on MAC atoms -----\n\n" << "\n";
  for (const VELMO_MAC_MERGE_MAC_INFO* m : m_mac_infos) {
    info << "MAC " << id_of(m) << ": " << short_name(m->atom) << "\n";
    switch (m->mode) {
      case VOK_MAC_MODE_NONE: info << "\tmode: Non Mergeable\n"; break;
      case VOK_MAC_MODE_M18X18_PARTIAL: info << "\tmode: 18x18 Partial\n"; break;
      case VOK_MAC_MODE_M18X18_COMPACT: info << "\tmode: 18x18 Compact\n"; break;
      case VOK_MAC_MODE_M9X9: info << "\tmode: 9x9\n"; break;
      default: break;
    }
    info << (m->has_been_placed ? "\tplaced: YES" : "\tplaced: NOE") << "\n";
    info << "\tlogical_group: " << m->logical_group << "\n";
    if (m->chain_id != -1) info << "\tchain_id: " << m->chain_id << "\n";
    info << "\tlocation_constraint: ";
    if (m->constraint_box.is_empty())
      info << "unconstrained";
    else
      info << "(" << m->constraint_box.get_min(0) << ", " << m->constraint_box.get_min(1) << ")" << " -> "
           << "(" << m->constraint_box.get_max(0) << ", " << m->constraint_box.get_max(1) << ")";
    info << "\n";
  }

  info << "\n\n----- Info on Floorplan Placement -----\n\n" << "\n";
  for (int x = 0; x < m_num_cols; ++x) info << "\t" << x;
  info << "\n";
  for (int y = 0; y < m_num_rows; ++y) {
    info << y << "\t";
    for (int x = 0; x < m_num_cols; ++x) {
      const VELMO_MAC_TRIO* trio = m_dsp_floorplan[x] != nullptr ? m_dsp_floorplan[x][y] : nullptr;
      if (trio == nullptr) {
        info << "--\t";
        continue;
      }
      if (trio->slots[0] == nullptr) {
        info << "OPEN, OPEN, OPEN\t";
      } else {
        for (int s = 0; s < 3; ++s) {
          if (s > 0) info << ", ";
          if (trio->slots[s] != nullptr)
            info << id_of(trio->slots[s]);
          else
            info << "OPEN";
        }
        info << "\t";
      }
      for (int s = 0; s < 3; ++s) {
        if (s > 0 && trio->slots[s - 1] != nullptr) placement << "\t,\n";
        const VELMO_MAC_MERGE_MAC_INFO* m = trio->slots[s];
        if (m == nullptr) continue;
        placement << "\t{\n"
                  << "\t\t\"id\" : " << id_of(m) << ",\n"
                  << "\t\t\"name\" : \"" << short_name(m->atom) << "\",\n"
                  << "\t\t\"loc\" : [" << x << ", " << y << ", " << s << "]\n"
                  << "\t}\n";
      }
    }
    info << "\n";
  }
  placement << "\t{ }\n" << "]\n";

  info << "\n\n----- Info on MAC merges -----\n" << "\n";
  for (const VELMO_MAC_TRIO* trio : m_scan_locations) {
    if (trio->slots[0] == nullptr || trio->slots[1] == nullptr) continue;
    switch (trio->slots[0]->mode) {
      case VOK_MAC_MODE_M18X18_PARTIAL: info << "MODE:18x18_partial\t"; break;
      case VOK_MAC_MODE_M18X18_COMPACT: info << "MODE:18x18_compact\t"; break;
      case VOK_MAC_MODE_M9X9: info << "MODE:9x9\t"; break;
      default: break;
    }
    info << id_of(trio->slots[0]) << "\t" << id_of(trio->slots[1]);
    if (trio->slots[2] != nullptr) info << "\t" << id_of(trio->slots[2]);
    info << "\n";
  }
  info.close();
  placement.close();
}
