#include "zel/zel_dc_table.h"

#include <cstdint>
#include <mutex>

#include "common/host_world.h"
#include "dev/dev_family.h"
#include "vok/vok_atom_netlist.h"

namespace host::dc {
namespace {

FAMILY_TABLE newer_table() {
  FAMILY_TABLE t;
  t.user_types = {430, 431, 446, 447, 448, 449};
  t.auto_types = {430, 431, 446, 448, 414, 415, 416, 417, 418};
  t.chains[430] = {15, SIDE::OUTPUT, 0, 0, {}, {}, false};
  t.chains[431] = {15, SIDE::OUTPUT_ENABLE, 0, 0, {}, {}, false};
  t.chains[446] = {15, SIDE::INPUT, 0, 0, {}, {}, false};
  t.chains[447] = {15, SIDE::INPUT, 0, 0, {}, {}, false};
  t.chains[448] = {63, SIDE::INPUT, 0, 0, {}, {}, false};
  t.chains[449] = {7, SIDE::INPUT, 0, 0, {}, {}, false};
  t.pad_to_core_chains = 1;
  t.device_items = {53, 77, 114};
  return t;
}

FAMILY_TABLE older_table() {
  FAMILY_TABLE t;
  t.user_types = {12, 13, 14, 15, 16, 17, 18, 144, 145, 146, 147, 152, 153};
  t.auto_types = {12, 13, 14, 16, 19, 144, 145, 146, 147, 152, 153, 300, 301, 305, 414, 415, 416, 417, 418};
  t.chains[12] = {7, SIDE::INPUT, 2, 3, {}, {}, false};
  t.chains[13] = {7, SIDE::INPUT, 0, 0, {}, {}, false};
  t.chains[14] = {3, SIDE::OUTPUT, 0, 0, {}, {}, false};
  t.chains[15] = {7, SIDE::INPUT, 0, 0, {}, {}, false};
  t.chains[16] = {3, SIDE::OUTPUT_ENABLE, 0, 0, {}, {}, false};
  t.chains[17] = {3, SIDE::NONE, 0, 0, {}, {}, false};
  t.chains[18] = {3, SIDE::NONE, 0, 0, {}, {}, false};
  t.chains[19] = {63, SIDE::OUTPUT, 0, 0, {}, {}, false};
  t.chains[144] = {16, SIDE::INPUT, 0, 0, {}, {}, false};
  t.chains[145] = {7, SIDE::INPUT, 0, 0, {}, {}, false};
  t.chains[146] = {7, SIDE::INPUT, 0, 0, {}, {}, false};
  t.chains[147] = {7, SIDE::INPUT, 0, 0, {}, {}, false};
  t.chains[152] = {7, SIDE::OUTPUT, 0, 0, {}, {}, false};
  t.chains[153] = {7, SIDE::OUTPUT, 0, 0, {}, {}, false};
  t.chains[300] = {3, SIDE::INPUT, 0, 0, {}, {}, false};
  t.chains[301] = {3, SIDE::OUTPUT, 0, 0, {}, {}, false};
  t.chains[305] = {3, SIDE::OUTPUT, 0, 0, {}, {}, false};
  t.fine = {{144, 300}, {152, 305}, {153, 301}};
  t.pad_to_core_chains = 2;
  t.device_items = {53, 105};
  return t;
}

struct DC_STATE {
  std::mutex mutex;
  std::map<int, FAMILY_TABLE> overrides;
  std::map<int, FAMILY_TABLE> builtin;
  std::set<std::pair<int, int>> failing_writes;
  std::set<int> dq, dqs, dqsn;
  std::map<int, int> pairs;
};
DC_STATE& state() { return host_world_slot<DC_STATE>(); }

bool newer_family(int family) { return family == 46 || family == 26 || family == 48 || family == 15; }

}  // namespace

const FAMILY_TABLE& table(int family) {
  DC_STATE& st = state();
  std::lock_guard<std::mutex> lock(st.mutex);
  auto it = st.overrides.find(family);
  if (it != st.overrides.end()) return it->second;
  auto b = st.builtin.find(family);
  if (b == st.builtin.end()) b = st.builtin.emplace(family, newer_family(family) ? newer_table() : older_table()).first;
  return b->second;
}

void set_table(int family, const FAMILY_TABLE& t) {
  DC_STATE& st = state();
  std::lock_guard<std::mutex> lock(st.mutex);
  st.overrides[family] = t;
}

int yos_param_of(int type) { return type; }
int yos_bool_param_of(int type) { return 2000 + type; }
int moz_variable_of(int type) { return 3000 + type; }
int dev_item_of(int type) { return 1000 + type; }
bool is_pll_pseudo_type(int type) { return type >= 414 && type <= 418; }

int model_code_of_corner_kind(int kind) {
  if (kind == 0) return MODEL_SLOW;
  if (kind == 1) return MODEL_FAST;
  return MODEL_OTHER;
}

int delay_ps(int family, int type, unsigned setting, int model_code, int speed_grade, bool horizontal) {
  const FAMILY_TABLE& t = table(family);
  auto it = t.chains.find(type);
  if (it == t.chains.end() || setting > it->second.max_setting) return static_cast<int>(0x80000001u);
  const CHAIN& c = it->second;
  const bool f = family == 46 || family == 26;
  if (type == 430 || type == 431 || type == 446 || type == 448) {
    double scaler = 1.0;
    if (model_code == 0 || model_code == 1) {
      if (speed_grade == 6) scaler = f ? 1.14 : 1.125;
      if (speed_grade == 12) scaler = f ? 1.23 : 1.342;
    } else if (model_code == 2) {
      scaler = f ? 0.76 : 0.5;
    }
    const double step = type == 448 ? (f ? 3.298 : 4.471) : 72.0;
    return static_cast<int>(static_cast<double>(setting) * step * scaler);
  }
  const std::vector<int>& row = horizontal ? c.delay_horizontal : c.delay_other;
  if (setting < row.size()) return row[setting];
  return static_cast<int>(setting) * (horizontal ? 55 : 50);
}

void fail_writes(int atom_id, int type) {
  DC_STATE& st = state();
  std::lock_guard<std::mutex> lock(st.mutex);
  st.failing_writes.insert({atom_id, type});
}
bool write_fails(int atom_id, int type) {
  DC_STATE& st = state();
  std::lock_guard<std::mutex> lock(st.mutex);
  for (const auto& [a, t] : st.failing_writes)
    if ((a == -1 || a == atom_id) && (t == -1 || t == type)) return true;
  return false;
}
void mark_dq(int atom_id) { state().dq.insert(atom_id); }
void mark_dqs(int atom_id) { state().dqs.insert(atom_id); }
void mark_dqsn(int atom_id) { state().dqsn.insert(atom_id); }
bool is_dq(int atom_id) { return state().dq.count(atom_id) != 0; }
bool is_dqs(int atom_id) { return state().dqs.count(atom_id) != 0; }
bool is_dqsn(int atom_id) { return state().dqsn.count(atom_id) != 0; }
void pair(int a, int b) {
  state().pairs[a] = b;
  state().pairs[b] = a;
}
int paired_with(int atom_id) {
  auto it = state().pairs.find(atom_id);
  return it == state().pairs.end() ? -1 : it->second;
}

std::map<std::pair<std::string, int>, unsigned> pin_settings() {
  std::map<std::pair<std::string, int>, unsigned> out;
  VOK_ATOM_NETLIST* top = host::vok::top_netlist();
  if (top == nullptr) return out;
  for (VOK_ATOM_NODE* a : top->get_atom_list()) {
    if (a == nullptr || !a->is_pin()) continue;
    for (const auto& [type, chain] : table(host::device::internal_family_code()).chains) {
      std::int64_t v = 0;
      if (a->get_parameter(VOK_PARAMETER_TYPE::UINT, yos_param_of(type), &v))
        out[{a->get_string_hpath(), type}] = static_cast<unsigned>(v);
    }
  }
  return out;
}

}  // namespace host::dc
