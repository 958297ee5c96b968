// Per-corner slacks of the automatic delay-chain pass: collecting the quick
// analyses' edge slacks into the edge records, and shifting them by the
// delay difference of a setting change so the search scores combinations
// without another analysis.
#include <cctype>
#include <climits>
#include <fstream>
#include <sstream>
#include <string>
#include <unordered_set>
#include <vector>

#include "dev/dev_basic_info.h"
#include "dev/dev_pad.h"
#include "gen/gen_profile.h"
#include "gen/gen_string.h"
#include "hov/hov_utility.h"
#include "kem/kem_compound_edge.h"
#include "kem/kem_netlist.h"
#include "kem/kem_timing_model.h"
#include "pexa/pexa_utility.h"
#include "tibex/tibex_location_constraint.h"
#include "velmo_auto_delay_chain_internal.h"
#include "velmo_auto_delay_chain_op.h"
#include "velmo_debug.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_atom_term.h"
#include "wexan/wexan_design.h"
#include "wexan/wexan_device.h"
#include "wexan/wexan_env.h"
#include "zel/zel_delay_chain_util.h"

using velmo_auto_dc::BIN;
using velmo_auto_dc::internal_error;

namespace {
constexpr std::uint32_t kUnplaced = 0xFFFFFFFFu;
constexpr unsigned kUserConstraint = 0x80;

bool pad_is_horizontal(const DEV_PAD* pad) {
  if (pad->is_valid_bool_data(3) && pad->get_bool_data(3)) return true;
  if (pad->is_valid_bool_data(4)) return pad->get_bool_data(4);
  return false;
}

const char* const kSetupLines[4] = {
    "AUTO DELAY CHAIN: call KELD for Pin-to-Core edges, TSU slack, %s Corner... %d sec",
    "AUTO DELAY CHAIN: call KELD for Core-to-Pin edges, TSU slack, %s Corner... %d sec",
    "AUTO DELAY CHAIN: call STA for PLL edges, TSU slack, %s Corner... %d sec",
    "AUTO DELAY CHAIN: call STA for PLL phase edges, TSU slack, %s Corner... %d sec"};
const char* const kHoldLines[4] = {
    "AUTO DELAY CHAIN: call KELD for Pin-to-Core edges, TH slack, %s Corner... %d sec",
    "AUTO DELAY CHAIN: call KELD for Core-to-Pin edges, TH slack, %s Corner... %d sec",
    "AUTO DELAY CHAIN: call STA for PLL edges, TH slack, %s Corner... %d sec",
    "AUTO DELAY CHAIN: call STA for PLL phase edges, TH slack, %s Corner... %d sec"};

// The timing model of the pass's corner c: the device's corner at that
// position (the delay-chain utility lists the device's corners in order),
// else the part's default model of the corner's kind.
KEM_TIMING_MODEL model_of_corner(WEXAN_ENV* env, ZEL_TIMING_MODEL model, int c) {
  const std::vector<KEM_TIMING_MODEL> device = KEM_TIMING_MODEL::get_list_of_timing_models(0);
  if (c >= 0 && c < static_cast<int>(device.size())) return device[c];
  return KEM_TIMING_MODEL::create_default_timing_model(env->get_cmp(), ZEL_DELAY_CHAIN_UTIL::get_hep_timing_model(model));
}

// Makes a corner's model the annotated one for the lifetime of the object,
// then gives the annotation back to the model that was current before.
// Without a timing netlist there is nothing to switch.
class ANNOTATED_CORNER {
public:
  ANNOTATED_CORNER(WEXAN_ENV* env, WEXAN_HOV_UTILITY* hov, const KEM_TIMING_MODEL& model) : m_env(env), m_hov(hov) {
    KEM_NETLIST* kem = hov_get_accessories()->get_kem_netlist();
    if (hov == nullptr || kem == nullptr) return;
    const KEM_CORNER_MANAGER* corners = kem->get_corner_manager();
    const KEM_CORNER* current = corners->get_corner_by_id(corners->get_current_corner_id());
    if (current != nullptr && current->get_timing_model() == model) return;
    if (current != nullptr) m_previous = current->get_timing_model();
    m_restore = current != nullptr;
    hov->switch_annotated_timing_model(env, model);
  }
  ~ANNOTATED_CORNER() {
    if (m_restore) m_hov->switch_annotated_timing_model(m_env, m_previous);
  }
  ANNOTATED_CORNER(const ANNOTATED_CORNER&) = delete;
  ANNOTATED_CORNER& operator=(const ANNOTATED_CORNER&) = delete;

private:
  WEXAN_ENV* m_env;
  WEXAN_HOV_UTILITY* m_hov;
  KEM_TIMING_MODEL m_previous;
  bool m_restore = false;
};
}  // namespace

// Each corner's slacks come from an analysis of that corner's model: the
// annotation is switched to it for the analyses and switched back after.
void VELMO_AUTO_DELAY_CHAIN_OP::perform_timing_corner_analysis(ZEL_TIMING_MODEL, int corner, WEXAN_HOV_UTILITY* hov,
                                                               HOV_ACCESSORIES*, bool,
                                                               VELMO_OPT_ELEMENT_GROUP_TYPE group) {
  BIN bin("perform_timing_corner_analysis");
  const int g = static_cast<int>(group);
  const ANNOTATED_CORNER annotated(m_env, hov, model_of_corner(m_env, m_corner_models[corner], corner));
  for (int kind = 0; kind < (m_hold ? 2 : 1); ++kind) {
    GEN_STOPWATCH& analysis = velmo_auto_dc::timing_analyzer_stopwatch();
    const int before = static_cast<int>(analysis.get_elapsed_seconds());
    analysis.start();
    if (kind == 0)
      hov->perform_quick_timing_analysis(false);
    else
      hov->perform_quick_min_timing_analysis();
    analysis.stop();
    const int seconds = static_cast<int>(analysis.get_elapsed_seconds()) - before;
    velmo_auto_dc::processing_stopwatch().start();
    if (g >= 0 && g <= 3) {
      msg_vdebug_impl(2, kind == 0 ? kSetupLines[g] : kHoldLines[g],
                      ZEL_DELAY_CHAIN_UTIL::get_timing_mondel_type_string(m_corner_models[corner]), seconds);
      collect_slack_new(group, kind, corner);
    }
    velmo_auto_dc::processing_stopwatch().stop();
  }
}

void VELMO_AUTO_DELAY_CHAIN_OP::collect_slack_new(VELMO_OPT_ELEMENT_GROUP_TYPE group, int kind, int corner) {
  BIN bin("collect_slack_new");
  KEM_NETLIST* kem = hov_get_accessories()->get_kem_netlist();
  for (KEM_EDGE_SLACK_INFO* info : m_kem_edge_slack_infos) {
    if (info->group_type != group) continue;
    if (kem->get_edge_count() == INT_MAX) internal_error("kem_netlist->get_edge_count() < INT_MAX", __LINE__);
    if (info->edge_id >= kem->get_edge_count()) internal_error("num_edge > this->edge_id", __LINE__);
    // A record whose edge is gone keeps its slot.
    const KEM_EDGE* edge = kem->get_edge(info->edge_id);
    if (edge == nullptr) continue;
    const std::int32_t v = edge->get_slack();
    std::int32_t& s = info->slack[kind][corner];
    if (s == VELMO_NO_SLACK_VALUE) {
      if (v != KEM_QUICK_NO_SLACK) s = v;
    } else if (v < s) {
      s = v;
    }
  }
}

void VELMO_AUTO_DELAY_CHAIN_OP::update_slack_info_for_optimization_group(OPTIMIZATION_ELEMENT* element, int old_setting,
                                                                         int new_setting) {
  const YOS_UINT_DATA_ENUM t = element->delay_chain_type;
  VOK_ATOM_NODE* a = element->atom;
  const auto old_s = static_cast<unsigned>(old_setting), new_s = static_cast<unsigned>(new_setting);
  std::int32_t dtsu[3] = {}, dth[3] = {};
  for (int c = 0; c < m_corner_count; ++c) {
    dtsu[c] = get_dmf_value(t, new_s, a, 0, c) - get_dmf_value(t, old_s, a, 0, c);
    dth[c] = get_dmf_value(t, old_s, a, 1, c) - get_dmf_value(t, new_s, a, 1, c);
  }
  // The worst-case slacks of the elements on the moved records are
  // reloaded once each, after every record has moved (the same values as
  // reloading after each record, without the quadratic work on long lists).
  std::vector<OPTIMIZATION_ELEMENT*> touched;
  std::unordered_set<OPTIMIZATION_ELEMENT*> seen;
  auto shift = [&](const std::vector<KEM_EDGE_SLACK_INFO*>& records, int sign) {
    for (KEM_EDGE_SLACK_INFO* info : records) {
      for (int c = 0; c < m_corner_count; ++c)
        if (info->slack[0][c] != VELMO_NO_SLACK_VALUE) info->slack[0][c] -= sign * dtsu[c];
      for (int c = 0; c < m_corner_count; ++c)
        if (info->slack[1][c] != VELMO_NO_SLACK_VALUE) info->slack[1][c] -= sign * dth[c];
      for (auto& [other, rel] : info->opt_elements)
        if (seen.insert(other).second) touched.push_back(other);
    }
  };
  shift(element->pos_edges, 1);
  shift(element->neg_edges, -1);
  for (OPTIMIZATION_ELEMENT* other : touched) load_worse_case_slack_for_optimization_element(other);
}

void VELMO_AUTO_DELAY_CHAIN_OP::load_worse_case_slack_for_optimization_element(OPTIMIZATION_ELEMENT* element) {
  for (int k = 0; k < 2; ++k) {
    std::int32_t worst = VELMO_NO_SLACK_VALUE;
    for (const auto* list : {&element->pos_edges, &element->neg_edges})
      for (const KEM_EDGE_SLACK_INFO* info : *list)
        for (int c = 0; c < m_corner_count; ++c) {
          const std::int32_t s = info->slack[k][c];
          if (s != VELMO_NO_SLACK_VALUE && (worst == VELMO_NO_SLACK_VALUE || s < worst)) worst = s;
        }
    element->wc_slack[k] = worst;
  }
}

int VELMO_AUTO_DELAY_CHAIN_OP::get_dmf_value(YOS_UINT_DATA_ENUM type, unsigned setting, VOK_ATOM_NODE* atom, int kind,
                                             int corner) {
  if (atom == nullptr) internal_error("atom is NULL!", __LINE__);
  const int h = is_horizontal_pad(atom) ? 1 : 0;
  const AUTO_DELAY_CHAIN_INFO* info = get_delay_chain_info(type);
  if (info == nullptr) return 0;
  for (const auto& v : info->values)
    if (v->setting == setting) return kind == 0 ? v->get_tsu_delay(h, corner) : v->get_th_delay(h, corner);
  return 0;
}

bool VELMO_AUTO_DELAY_CHAIN_OP::is_horizontal_pad(const VOK_ATOM_NODE* atom) const {
  if (!atom->is_pin()) return false;
  if (atom->get_location_gid() != kUnplaced) {
    const DEV_PAD* pad = PEXA_UTILITY::get_current_device()->get_pad(atom->get_location_gid());
    if (pad == nullptr) internal_error("pad != 0", __LINE__);
    return pad_is_horizontal(pad);
  }
  const TIBEX_LOCATION_CONSTRAINT lc = m_env->get_design()->get_atom_location_constraint(atom->get_id());
  if (!lc.has_locked_constraint(kUserConstraint)) return false;
  const TIBEX_LOCKED_CONSTRAINT c = lc.get_locked_constraint(kUserConstraint);
  if (!c.has_constraint()) return false;
  if (c.is_specified_exactly()) {
    const DEV_PAD* pad = m_env->get_device()->get_pad_from_location(c.get_x(), c.get_y(), c.get_sub_location());
    return pad != nullptr && pad_is_horizontal(pad);
  }
  return c.get_xmin() == 0 || c.get_xmax() == m_env->get_device()->get_nx() - 1;
}

void VELMO_AUTO_DELAY_CHAIN_OP::incrementally_update_tainted_atoms() {
  BIN bin("incrementally_update_tainted_atoms");
  HOV_ATOM_NETLIST_TAINT_MANAGER* taints = hov_get_atom_netlist_taint_manager();
  std::vector<VOK_ATOM_NODE*> atoms;
  m_env->run_w3j3_and_expand_taint_list(taints, &atoms);
  HOV_ACCESSORIES* accessories = hov_get_accessories();
  if (m_multi_corner) accessories->incrementally_update(atoms, m_env->get_cmp(), 1, 3, false, true);
  accessories->incrementally_update(atoms, m_env->get_cmp(), 0, 3, false, true);
  taints->indicate_hov_reflects_atom_netlist_exactly();
}

// ---------------------------------------------------------------- override file

namespace {
// A value field: "x..." is no slack; otherwise an optionally signed decimal
// read up to its first non-digit (no digits: 0), wrapped to 32 bits as it is
// read so a long number cannot overflow.
std::int32_t override_value(const std::string& field) {
  if (!field.empty() && field[0] == 'x') return VELMO_NO_SLACK_VALUE;
  std::size_t i = 0;
  while (i < field.size() && std::isspace(static_cast<unsigned char>(field[i]))) ++i;
  bool negative = false;
  if (i < field.size() && (field[i] == '+' || field[i] == '-')) negative = field[i++] == '-';
  std::uint32_t v = 0;
  for (; i < field.size() && std::isdigit(static_cast<unsigned char>(field[i])); ++i)
    v = v * 10u + static_cast<std::uint32_t>(field[i] - '0');
  if (negative) v = 0u - v;
  return static_cast<std::int32_t>(v);
}
}  // namespace

int VELMO_AUTO_DELAY_CHAIN_OP::get_wc_slack_of_edge(KEM_EDGE* edge, int first, int second, YOS_UINT_DATA_ENUM type,
                                                    VELMO_OPT_ELEMENT_GROUP_TYPE group) const {
  int result = edge->get_slack();
  if (!m_slack_file || group != VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN) return result;
  const VOK_ATOM_NODE* src = m_owner->get_io_atom(edge, type);
  const VOK_ATOM_NODE* dst = get_dst_atom_of_edge(edge);
  if (src == nullptr || dst == nullptr) internal_error("src_atom != 0 && dst_atom != 0", __LINE__);
  const std::string src_name = velmo_auto_dc::atom_name(src), dst_name = velmo_auto_dc::atom_name(dst);
  std::ifstream in("velmo_auto_dc.in");
  const std::size_t field = 2 + 2 * static_cast<std::size_t>(first) + static_cast<std::size_t>(second);
  std::string line;
  while (std::getline(in, line)) {
    const bool too_long = line.size() > 1023;
    if (too_long) line.resize(1023);
    if (!line.empty() && line[0] != '-') {
      std::istringstream fields(line);
      std::vector<std::string> f;
      const std::size_t widths[6] = {255, 255, 63, 63, 63, 63};
      std::string token;
      while (f.size() < 6 && fields >> token) f.push_back(token.substr(0, widths[f.size()]));
      if (f.size() == 6 && gen_strcmp(f[0].c_str(), src_name.c_str()) == 0 &&
          gen_strcmp(f[1].c_str(), dst_name.c_str()) == 0)
        return override_value(f[field]);
    }
    if (too_long) break;
  }
  return result;
}

// The destination atom of an edge, from its destination node, else its
// source node's terms, else (a compound edge) the input pin its first
// compound part starts from.
VOK_ATOM_NODE* VELMO_AUTO_DELAY_CHAIN_OP::get_dst_atom_of_edge(KEM_EDGE* edge) const {
  const KEM_NODE* d = edge->get_dst_node();
  const KEM_NODE* s = edge->get_src_node();
  if (d != nullptr) {
    if (VOK_ATOM_NODE* a = kem_get_atom_from_node(d)) return a;
    if (d->get_iterm() != nullptr) return d->get_iterm()->get_my_node();
  }
  if (s != nullptr) {
    if (s->get_oterm() != nullptr) return s->get_oterm()->get_my_node();
    if (s->get_iterm() != nullptr) return s->get_iterm()->get_my_node();
    if (kem_node_has_compound_mark(s)) {
      KEM_EDGE_COMPOUND_ITER parts(s->get_netlist(), s, hov_get_accessories()->get_compound_mode());
      const KEM_EDGE* first = parts.get();
      const KEM_NODE* from = first != nullptr ? first->get_src_node() : nullptr;
      if (from != nullptr && from->is_sta_type(KEM_NODE_INPUT_PIN) && from->get_iterm() != nullptr)
        return from->get_iterm()->get_my_node();
    }
  }
  return nullptr;
}
