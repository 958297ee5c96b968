// PLL compensation: the host's PLL delay-chain operation and what the timing
// analysis takes from it.
#include "wexan/wexan_pll_delay_chains_op.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <string>

#include "common/host_call_log.h"
#include "common/host_script.h"
#include "common/host_world.h"
#include "kem/kem_manager.h"
#include "kem/kem_netlist.h"
#include "vok/vok_atom_netlist.h"
#include "wexan/wexan_env.h"
#include "yos/yos_interface.h"
#include "yos/yos_translator.h"

namespace {
// A chain as the analysis needs it.
struct PLL_CHAIN {
  YOS_TIME_DATA_ENUM param;
  long long step_ps;
  std::map<std::string, int> measured;
  int default_step;
};
struct PLL_COMPENSATION {
  std::vector<PLL_CHAIN> input, feedback;
};
struct PLL_STATE {
  std::map<int, PLL_COMPENSATION> compensated;  // by PLL atom id
};
PLL_STATE& pll_state() { return host_world_slot<PLL_STATE>(); }

host::raw_arg atom_arg(const VOK_ATOM_NODE* atom) { return host::raw_arg{atom ? "atom#" + std::to_string(atom->get_id()) : "null"}; }

void collect_plls(VOK_ATOM_NETLIST* netlist, std::vector<VOK_ATOM_NODE*>& out) {
  if (netlist == nullptr) return;
  for (VOK_ATOM_NODE* atom : netlist->get_atom_list()) {
    if (atom->is_box()) {
      collect_plls(static_cast<VOK_ATOM_BLACKBOX*>(atom)->get_child_netlist(), out);
    } else if (atom->is_pll()) {
      out.push_back(atom);
    }
  }
}

std::vector<PLL_CHAIN> chains_of(const WEXAN_DELAY_CHAIN_GROUP& g) {
  std::vector<PLL_CHAIN> out;
  YOS_TRANSLATOR* translator = YOS_TRANSLATOR::get_instance();
  for (const WEXAN_DELAY_CHAIN_INFO& c : g.m_delay_chains) {
    PLL_CHAIN p{translator->get_time_enum_of(c.m_param_symbol.get()), c.m_step.get_ps(), {}, c.m_default_step_delay};
    for (auto it = c.m_measured_delays.begin(); it != c.m_measured_delays.end(); ++it) p.measured[it.key()] = it.value();
    out.push_back(std::move(p));
  }
  return out;
}

// Every (setting vector, total delay) of a group's chains.
struct COMBO {
  std::vector<int> settings;
  long long delay = 0;
  int steps = 0;
};
std::vector<COMBO> combos(const WEXAN_DELAY_CHAIN_GROUP& g, const std::vector<int>& step_delays, std::size_t first) {
  std::vector<COMBO> out{COMBO{}};
  for (std::size_t i = 0; i < g.m_delay_chains.size(); ++i) {
    const int n = std::max(1, g.m_delay_chains[i].m_num_settings);
    const int step = first + i < step_delays.size() ? step_delays[first + i] : g.m_delay_chains[i].m_default_step_delay;
    std::vector<COMBO> next;
    for (const COMBO& c : out)
      for (int s = 0; s < n; ++s) {
        COMBO d = c;
        d.settings.push_back(s);
        d.delay += static_cast<long long>(s) * step;
        d.steps += s;
        next.push_back(std::move(d));
      }
    out.swap(next);
  }
  return out;
}

// The mean longest clock-network delay from the PLL's outputs to the clock
// pins of the registers they reach, at the current corner; -1 without any.
long long clock_network_delay(const KEM_NETLIST& kem, const std::vector<const VOK_ATOM_OTERM*>& outputs) {
  const int corner = kem.get_corner_manager()->get_current_corner_id();
  std::map<int, long long> dist;
  std::vector<int> work;
  for (const VOK_ATOM_OTERM* o : outputs)
    if (const KEM_NODE* n = kem.get_kem_node_from_oterm(o)) {
      dist[n->get_id()] = 0;
      work.push_back(n->get_id());
    }
  std::map<int, long long> pins;
  const std::size_t bound = static_cast<std::size_t>(kem.get_node_count()) * 4 + 16;
  for (std::size_t steps = 0; !work.empty() && steps < bound * bound; ++steps) {
    const int v = work.back();
    work.pop_back();
    const KEM_NODE* node = kem.get_node(v);
    if (node == nullptr) continue;
    if (node->has_any_flag(KEM_NODE_FLAG_CLOCK_PIN)) {
      pins[v] = dist[v];
      continue;
    }
    if (node->is_sta_type(KEM_NODE_KEEPER)) continue;
    for (int id = node->begin_fanout(); id >= 0;) {
      const KEM_EDGE* e = kem.get_edge(id);
      if (e == nullptr) break;
      id = e->get_next_fanout();
      if (!e->is_live() || e->is_excluded() || e->get_dst_node() == nullptr) continue;
      const int w = e->get_dst_node()->get_id();
      const long long d = dist[v] + kem.get_edge_delay_ps(*e, corner);
      auto it = dist.find(w);
      if (it != dist.end() && it->second >= d) continue;
      dist[w] = d;
      work.push_back(w);
    }
  }
  if (pins.empty()) return -1;
  long long sum = 0;
  for (const auto& [id, d] : pins) sum += d;
  const long long n = static_cast<long long>(pins.size());
  return (sum + n / 2) / n;
}

int rounded_div(long long a, long long b) {
  if (b == 0) return 0;
  const long long q = (std::llabs(a) * 2 + std::llabs(b)) / (2 * std::llabs(b));
  return static_cast<int>((a < 0) != (b < 0) ? -q : q);
}
}  // namespace

WEXAN_PLL_DELAY_CHAINS_OP::WEXAN_PLL_DELAY_CHAINS_OP(WEXAN_ENV* env) : m_env(env) {}
WEXAN_PLL_DELAY_CHAINS_OP::~WEXAN_PLL_DELAY_CHAINS_OP() = default;

void WEXAN_PLL_DELAY_CHAINS_OP::construct_delay_models() {}
bool WEXAN_PLL_DELAY_CHAINS_OP::fill_in_lvds_port_type_and_index_for_c_counter(unsigned long, DB_OUTPUT_PORT_TYPE*,
                                                                              unsigned short*) const {
  return false;
}
unsigned WEXAN_PLL_DELAY_CHAINS_OP::get_delay_model_index(const VOK_ATOM_NODE*) const {
  return static_cast<unsigned>(m_delay_models.size());
}
bool WEXAN_PLL_DELAY_CHAINS_OP::corner_case_override_done(VOK_ATOM_NODE*, ZMP_ENUM_TYPE<VOK_PLL_COMPENSATION_MODE_ENUM>,
                                                          const WEXAN_PLL_CONFIGURABLE_DELAY_MODEL&) const {
  return false;
}

std::vector<const VOK_ATOM_OTERM*> WEXAN_PLL_DELAY_CHAINS_OP::get_required_outclk_oterms(
    const VOK_ATOM_NODE* atom, DB_OUTPUT_PORT_TYPE type) const {
  std::vector<const VOK_ATOM_OTERM*> out;
  if (atom == nullptr) return out;
  for (std::size_t i = 0; i < atom->get_oterm_slot_count(); ++i) {
    const VOK_ATOM_OTERM* o = atom->get_oterm_slot(i);
    if (o && o->get_port_type() == type && o->get_first_fanout(VOK_TRAVERSE_HIERARCHICAL)) out.push_back(o);
  }
  return out;
}

bool WEXAN_PLL_DELAY_CHAINS_OP::work(PLL_OPTIMIZATION_MODE mode) {
  host::log_call("WEXAN_PLL_DELAY_CHAINS_OP::work", mode);
  const bool result = host::script::next<bool>("WEXAN_PLL_DELAY_CHAINS_OP::work", true);
  if (mode != PLL_OPTIMIZATION_MODE_DEFAULT) return result;
  if (!m_models_built) {
    construct_delay_models();
    m_models_built = true;
  }
  for (WEXAN_PLL_CONFIGURABLE_DELAY_MODEL& model : m_delay_models) model.on_timing_corner_change();
  std::vector<VOK_ATOM_NODE*> plls;
  collect_plls(m_env ? m_env->get_atom_netlist() : nullptr, plls);
  std::sort(plls.begin(), plls.end(), [](const VOK_ATOM_NODE* a, const VOK_ATOM_NODE* b) { return a->get_id() < b->get_id(); });
  m_buffer.clear();
  for (VOK_ATOM_NODE* atom : plls) {
    const unsigned index = get_delay_model_index(atom);
    host::log_call("WEXAN_PLL_DELAY_CHAINS_OP::get_delay_model_index", atom_arg(atom), index);
    if (index >= m_delay_models.size()) continue;
    const WEXAN_PLL_CONFIGURABLE_DELAY_MODEL& model = m_delay_models[index];
    int value = VOK_PLL_COMPENSATION_MODE_DIRECT;
    yos_current_interface()->get_enum_data(atom, static_cast<YOS_ENUM_DATA_ENUM>(YOS_ENUM_PLL_COMPENSATION_MODE), &value);
    const auto pll_mode = static_cast<VOK_PLL_COMPENSATION_MODE_ENUM>(value);
    const bool compensates = value > VOK_PLL_COMPENSATION_MODE_DIRECT;
    if (compensates) {
      pll_state().compensated[atom->get_id()] =
          PLL_COMPENSATION{chains_of(model.m_input_delay_chains), chains_of(model.m_feedback_delay_chains)};
      m_buffer.push_back(atom->get_id());
    }
    const bool done = corner_case_override_done(atom, pll_mode, model);
    host::log_call("WEXAN_PLL_DELAY_CHAINS_OP::corner_case_override_done", atom_arg(atom), value, done);
    if (!done && compensates) compensate(atom, model);
  }
  return result;
}

void WEXAN_PLL_DELAY_CHAINS_OP::compensate(VOK_ATOM_NODE* atom, const WEXAN_PLL_CONFIGURABLE_DELAY_MODEL& model) {
  KEM_NETLIST* kem = KEM_MANAGER::get()->get_kem_netlist();
  if (kem == nullptr && m_env) {
    m_env->get_hov_utility_or_create_if_necessary(0, 2, 5, false, false, false, false, nullptr, false, false);
    kem = KEM_MANAGER::get()->get_kem_netlist();
  }
  long long target = kem ? clock_network_delay(*kem, get_required_outclk_oterms(atom, DB_OUTPUT_PORT_DATA)) : -1;
  if (target < 0) target = 0;
  const std::vector<int>& steps = model.get_step_delays();
  const std::vector<COMBO> in = combos(model.m_input_delay_chains, steps, 0);
  const std::vector<COMBO> fb = combos(model.m_feedback_delay_chains, steps, model.m_input_delay_chains.m_delay_chains.size());
  const COMBO* best_in = nullptr;
  const COMBO* best_fb = nullptr;
  long long best_err = 0;
  for (const COMBO& i : in)
    for (const COMBO& f : fb) {
      const long long err = std::llabs(target + i.delay - f.delay);
      if (best_in == nullptr || err < best_err ||
          (err == best_err && i.steps + f.steps < best_in->steps + best_fb->steps)) {
        best_in = &i;
        best_fb = &f;
        best_err = err;
      }
    }
  if (best_in == nullptr) return;
  YOS_TRANSLATOR* translator = YOS_TRANSLATOR::get_instance();
  auto write = [&](const WEXAN_DELAY_CHAIN_GROUP& g, const COMBO& c) {
    for (std::size_t k = 0; k < g.m_delay_chains.size(); ++k) {
      const WEXAN_DELAY_CHAIN_INFO& chain = g.m_delay_chains[k];
      yos_current_interface()->set_time_data(atom, translator->get_time_enum_of(chain.m_param_symbol.get()),
                                             c.settings[k] * chain.m_step.get_ps());
    }
  };
  write(model.m_input_delay_chains, *best_in);
  write(model.m_feedback_delay_chains, *best_fb);
  host::log_call("WEXAN_PLL_DELAY_CHAINS_OP::compensate", atom_arg(atom), target, best_in->delay, best_fb->delay);
}

namespace host::pll {
bool is_compensated(int atom_id) { return pll_state().compensated.count(atom_id) != 0; }

int compensation_ps(const KEM_EDGE& edge, const KEM_TIMING_MODEL& corner, int pll_delay_ps) {
  // Asked for every cell edge of every analysis: without a compensated PLL
  // the answer is known before the edge's ends are looked up.
  const auto& all = pll_state().compensated;
  if (all.empty() || edge.get_kind() != KEM_EDGE_CELL) return 0;
  const KEM_NODE* src = edge.get_src_node();
  const VOK_ATOM_ITERM* in = src ? src->get_iterm() : nullptr;
  if (in == nullptr || in->get_port_type() != DB_INPUT_PORT_PLL_REFCLK) return 0;
  const auto it = all.find(in->get_my_node()->get_id());
  if (it == all.end()) return 0;
  const std::string name =
      corner_name(corner.get_speed_grade(), corner.get_corner(), corner.get_millivolts(), corner.get_celsius());
  auto delay_of = [&](const std::vector<PLL_CHAIN>& chains) {
    long long sum = 0;
    for (const PLL_CHAIN& c : chains) {
      long long value = 0;
      if (!yos_current_interface()->get_time_data(in->get_my_node(), c.param, &value)) continue;
      const auto m = c.measured.find(name);
      sum += rounded_div(value * (m != c.measured.end() ? m->second : c.default_step), c.step_ps);
    }
    return sum;
  };
  return static_cast<int>(delay_of(it->second.input) - delay_of(it->second.feedback) - pll_delay_ps);
}
}  // namespace host::pll
