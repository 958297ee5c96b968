#include "velmo_mac_merge_physical_op.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <numeric>
#include <string>

#include "cfg/cfg.h"
#include "dev/dev_basic_info.h"
#include "dev/dev_element_desc.h"
#include "gen/gen_profile.h"
#include "msg/msg_internal_error.h"
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
#include "wexan/wexan_fitter_ops.h"
#include "wump/wump_die_info.h"
#include "zel/zel_atom_dumper.h"

namespace {

[[noreturn]] void l_internal_error(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "VELMO", "velmo_mac_merge_physical_op", line);
}

constexpr int DSP_ELEMENT = 1336;
constexpr int VIRTUAL_DSP_ELEMENT = 264;
constexpr unsigned CONSTRAINT_SOURCE_TEST = 256;
constexpr unsigned CONSTRAINT_SOURCE_READ = 16384;

const DB_INPUT_PORT_TYPE CHAIN_INPUT_PORTS[] = {DB_MAC_SCANIN, DB_MAC_CHAININ, DB_INPUT_PORT_CARRY_IN};
const DB_OUTPUT_PORT_TYPE CHAIN_OUTPUT_PORTS[] = {DB_MAC_SCANOUT, DB_MAC_CHAINOUT, DB_OUTPUT_PORT_CARRY_OUT};

// Keeps the operation's profiling bin open until the operation returns or
// unwinds.
class BIN_SCOPE {
public:
  BIN_SCOPE()
      : m_handle(GEN_PROFILE_BINS::open_with_tag(nullptr, "Physical DSP merging op: main", 2147483647, "VELMO")) {}
  ~BIN_SCOPE() { GEN_PROFILE_BINS::close_recursively(m_handle); }
  BIN_SCOPE(const BIN_SCOPE&) = delete;
  BIN_SCOPE& operator=(const BIN_SCOPE&) = delete;

private:
  GEN_PROFILE_BINS::HANDLE m_handle;
};

int l_points(const ZMP::BBOX_2D& b) {
  return (b.get_max(0) - b.get_min(0) + 1) * (b.get_max(1) - b.get_min(1) + 1);
}

bool l_input_linked(const VOK_ATOM_ITERM* t) {
  return t != nullptr && t->is_connected() && t->get_source(VOK_TRAVERSE_HIERARCHICAL) != nullptr;
}

VOK_ATOM_NODE* l_first_fanout_node(const VOK_ATOM_OTERM* t) {
  for (const VOK_ATOM_ITERM* f : t->cfanout(VOK_TRAVERSE_HIERARCHICAL)) return f->get_my_node();
  return nullptr;
}

int l_atom_id(const VOK_ATOM_NODE* atom) { return atom->get_id(); }

}  // namespace

// ---------------------------------------------------------------- construction

VELMO_MAC_MERGE_PHYSICAL_OP::VELMO_MAC_MERGE_PHYSICAL_OP(WEXAN_ENV* env) : m_env(env) {
  if (m_env == nullptr) l_internal_error("m_env != nullptr", __LINE__);
  m_enabled = merge_enabled() ? 1 : 0;
  if (!m_enabled) return;

  // A negative limit lists no names.
  m_max_dsps_to_list_in_errors = std::max(0, cfg_get_int_value("velmo_max_dsps_to_list_in_errors", 10));
  m_distance_threshold = cfg_get_int_value("velmo_physical_merge_distance_threshold", -1);

  m_design = m_env->get_design();
  if (m_design == nullptr) l_internal_error("m_design != nullptr", __LINE__);
  const DEV_DEVICE* device = PEXA_UTILITY::get_current_device();
  DEV_DIE_INFO* die = device != nullptr ? device->get_die_info() : nullptr;
  m_die_info = die != nullptr ? die->get_wump_die_info() : nullptr;
  if (m_die_info == nullptr) l_internal_error("m_die_info != nullptr", __LINE__);
  m_place_info = m_die_info->get_place_info();
  if (m_place_info == nullptr) l_internal_error("m_place_info != nullptr", __LINE__);
  m_num_locations = m_place_info->get_nx() * m_place_info->get_ny();

  m_dsp_element = DSP_ELEMENT;
  switch (m_env->get_base_family_code()) {
    case 26: m_merge_util = new VELMO_QDSP_MERGE_UTIL_KZ(m_env); break;
    case 46: m_merge_util = new VELMO_QDSP_MERGE_UTIL_KY(m_env); break;
    case 15:
    case 48: m_merge_util = new VELMO_QDSP_MERGE_UTIL_KX(m_env); break;
    default: l_internal_error("unsupported family", __LINE__);
  }

  m_num_cols = m_place_info->get_nx();
  m_num_rows = m_place_info->get_ny();
  m_debug = cfg_is_on("velmo_mac_merge_debug", false);
  m_debug_verbose = cfg_is_on("velmo_mac_merge_debug_verbose", false);
  if (m_debug_verbose) {
    msg_vdebug_impl(2, "m_num_cols=%d", m_num_cols);
    msg_vdebug_impl(2, "m_num_rows=%d", m_num_rows);
  }

  const DEV_BASIC_INFO* basic = device->get_basic_info();
  m_num_dsp_locations = 0;
  if (basic->has_element(DSP_ELEMENT) && basic->is_valid_element_int_data(DSP_ELEMENT, 1))
    m_num_dsp_locations = basic->get_element_int_data(DSP_ELEMENT, 1);
  m_num_dsps_available = m_num_dsp_locations;
  if (basic->has_element(VIRTUAL_DSP_ELEMENT) && basic->is_valid_element_int_data(VIRTUAL_DSP_ELEMENT, 1)) {
    m_num_dsps_available = basic->get_element_int_data(VIRTUAL_DSP_ELEMENT, 1);
    if (m_num_dsps_available < 1 && basic->is_valid_element_int_data(VIRTUAL_DSP_ELEMENT, 2)) {
      m_num_dsps_available = basic->get_element_int_data(VIRTUAL_DSP_ELEMENT, 2);
      msg_vdebug_impl(2, "virtual dsp avail=%d", m_num_dsps_available);
    }
  }

  m_dsp_height = m_die_info->get_block_type_height(m_die_info->get_block_type(dev_element_desc(DSP_ELEMENT), 0));

  velmo_mac_limit_dsp_locations(m_num_dsp_locations);

  alloc_2d_array_of_dsp_floorplan();
}

VELMO_MAC_MERGE_PHYSICAL_OP::~VELMO_MAC_MERGE_PHYSICAL_OP() { delete m_merge_util; }

bool VELMO_MAC_MERGE_PHYSICAL_OP::merge_enabled() {
  return !cfg_is_on("velmo_force_disable_physical_mac_merge", false);
}

void VELMO_MAC_MERGE_PHYSICAL_OP::alloc_2d_array_of_dsp_floorplan() {
  if (!((m_num_rows > 0) && (m_num_cols > 0))) l_internal_error("(m_num_rows > 0) && (m_num_cols > 0)", __LINE__);
  const WEXAN_DEVICE* device = m_env->get_device();
  for (int x = 0; x < m_num_cols; ++x) {
    m_dsp_floorplan.emplace_back();
    bool any = false;
    for (int y = 0; y < m_num_rows && !any; ++y) any = device->get_physical_location_type(x, y, 0) == m_dsp_element;
    if (any) {
      std::vector<VELMO_DSP_FLOORPLAN_CELL>& column = m_dsp_floorplan.back();
      column.resize(static_cast<std::size_t>(m_num_rows));
      BOX current;
      for (int y = 0; y < m_num_rows; ++y) {
        if (device->get_physical_location_type(x, y, 0) != m_dsp_element) continue;
        column[static_cast<std::size_t>(y)].is_dsp = true;
        velmo_mac_add_dsp_row(current, m_dsp_column_bboxes, x, y, m_dsp_height);
      }
      if (!current.is_empty()) m_dsp_column_bboxes.push_back(current);
    }
    if (m_dsp_floorplan.size() != static_cast<std::size_t>(x + 1))
      l_internal_error("m_dsp_floorplan.size() == (i + 1)", __LINE__);
    if (!m_dsp_floorplan.back().empty() && m_dsp_floorplan.back().size() != static_cast<std::size_t>(m_num_rows))
      l_internal_error("m_dsp_floorplan[i].size() == m_num_rows", __LINE__);
  }
}

int VELMO_MAC_MERGE_PHYSICAL_OP::find_closest_dsp_column(int x) const {
  for (int d = 0;; ++d) {
    const int lo = x - d;
    const int hi = x + d;
    if (lo < 0 && hi >= m_num_cols) l_internal_error("Could not find closest dsp column", __LINE__);
    if (lo >= 0 && lo < m_num_cols && !m_dsp_floorplan[static_cast<std::size_t>(lo)].empty()) return lo;
    if (hi >= 0 && hi < m_num_cols && !m_dsp_floorplan[static_cast<std::size_t>(hi)].empty()) return hi;
  }
}

int VELMO_MAC_MERGE_PHYSICAL_OP::start_column(const VELMO_MAC_MERGE_NODE& node) const {
  return node.apl_x >= 0 ? node.apl_x : find_closest_dsp_column(0);
}

int VELMO_MAC_MERGE_PHYSICAL_OP::start_row(const VELMO_MAC_MERGE_NODE& node) const {
  return node.apl_y >= 0 ? node.apl_y : 0;
}

// ---------------------------------------------------------------- collection

bool VELMO_MAC_MERGE_PHYSICAL_OP::gather_mac_info() {
  ID_MAP atom_to_node;
  std::set<int> floating_tbr_ids;
  return collect_mac_atoms(atom_to_node, floating_tbr_ids) && collect_floating_tbr_bboxes(floating_tbr_ids) &&
         collect_chain_info(atom_to_node) && group_compatible_nodes() && sort_groups_by_column();
}

bool VELMO_MAC_MERGE_PHYSICAL_OP::collect_mac_atoms(ID_MAP& atom_to_node, std::set<int>& floating_tbr_ids) {
  for (VOK_ATOM_NODE* atom : m_env->get_atom_netlist()->nodes(VOK_TRAVERSE_HIERARCHICAL)) {
    if (!atom->is_mac() && !atom->is_fp_mac()) continue;
    VELMO_MAC_MERGE_NODE new_mac_node;
    const float ax = atom->get_analytic_x();
    const float ay = atom->get_analytic_y();
    if (ax >= 0 && ay >= 0) {
      new_mac_node.apl_y = static_cast<int>(std::lround(ay));
      new_mac_node.apl_x = find_closest_dsp_column(static_cast<int>(std::lround(ax)));
      if (!(new_mac_node.apl_y < m_num_rows && new_mac_node.apl_y >= 0))
        l_internal_error("new_mac_node.apl_y < m_num_rows && new_mac_node.apl_y >= 0", __LINE__);
      if (!(new_mac_node.apl_x < m_num_cols && new_mac_node.apl_x >= 0))
        l_internal_error("new_mac_node.apl_x < m_num_cols && new_mac_node.apl_x >= 0", __LINE__);
    }
    new_mac_node.mode = m_merge_util->get_mergeable_mode_of_atom(atom);
    const TIBEX_LOCATION_CONSTRAINT constraint = m_design->get_atom_location_constraint(atom->get_id());
    if (constraint.has_locked_constraint(CONSTRAINT_SOURCE_TEST)) {
      const TIBEX_LOCKED_CONSTRAINT locked = constraint.get_locked_constraint(CONSTRAINT_SOURCE_READ);
      if (locked.is_specified_exactly())
        new_mac_node.location_constraint = BOX(locked.get_x(), locked.get_y(), locked.get_x(), locked.get_y());
      else
        new_mac_node.location_constraint =
            BOX(locked.get_xmin(), locked.get_ymin(), locked.get_xmax(), locked.get_ymax());
    }
    if (constraint.has_floating_constraint(CONSTRAINT_SOURCE_TEST)) {
      new_mac_node.tbr_id = constraint.get_floating_constraint(CONSTRAINT_SOURCE_TEST).get_tarnbay_id();
      floating_tbr_ids.insert(new_mac_node.tbr_id);
    }
    const int mac_node_vector_index = static_cast<int>(m_mac_atom_info.size());
    new_mac_node.index = mac_node_vector_index;
    new_mac_node.atom = atom;
    m_mac_atom_info.push_back(new_mac_node);
    if (m_mac_atom_info.size() != static_cast<std::size_t>(mac_node_vector_index + 1))
      l_internal_error("m_mac_atom_info.size() == (mac_node_vector_index + 1)", __LINE__);
    atom_to_node[atom->get_id()] = mac_node_vector_index;
  }
  return true;
}

bool VELMO_MAC_MERGE_PHYSICAL_OP::collect_floating_tbr_bboxes(const std::set<int>& floating_tbr_ids) {
  const TIBEX_ZARTO_REGION_LIST* regions = m_env->get_zarto_region_list();
  if (regions == nullptr) return true;
  if (!m_tbr_dsp_bboxes.empty()) l_internal_error("m_tbr_dsp_bboxes.size() == 0", __LINE__);
  m_tbr_dsp_bboxes.resize(static_cast<std::size_t>(regions->get_num_zarto_regions()));
  for (int id : floating_tbr_ids)
    if (regions->get_xr(id) != nullptr)
      m_tbr_dsp_bboxes[static_cast<std::size_t>(id)] = velmo_mac_region_dsp_boxes(*regions, id, m_dsp_column_bboxes);
  return true;
}

bool VELMO_MAC_MERGE_PHYSICAL_OP::is_dsp_location_in_tbr(int x, int y, int tbr_id) const {
  if (!(tbr_id >= 0 && tbr_id < static_cast<int>(m_tbr_dsp_bboxes.size())))
    l_internal_error("tbr_id >= 0 && tbr_id < m_tbr_dsp_bboxes.size()", __LINE__);
  for (const BOX& box : m_tbr_dsp_bboxes[static_cast<std::size_t>(tbr_id)])
    if (box.contains(x, y)) return true;
  return false;
}

bool VELMO_MAC_MERGE_PHYSICAL_OP::collect_chain_info(ID_MAP& atom_to_node) {
  int chain = 0;
  // The node of a chain neighbour, or null when it is not a collected MAC
  // (which ends the walk in that direction).
  auto node_of = [&](VOK_ATOM_NODE* curr_mac_atom) -> VELMO_MAC_MERGE_NODE* {
    if (curr_mac_atom == nullptr) l_internal_error("curr_mac_atom != nullptr", __LINE__);
    auto it = atom_to_node.find(curr_mac_atom->get_id());
    if (it == atom_to_node.end()) return nullptr;
    const int mac_node_index = it->second;
    if (!(mac_node_index >= 0 && static_cast<std::size_t>(mac_node_index) < m_mac_atom_info.size()))
      l_internal_error("mac_node_index < m_mac_atom_info.size()", __LINE__);
    return &m_mac_atom_info[static_cast<std::size_t>(mac_node_index)];
  };

  for (std::size_t i = 0; i < m_mac_atom_info.size(); ++i) {
    if (m_mac_atom_info[i].chain_id != -1) continue;
    VOK_ATOM_NODE* atom = m_mac_atom_info[i].atom;
    bool found = false;

    for (DB_INPUT_PORT_TYPE port : CHAIN_INPUT_PORTS) {
      const VOK_ATOM_ITERM* term = atom->implements(port) ? atom->get_input_term_by_type(port, 0) : nullptr;
      if (!l_input_linked(term)) continue;
      while (l_input_linked(term)) {
        VOK_ATOM_NODE* curr_mac_atom = term->get_source(VOK_TRAVERSE_HIERARCHICAL)->get_my_node();
        VELMO_MAC_MERGE_NODE* node = node_of(curr_mac_atom);
        // A ring of chain links comes back to a node of this chain.
        if (node == nullptr || node->chain_id == chain) break;
        node->chain_id = chain;
        found = true;
        term = curr_mac_atom->get_input_term_by_type(port, 0);
      }
      break;
    }

    for (DB_OUTPUT_PORT_TYPE port : CHAIN_OUTPUT_PORTS) {
      if (!atom->implements(port)) continue;
      bool walked = false;
      const VOK_ATOM_OTERM* term = atom->get_output_term_by_type(port, 0);
      while (term != nullptr && vok_is_connected(term, VOK_TRAVERSE_HIERARCHICAL)) {
        VOK_ATOM_NODE* curr_mac_atom = l_first_fanout_node(term);
        VELMO_MAC_MERGE_NODE* node = node_of(curr_mac_atom);
        if (node == nullptr || node->chain_id == chain) break;
        node->chain_id = chain;
        walked = true;
        term = curr_mac_atom->get_output_term_by_type(port, 0);
      }
      if (walked) {
        found = true;
        break;
      }
    }

    if (found) {
      m_mac_atom_info[i].chain_id = chain;
      ++chain;
    }
  }
  m_num_chains = chain;
  return true;
}

// ---------------------------------------------------------------- groups and pairs

bool VELMO_MAC_MERGE_PHYSICAL_OP::compatible(const VELMO_MAC_MERGE_NODE& a, const VELMO_MAC_MERGE_NODE& b) const {
  std::vector<VOK_ATOM_NODE*> atoms{a.atom, b.atom};
  std::vector<VOK_MAC_MODE_ENUM> modes{a.mode, b.mode};
  return m_merge_util->mac_atoms_are_compatible(&atoms, &modes);
}

bool VELMO_MAC_MERGE_PHYSICAL_OP::has_bbox_overlap(const BOX& b1, const BOX& b2) const {
  if (b1.is_empty() || b2.is_empty()) return false;
  return !b1.intersection(b2).is_empty();
}

bool VELMO_MAC_MERGE_PHYSICAL_OP::group_compatible_nodes() {
  int group = 0;
  for (std::size_t i = 0; i < m_mac_atom_info.size(); ++i) {
    VELMO_MAC_MERGE_NODE& seed = m_mac_atom_info[i];
    if (seed.compatible_group != -1) continue;
    seed.compatible_group = group;
    std::vector<int> members{seed.index};
    if (!seed.atom->is_fp_mac()) {
      for (std::size_t j = i + 1; j < m_mac_atom_info.size(); ++j) {
        VELMO_MAC_MERGE_NODE& other = m_mac_atom_info[j];
        if (other.compatible_group != -1) continue;
        // Two MACs locked to disjoint boxes can never share a location.
        if (!seed.location_constraint.is_empty() && !other.location_constraint.is_empty() &&
            !has_bbox_overlap(seed.location_constraint, other.location_constraint))
          continue;
        if (!compatible(seed, other)) continue;
        other.compatible_group = group;
        members.push_back(other.index);
      }
    }
    m_compatible_groups.push_back(std::move(members));
    ++group;
  }
  return true;
}

bool VELMO_MAC_MERGE_PHYSICAL_OP::sort_groups_by_column() {
  for (std::vector<int>& members : m_compatible_groups) {
    std::sort(members.begin(), members.end(), [this](int a, int b) {
      const VELMO_MAC_MERGE_NODE& na = m_mac_atom_info[static_cast<std::size_t>(a)];
      const VELMO_MAC_MERGE_NODE& nb = m_mac_atom_info[static_cast<std::size_t>(b)];
      if (na.apl_x != nb.apl_x) return na.apl_x < nb.apl_x;
      return na.apl_y < nb.apl_y;
    });
    if (m_debug)
      for (int index : members) {
        const VELMO_MAC_MERGE_NODE& n = m_mac_atom_info[static_cast<std::size_t>(index)];
        msg_vdebug_impl(2, "Column %d: mac %d has x = %d, y = %d.", n.apl_x, l_atom_id(n.atom), n.apl_x, n.apl_y);
      }
  }
  return true;
}

bool VELMO_MAC_MERGE_PHYSICAL_OP::make_mergeable_pairs() {
  for (const std::vector<int>& members : m_compatible_groups) {
    std::size_t start = 0;
    while (start < members.size()) {
      const int column = m_mac_atom_info[static_cast<std::size_t>(members[start])].apl_x;
      if (m_debug_verbose) msg_vdebug_impl(2, "Make mergeable pairs: column: %d", column);
      std::vector<int> dsp_column_to_pair;
      std::size_t end = start;
      for (; end < members.size() && m_mac_atom_info[static_cast<std::size_t>(members[end])].apl_x == column; ++end) {
        if (m_debug_verbose)
          msg_vdebug_impl(2, "Adding mac %d to column %d",
                          l_atom_id(m_mac_atom_info[static_cast<std::size_t>(members[end])].atom), column);
        dsp_column_to_pair.push_back(members[end]);
      }
      if (dsp_column_to_pair.empty()) l_internal_error("!dsp_column_to_pair.empty()", __LINE__);
      if (m_debug_verbose) msg_vdebug_impl(2, "About to pair within column %d", column);
      pair_within_column(dsp_column_to_pair);
      start = end;
    }
  }
  sort_merging_pairs();
  if (m_debug_verbose)
    for (const VELMO_MAC_MERGE_INDEX_PAIR& p : m_merging_pairs) {
      const int first = l_atom_id(m_mac_atom_info[static_cast<std::size_t>(p.first)].atom);
      if (p.second >= 0)
        msg_vdebug_impl(2, "Pair: mac %d | mac %d", first,
                        l_atom_id(m_mac_atom_info[static_cast<std::size_t>(p.second)].atom));
      else
        msg_vdebug_impl(2, "Pair: mac %d | mac None", first);
    }
  return true;
}

void VELMO_MAC_MERGE_PHYSICAL_OP::pair_within_column(const std::vector<int>& dsp_column) {
  int skip = -1;
  if (dsp_column.size() % 2 == 0) {
    if (m_debug_verbose) msg_vdebug_impl(2, "Even number of macs");
  } else {
    if (m_debug_verbose) msg_vdebug_impl(2, "Odd number of macs");
    skip = find_index_to_skip(dsp_column);
    if (m_debug_verbose)
      msg_vdebug_impl(2, "Skipping mac %d",
                      l_atom_id(m_mac_atom_info[static_cast<std::size_t>(dsp_column[static_cast<std::size_t>(skip)])].atom));
  }
  pair_within_column_even_odd_macs(dsp_column, skip);
}

void VELMO_MAC_MERGE_PHYSICAL_OP::pair_within_column_even_odd_macs(const std::vector<int>& dsp_column,
                                                                   int index_to_skip) {
  const int n = static_cast<int>(dsp_column.size());
  int p = 0;
  while (p < n) {
    if (p == index_to_skip || p + 1 >= n) {
      m_merging_pairs.push_back({dsp_column[static_cast<std::size_t>(p)], -1});
      ++p;
      continue;
    }
    const int a = dsp_column[static_cast<std::size_t>(p)];
    const int b = dsp_column[static_cast<std::size_t>(p + 1)];
    if (m_debug_verbose)
      msg_vdebug_impl(2, "Pairing mac %d and mac %d", l_atom_id(m_mac_atom_info[static_cast<std::size_t>(a)].atom),
                      l_atom_id(m_mac_atom_info[static_cast<std::size_t>(b)].atom));
    m_merging_pairs.push_back({a, b});
    p += 2;
  }
}

int VELMO_MAC_MERGE_PHYSICAL_OP::find_index_to_skip(const std::vector<int>& dsp_column) const {
  const int n = static_cast<int>(dsp_column.size());
  if (n % 2 != 1) l_internal_error("dsp_column.size() % 2 == 1", __LINE__);
  // d[j]: row distance of positions j and j + 1.
  std::vector<int> d(static_cast<std::size_t>(std::max(0, n - 1)));
  for (int j = 0; j + 1 < n; ++j) {
    const int mac_index = dsp_column[static_cast<std::size_t>(j)];
    const int next_mac_index = dsp_column[static_cast<std::size_t>(j + 1)];
    if (mac_index < 0) l_internal_error("mac_index >= 0", __LINE__);
    if (next_mac_index < 0) l_internal_error("next_mac_index >= 0", __LINE__);
    d[static_cast<std::size_t>(j)] = std::abs(m_mac_atom_info[static_cast<std::size_t>(mac_index)].apl_y -
                                              m_mac_atom_info[static_cast<std::size_t>(next_mac_index)].apl_y);
  }
  // For an even candidate k, the worst pair left of it are (0,1) .. (k-2,k-1)
  // and right of it (k+1,k+2) .. (n-2,n-1): prefix and suffix maxima.
  std::vector<int> right(static_cast<std::size_t>(n), 0);
  for (int k = n - 3; k >= 0; k -= 2)
    right[static_cast<std::size_t>(k)] = std::max(right[static_cast<std::size_t>(k + 2)], d[static_cast<std::size_t>(k + 1)]);
  int best = 0;
  int best_worst = -1;
  int left = 0;
  for (int k = 0; k < n; k += 2) {
    if (k >= 2) left = std::max(left, d[static_cast<std::size_t>(k - 2)]);
    const int worst = std::max(left, right[static_cast<std::size_t>(k)]);
    if (best_worst < 0 || worst < best_worst) {
      best_worst = worst;
      best = k;
    }
  }
  return best;
}

int VELMO_MAC_MERGE_PHYSICAL_OP::sort_merging_pairs_helper_get_size(const VELMO_MAC_MERGE_INDEX_PAIR& pair) const {
  if (pair.first < 0) {
    msg_vdebug_impl(2, "Something is wrong: first one in pair should always be valid");
    return 0;
  }
  const VELMO_MAC_MERGE_NODE& a = m_mac_atom_info[static_cast<std::size_t>(pair.first)];
  const BOX& b1 = a.location_constraint;
  if (pair.second < 0) {
    const int size = b1.is_empty() ? m_num_locations : l_points(b1);
    if (m_debug_verbose) msg_vdebug_impl(2, "Merging size: MAC %d. Single mac: size=%d", l_atom_id(a.atom), size);
    return size;
  }
  const VELMO_MAC_MERGE_NODE& b = m_mac_atom_info[static_cast<std::size_t>(pair.second)];
  const BOX& b2 = b.location_constraint;
  if (m_debug_verbose) msg_vdebug_impl(2, "Merging size: MAC %d and %d", l_atom_id(a.atom), l_atom_id(b.atom));
  if (has_bbox_overlap(b1, b2)) {
    const BOX common = b1.intersection(b2);
    const int b2_points = l_points(b2);
    // A second box one row or one column thick has no extent for the ratio:
    // the pair's locations are the points the two boxes share.
    if (b2.get_max(0) == b2.get_min(0) || b2.get_max(1) == b2.get_min(1)) {
      const int size = l_points(common);
      if (m_debug_verbose) msg_vdebug_impl(2, "Overlap: size=%d, bbox2 points=%d, ratio=%lf", size, b2_points, 1.0);
      return size;
    }
    const double ratio = b1.overlap_ratio(b2);
    const int size = static_cast<int>(b2_points * ratio);
    if (m_debug_verbose) msg_vdebug_impl(2, "Overlap: size=%d, bbox2 points=%d, ratio=%lf", size, b2_points, ratio);
    return size;
  }
  int size = m_num_locations;
  if (!b1.is_empty() && !b2.is_empty())
    size = std::min(l_points(b1), l_points(b2));
  else if (!b1.is_empty())
    size = l_points(b1);
  else if (!b2.is_empty())
    size = l_points(b2);
  if (m_debug_verbose) msg_vdebug_impl(2, "No Overlap: size=%d", size);
  return size;
}

void VELMO_MAC_MERGE_PHYSICAL_OP::sort_merging_pairs() {
  // Each pair's size once; then the most constrained (smallest) first, ties
  // by the first node's mode.
  struct KEYED {
    int size;
    int mode;
    VELMO_MAC_MERGE_INDEX_PAIR pair;
  };
  std::vector<KEYED> keyed;
  keyed.reserve(m_merging_pairs.size());
  for (const VELMO_MAC_MERGE_INDEX_PAIR& p : m_merging_pairs)
    keyed.push_back({sort_merging_pairs_helper_get_size(p),
                     p.first >= 0 ? static_cast<int>(m_mac_atom_info[static_cast<std::size_t>(p.first)].mode) : 0, p});
  std::sort(keyed.begin(), keyed.end(), [](const KEYED& a, const KEYED& b) {
    if (a.size != b.size) return a.size < b.size;
    return a.mode < b.mode;
  });
  for (std::size_t i = 0; i < keyed.size(); ++i) m_merging_pairs[i] = keyed[i].pair;
}

// ---------------------------------------------------------------- the operation

bool VELMO_MAC_MERGE_PHYSICAL_OP::do_transformation() {
  BIN_SCOPE bin;
  if (!m_enabled) {
    msg_vdebug_impl(2, "Physical DSP merging disabled");
    return true;
  }
  msg_vdebug_impl(2, "VELMO_MAC_MERGE_PHYSICAL: Performing Physical MAC Merging.");
  ZEL_ATOM_DUMPER dumper(m_env->get_chip_db_entry());
  if (m_debug) dumper.dump_current_atom_netlist("velmo_physical_mac_pre_merge.echo", true);
  if (m_num_dsp_locations == 0) return true;

  const bool gathered = gather_mac_info();
  if (m_mac_atom_info.empty()) {
    msg_vdebug_impl(2, "No MAC atom. Skipping physical DSP merging.");
    return true;
  }
  int num_dsp_locations_used = 0;
  const bool fit = gathered && make_mergeable_pairs() && trial_placement() && check_floorplan(num_dsp_locations_used);

  bool result = false;
  if (cfg_is_on("velmo_mac_merge_for_density", false) && m_distance_threshold < 0) {
    if (m_debug) dump_debug_info_to_file();
    result = fit ? perform_merges() : false;
  } else if (fit && spread_overlap_macs(num_dsp_locations_used)) {
    if (m_debug) dump_debug_info_to_file();
    result = perform_merges();
  } else {
    if (m_debug) dump_debug_info_to_file();
    result = false;
  }

  msg_vdebug_impl(2, "VELMO_MAC_PHYSICAL_MERGE: Using %d DSP blocks whereas the total number of DSPs coming in is %d.",
                  num_dsp_locations_used, static_cast<int>(m_mac_atom_info.size()));
  if (m_debug) dumper.dump_current_atom_netlist("velmo_physical_mac_post_merge.echo", true);
  if (m_debug_verbose) msg_vdebug_impl(2, "Whole operation is %d", result ? 1 : 0);

  if (result && !cfg_is_on("velmo_mac_location_check_skip", false)) {
    WEXAN_MAC_LOCATION_CHECK check(m_env, "physical");
    if (!check.work(true)) msg_vdebug_impl(2, "MAC_LOCATION_CHECK after Physical DSP Merging failed");
  }
  return result;
}

bool VELMO_MAC_MERGE_PHYSICAL_OP::trial_placement() {
  bool all_placed = true;
  for (const VELMO_MAC_MERGE_INDEX_PAIR& pair : m_merging_pairs) {
    bool placed;
    if (pair.second >= 0)
      placed = find_placement_for_given_pair(pair);
    else
      placed = find_placement_for_given_mac(m_mac_atom_info[static_cast<std::size_t>(pair.first)], false);
    all_placed = placed && all_placed;
  }
  if (!all_placed) print_user_nofit_message();
  return all_placed;
}

bool VELMO_MAC_MERGE_PHYSICAL_OP::find_placement_for_given_pair(const VELMO_MAC_MERGE_INDEX_PAIR& pair) {
  VELMO_MAC_MERGE_NODE& a = m_mac_atom_info[static_cast<std::size_t>(pair.first)];
  VELMO_MAC_MERGE_NODE& b = m_mac_atom_info[static_cast<std::size_t>(pair.second)];
  const int column = find_closest_dsp_column(start_column(a));
  if (compatible(a, b)) {
    const bool disjoint = !a.location_constraint.is_empty() && !b.location_constraint.is_empty() &&
                          !has_bbox_overlap(a.location_constraint, b.location_constraint);
    if (!disjoint) {
      if (find_placement_in_column(column, pair, false)) return true;
      if (find_placement_without_apl_info(pair, false)) return true;
    }
  }
  return find_placement_for_given_mac(a, false) && find_placement_for_given_mac(b, false);
}

bool VELMO_MAC_MERGE_PHYSICAL_OP::find_placement_for_given_mac(VELMO_MAC_MERGE_NODE& node, bool require_empty) {
  const int dsp_column_index = find_closest_dsp_column(start_column(node));
  if (m_dsp_floorplan[static_cast<std::size_t>(dsp_column_index)].empty())
    l_internal_error("!m_dsp_floorplan[dsp_column_index].empty()", __LINE__);
  const VELMO_MAC_MERGE_INDEX_PAIR single{node.index, -1};
  if (find_placement_in_column(dsp_column_index, single, require_empty)) return true;
  if (m_debug_verbose)
    msg_vdebug_impl(2, "NOTICE: Can't find placement in its apl dsp column. MAC=%d", l_atom_id(node.atom));
  return find_placement_without_apl_info(single, require_empty);
}

bool VELMO_MAC_MERGE_PHYSICAL_OP::find_placement_without_apl_info(const VELMO_MAC_MERGE_INDEX_PAIR& pair,
                                                                  bool require_empty) {
  for (int x = 0; x < m_num_cols; ++x)
    if (!m_dsp_floorplan[static_cast<std::size_t>(x)].empty() && find_placement_in_column(x, pair, require_empty))
      return true;
  return false;
}

bool VELMO_MAC_MERGE_PHYSICAL_OP::find_placement_in_column(int x, const VELMO_MAC_MERGE_INDEX_PAIR& pair,
                                                           bool require_empty) {
  std::vector<VELMO_DSP_FLOORPLAN_CELL>& column = m_dsp_floorplan[static_cast<std::size_t>(x)];
  if (column.empty()) l_internal_error("!m_dsp_floorplan[dsp_column_index].empty()", __LINE__);
  VELMO_MAC_MERGE_NODE& a = m_mac_atom_info[static_cast<std::size_t>(pair.first)];
  VELMO_MAC_MERGE_NODE* b = pair.second >= 0 ? &m_mac_atom_info[static_cast<std::size_t>(pair.second)] : nullptr;

  auto try_row = [&](int y) {
    VELMO_DSP_FLOORPLAN_CELL& cell = column[static_cast<std::size_t>(y)];
    if (!cell.is_dsp) return false;
    if (b == nullptr) {
      if (!is_legal(a, x, y, require_empty)) return false;
      if (cell.first == -1) {
        cell.first = a.index;
        if (m_debug_verbose) msg_vdebug_impl(2, "Placing mac %d", l_atom_id(a.atom));
      } else {
        cell.second = a.index;
        if (m_debug_verbose) msg_vdebug_impl(2, "Placing mac %d with some other dsp", l_atom_id(a.atom));
      }
      a.placed = true;
      return true;
    }
    if (cell.first != -1 || !is_legal(a, x, y, false) || !is_legal(*b, x, y, false)) return false;
    cell.first = a.index;
    cell.second = b->index;
    a.placed = true;
    b->placed = true;
    if (m_debug_verbose) msg_vdebug_impl(2, "Placing mac %d and mac %d", l_atom_id(a.atom), l_atom_id(b->atom));
    return true;
  };

  const int y0 = start_row(a);
  for (int d = 0;; ++d) {
    const int lo = y0 - d;
    const int hi = y0 + d;
    if (lo < 0 && hi >= m_num_rows) return false;
    if (lo >= 0 && lo < m_num_rows && try_row(lo)) return true;
    if (d > 0 && hi >= 0 && hi < m_num_rows && try_row(hi)) return true;
  }
}

bool VELMO_MAC_MERGE_PHYSICAL_OP::is_legal(const VELMO_MAC_MERGE_NODE& node, int x, int y, bool require_empty) const {
  if (!node.location_constraint.is_empty() && !node.location_constraint.contains(x, y)) return false;
  if (node.tbr_id >= 0 && !is_dsp_location_in_tbr(x, y, node.tbr_id)) return false;
  const VELMO_DSP_FLOORPLAN_CELL& cell = m_dsp_floorplan[static_cast<std::size_t>(x)][static_cast<std::size_t>(y)];
  if (cell.first == -1) return true;
  if (require_empty || cell.second != -1) return false;
  // Clock sharing maps the second MAC's clocks onto the first's, so the test runs in the order
  // perform_merges will merge the cell: occupant first, newcomer second.
  return compatible(m_mac_atom_info[static_cast<std::size_t>(cell.first)], node);
}

int VELMO_MAC_MERGE_PHYSICAL_OP::pair_distance(const VELMO_DSP_FLOORPLAN_CELL& cell) const {
  const VELMO_MAC_MERGE_NODE& a = m_mac_atom_info[static_cast<std::size_t>(cell.first)];
  const VELMO_MAC_MERGE_NODE& b = m_mac_atom_info[static_cast<std::size_t>(cell.second)];
  return std::abs(a.apl_x - b.apl_x) + std::abs(a.apl_y - b.apl_y);
}

bool VELMO_MAC_MERGE_PHYSICAL_OP::spread_overlap_macs(int& num_dsp_locations_used) {
  if (m_dsp_floorplan.empty() || num_dsp_locations_used >= m_num_dsp_locations) return true;
  for (int x = 0; x < m_num_cols; ++x) {
    std::vector<VELMO_DSP_FLOORPLAN_CELL>& column = m_dsp_floorplan[static_cast<std::size_t>(x)];
    for (VELMO_DSP_FLOORPLAN_CELL& cell : column) {
      if (!cell.is_dsp || cell.first < 0 || cell.second < 0) continue;
      if (m_mac_atom_info[static_cast<std::size_t>(cell.first)].chain_id != -1) continue;
      if (pair_distance(cell) <= m_distance_threshold) continue;
      if (find_placement_for_given_mac(m_mac_atom_info[static_cast<std::size_t>(cell.second)], true)) {
        cell.second = -1;
        ++num_dsp_locations_used;
      } else if (find_placement_for_given_mac(m_mac_atom_info[static_cast<std::size_t>(cell.first)], true)) {
        cell.first = cell.second;
        cell.second = -1;
        ++num_dsp_locations_used;
      }
    }
    if (num_dsp_locations_used >= m_num_dsp_locations) break;
  }
  return true;
}

bool VELMO_MAC_MERGE_PHYSICAL_OP::perform_merges() {
  for (int x = 0; x < m_num_cols; ++x)
    for (const VELMO_DSP_FLOORPLAN_CELL& cell : m_dsp_floorplan[static_cast<std::size_t>(x)]) {
      if (!cell.is_dsp || cell.first < 0 || cell.second < 0) continue;
      const VELMO_MAC_MERGE_NODE& a = m_mac_atom_info[static_cast<std::size_t>(cell.first)];
      const VELMO_MAC_MERGE_NODE& b = m_mac_atom_info[static_cast<std::size_t>(cell.second)];
      if (m_debug) msg_vdebug_impl(2, "Merging MAC %d and MAC %d", l_atom_id(a.atom), l_atom_id(b.atom));
      std::vector<VOK_ATOM_NODE*> atoms{a.atom, b.atom};
      const bool result = m_merge_util->merge_mac_atoms(&atoms, a.mode);
      if (!result) l_internal_error("result", __LINE__);
    }
  return true;
}

// ---------------------------------------------------------------- capacity check and messages

void VELMO_MAC_MERGE_PHYSICAL_OP::get_tbr_dsp_capacity(int tbr_id, int& total, int& longest) {
  total = 0;
  longest = 0;
  for (const BOX& bbox : m_tbr_dsp_bboxes.at(static_cast<std::size_t>(tbr_id))) {
    if (bbox.get_width(0) != 1) l_internal_error("bbox.get_width(0) == 1", __LINE__);
    const int height = bbox.get_width(1);
    int count = height;
    if (m_dsp_height > 1) count = (m_dsp_height + height - (bbox.get_min(1) % m_dsp_height) - 1) / m_dsp_height;
    total += count;
    longest = std::max(longest, count);
  }
}

std::vector<const VOK_ATOM_NODE*> VELMO_MAC_MERGE_PHYSICAL_OP::atoms_of_nodes(
    bool (*match)(const VELMO_MAC_MERGE_NODE&, int), int key) const {
  std::vector<const VOK_ATOM_NODE*> atoms;
  for (const VELMO_MAC_MERGE_NODE& node : m_mac_atom_info)
    if (match(node, key)) atoms.push_back(node.atom);
  return atoms;
}

bool VELMO_MAC_MERGE_PHYSICAL_OP::check_floorplan(int& num_dsp_locations_used) {
  const TIBEX_ZARTO_REGION_LIST* regions = m_env->get_zarto_region_list();
  const int num_regions = regions != nullptr ? regions->get_num_zarto_regions() : 0;
  std::vector<int> tbr_used(static_cast<std::size_t>(num_regions), 0);
  std::vector<int> tbr_dsp_capacity(static_cast<std::size_t>(num_regions), -1);
  std::vector<int> tbr_longest(static_cast<std::size_t>(num_regions), -1);
  std::vector<int> chain_used(static_cast<std::size_t>(m_num_chains), 0);
  std::vector<int> chain_tbr(static_cast<std::size_t>(m_num_chains), -1);

  int used = 0;
  double usage = 0.0;
  for (const std::vector<VELMO_DSP_FLOORPLAN_CELL>& column : m_dsp_floorplan)
    for (const VELMO_DSP_FLOORPLAN_CELL& cell : column) {
      if (!cell.is_dsp || cell.first < 0) continue;
      const VELMO_MAC_MERGE_NODE& node = m_mac_atom_info[static_cast<std::size_t>(cell.first)];
      ++used;
      usage += m_merge_util->get_usage_estimation(node.atom);
      const int c = node.chain_id;
      if (c != -1) ++chain_used[static_cast<std::size_t>(c)];
      const int t = node.tbr_id;
      if (t >= 0 && t < num_regions) {
        const auto ti = static_cast<std::size_t>(t);
        ++tbr_used[ti];
        if (tbr_dsp_capacity[ti] < 0 && ti < m_tbr_dsp_bboxes.size())
          get_tbr_dsp_capacity(t, tbr_dsp_capacity[ti], tbr_longest[ti]);
        if (c != -1) {
          int& ct = chain_tbr[static_cast<std::size_t>(c)];
          if (ct == -1)
            ct = t;
          else if (ct >= 0 && ct != t)
            ct = -2;
        }
      }
      if (cell.second >= 0)
        usage += m_merge_util->get_usage_estimation(m_mac_atom_info[static_cast<std::size_t>(cell.second)].atom);
    }
  num_dsp_locations_used = used;

  const int max_chain = m_num_rows / m_dsp_height;
  auto in_chain = [](const VELMO_MAC_MERGE_NODE& n, int c) { return n.chain_id == c; };
  bool chains_ok = true;
  for (int c = 0; c < m_num_chains; ++c) {
    const int count = chain_used[static_cast<std::size_t>(c)];
    const int t = chain_tbr[static_cast<std::size_t>(c)];
    if (count > max_chain) {
      MSG_E* msg = MSG_VELMO::E::DWO_MAC_CHAIN_LENGTH_TOO_LONG(count, max_chain);
      velmo_mac_attach_node_names(msg, atoms_of_nodes(in_chain, c), m_max_dsps_to_list_in_errors);
      msg_post(msg, nullptr);
      chains_ok = false;
      break;
    }
    if (t >= 0 && count > tbr_longest[static_cast<std::size_t>(t)]) {
      const std::string name = velmo_mac_region_name(regions, t);
      MSG_E* msg = MSG_VELMO::E::DWO_MAC_CHAIN_TOO_LONG_FOR_TBR(count, name, tbr_longest[static_cast<std::size_t>(t)]);
      velmo_mac_attach_region_boxes(msg, "DSP locations in Tarnbay region \"%s\"", name,
                                    m_tbr_dsp_bboxes[static_cast<std::size_t>(t)]);
      msg->add_sub_message(MSG_VELMO::I::DWO_LOCATE_DSP_BLOCKS_IN_TBR(name));
      velmo_mac_attach_node_names(msg, atoms_of_nodes(in_chain, c), m_max_dsps_to_list_in_errors);
      msg_post(msg, nullptr);
      chains_ok = false;
      break;
    }
    if (t == -2) {
      MSG_W* msg = MSG_VELMO::W::DWO_MAC_CHAIN_SPANS_MULTIPLE_TBR(count);
      velmo_mac_attach_node_names(msg, atoms_of_nodes(in_chain, c), m_max_dsps_to_list_in_errors);
      msg_post(msg, nullptr);
    }
  }

  if (used > m_num_dsp_locations || usage > static_cast<double>(m_num_dsps_available)) {
    msg_vdebug_impl(2, "Error: design uses too many MAC blocks (even after merging): %d of %d", used,
                    m_num_dsps_available);
    msg_post(MSG_VELMO::E::DWO_MAC_TOO_MANY_MAC_BLOCKS(used, m_num_dsps_available), nullptr);
    return false;
  }
  if (!chains_ok || num_regions == 0) return chains_ok;

  auto in_region = [](const VELMO_MAC_MERGE_NODE& n, int t) { return n.tbr_id == t; };
  for (int t = 0; t < num_regions; ++t) {
    const auto ti = static_cast<std::size_t>(t);
    if (tbr_used[ti] > 0 && tbr_used[ti] > tbr_dsp_capacity[ti]) {
      if (tbr_dsp_capacity[ti] < 0) l_internal_error("tbr_dsp_capacity[i] >= 0", __LINE__);
      const std::string name = velmo_mac_region_name(regions, t);
      MSG_E* msg = MSG_VELMO::E::DWO_MAC_TOO_MANY_DSPS_IN_TBR(tbr_used[ti], name, tbr_dsp_capacity[ti]);
      velmo_mac_attach_region_boxes(msg, "DSP locations in TBR \"%s\"", name, m_tbr_dsp_bboxes[ti]);
      msg->add_sub_message(MSG_VELMO::I::DWO_LOCATE_DSP_BLOCKS_IN_TBR(name));
      velmo_mac_attach_node_names(msg, atoms_of_nodes(in_region, t), m_max_dsps_to_list_in_errors);
      msg_post(msg, nullptr);
      return false;
    }
  }
  return true;
}

void VELMO_MAC_MERGE_PHYSICAL_OP::print_user_nofit_message() {
  auto unplaced = [](const VELMO_MAC_MERGE_NODE& n, int) { return !n.placed; };
  const std::vector<const VOK_ATOM_NODE*> atoms = atoms_of_nodes(unplaced, 0);
  const int num_unplaced_macs = static_cast<int>(atoms.size());
  if (num_unplaced_macs <= 0) l_internal_error("num_unplaced_macs > 0", __LINE__);
  MSG_E* msg = MSG_VELMO::E::DWO_MAC_COULD_NOT_PLACE_MACS(num_unplaced_macs);
  velmo_mac_attach_node_names(msg, atoms, m_max_dsps_to_list_in_errors);
  msg_post(msg, nullptr);
}

// ---------------------------------------------------------------- debug dumps

void VELMO_MAC_MERGE_PHYSICAL_OP::print_constraints_on_atom_for_debug(VOK_ATOM_NODE* atom) {
  velmo_mac_print_constraints(m_design, atom);
}

void VELMO_MAC_MERGE_PHYSICAL_OP::dump_debug_info_to_file() {
  if (!m_debug) l_internal_error("m_debug", __LINE__);
  if (m_dsp_floorplan.empty()) l_internal_error("!m_dsp_floorplan.empty()", __LINE__);
  const char* info_name = "velmo_physical_mac_merge_info.echo";
  const char* placement_name = "velmo_physical_mac_placement_dump.echo";
  std::ofstream info(info_name, std::ios::trunc);
  if (!info) msg_vdebug_impl(2, "Error opening %s", info_name);
  std::ofstream placement(placement_name, std::ios::trunc);
  if (!placement) msg_vdebug_impl(2, "Error opening %s", placement_name);

  auto id_of = [this](int index) { return l_atom_id(m_mac_atom_info[static_cast<std::size_t>(index)].atom); };

  info << "----- Info on MAC atoms -----\n\n";
  for (const VELMO_MAC_MERGE_NODE& n : m_mac_atom_info) {
    info << "MAC " << l_atom_id(n.atom) << ": " << velmo_mac_short_name(n.atom);
    if (n.mode == VOK_MAC_MODE_NONE)
      info << "\tmode: Non Mergeable";
    else if (n.mode == VOK_MAC_MODE_M18X18_FULL)
      info << "\tmode: 18x18 FULL";
    info << (n.placed ? "\tplaced: YES" : "\tplaced: NOE");
    info << "\tx: " << n.apl_x << ", y: " << n.apl_y;
    info << "\tcompatible_group: " << n.compatible_group;
    if (n.chain_id != -1) info << "\tchain_id: " << n.chain_id;
    info << "\tlocation_constraint: ";
    const BOX& b = n.location_constraint;
    if (b.is_empty())
      info << "unconstrained";
    else
      info << "(" << b.get_min(0) << ", " << b.get_min(1) << ") -> (" << b.get_max(0) << ", " << b.get_max(1) << ")";
    info << "\n";
  }

  info << "\n\n----- Info on Floorplan Placement -----\n\n\n";
  for (int x = 0; x < m_num_cols; ++x) info << "\t" << x;
  info << "\n";
  for (int y = 0; y < m_num_rows; ++y) {
    info << y << "\t";
    for (int x = 0; x < m_num_cols; ++x) {
      const auto& column = m_dsp_floorplan[static_cast<std::size_t>(x)];
      const VELMO_DSP_FLOORPLAN_CELL* cell = column.empty() ? nullptr : &column[static_cast<std::size_t>(y)];
      if (cell == nullptr || !cell->is_dsp)
        info << "--\t";
      else if (cell->first < 0)
        info << "||\t";
      else if (cell->second < 0)
        info << id_of(cell->first) << ", |\t";
      else
        info << id_of(cell->first) << ", " << id_of(cell->second) << "\t";
    }
    info << "\n";
  }
  info << "\n";

  // Distances of the merged pairs and the placement records, row by row.
  std::vector<int> distances;
  placement << "[\n";
  auto record = [&](int index, int x, int y, int slot) {
    placement << "\t{\n"
              << "\t\t\"id\" : " << id_of(index) << ",\n"
              << "\t\t\"name\" : \"" << velmo_mac_short_name(m_mac_atom_info[static_cast<std::size_t>(index)].atom)
              << "\",\n"
              << "\t\t\"loc\" : [" << x << ", " << y << ", " << slot << "]\n"
              << "\t}\n";
  };
  for (int y = 0; y < m_num_rows; ++y)
    for (int x = 0; x < m_num_cols; ++x) {
      const auto& column = m_dsp_floorplan[static_cast<std::size_t>(x)];
      if (column.empty()) continue;
      const VELMO_DSP_FLOORPLAN_CELL& cell = column[static_cast<std::size_t>(y)];
      if (!cell.is_dsp || cell.first < 0) continue;
      record(cell.first, x, y, 0);
      placement << "\t,\n";
      if (cell.second < 0) continue;
      record(cell.second, x, y, 1);
      placement << "\t,\n";
      const int distance = pair_distance(cell);
      distances.push_back(distance);
      info << "Distance between MAC " << id_of(cell.first) << " and MAC " << id_of(cell.second) << " is " << distance
           << "\n";
    }
  placement << "\t{ }\n" << "]\n";

  if (!distances.empty()) {
    const int worst = *std::max_element(distances.begin(), distances.end());
    const double average =
        static_cast<double>(std::accumulate(distances.begin(), distances.end(), 0LL)) / static_cast<double>(distances.size());
    std::vector<int> sorted = distances;
    std::sort(sorted.begin(), sorted.end());
    const int median = sorted[sorted.size() / 2];
    info << "Worst distance among all merged pairs: " << worst << "\n";
    info << "Average distance among all merged pairs: " << average << "\n";
    info << "Median distance among all merged pairs: " << median << "\n";
    msg_vdebug_impl(2, "Worst distance among all merged pairs: %d", worst);
    msg_vdebug_impl(2, "Average distance among all merged pairs: %lf", average);
    msg_vdebug_impl(2, "Median distance among all merged pairs: %d", median);
  }
}
