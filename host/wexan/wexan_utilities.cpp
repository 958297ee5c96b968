#include "wexan/wexan_utilities.h"

#include <map>

#include "common/host_call_log.h"
#include "common/host_world.h"
#include "thr/thr_drl.h"
#include "tibex/tibex_env.h"

namespace {
struct LUT_RAM_STATE {
  WEXAN_LUT_RAM_UTILITY* utility = nullptr;
};
LUT_RAM_STATE& lut_ram_state() { return host_world_slot<LUT_RAM_STATE>(); }
}  // namespace

namespace {
struct PIZ_FLUSHED {
  std::map<std::string, std::vector<std::vector<std::string>>> rows;
};
PIZ_FLUSHED& piz_flushed() { return host_world_slot<PIZ_FLUSHED>(); }
}  // namespace

WEXAN_PIZ_TABLE::WEXAN_PIZ_TABLE(std::string name) : m_name(std::move(name)) {}
WEXAN_PIZ_TABLE::WEXAN_PIZ_TABLE(WEXAN_ENV*) : m_name("Netlist Modifications") {}
WEXAN_PIZ_TABLE::~WEXAN_PIZ_TABLE() = default;
void WEXAN_PIZ_TABLE::add_row(std::vector<std::string> row) { m_rows.push_back(std::move(row)); }
void WEXAN_PIZ_TABLE::push_reason(int reason) {
  host::log_call("WEXAN_PIZ_TABLE::push_reason", m_name, reason);
  m_reasons.push_back(reason);
}

void WEXAN_PIZ_TABLE::pop_reason() {
  host::log_call("WEXAN_PIZ_TABLE::pop_reason", m_name);
  if (!m_reasons.empty()) m_reasons.pop_back();
}

void WEXAN_PIZ_TABLE::flush() {
  host::log_call("WEXAN_PIZ_TABLE::flush", m_name, static_cast<int>(m_rows.size()));
  auto& out = piz_flushed().rows[m_name];
  out.insert(out.end(), m_rows.begin(), m_rows.end());
  m_rows.clear();
}

namespace host::wexan {
std::vector<std::vector<std::string>> flushed_rows(const std::string& table) {
  auto it = piz_flushed().rows.find(table);
  return it == piz_flushed().rows.end() ? std::vector<std::vector<std::string>>{} : it->second;
}
}  // namespace host::wexan

WEXAN_LUT_RAM_UTILITY::WEXAN_LUT_RAM_UTILITY(int mode) : m_mode(mode) {
  host::counters::add("WEXAN_LUT_RAM_UTILITY", 1);
}
WEXAN_LUT_RAM_UTILITY::~WEXAN_LUT_RAM_UTILITY() { host::counters::add("WEXAN_LUT_RAM_UTILITY", -1); }

WEXAN_LUT_RAM_UTILITY* WEXAN_LUT_RAM_UTILITY::create_utility(int mode) {
  host::log_call("WEXAN_LUT_RAM_UTILITY::create_utility", mode);
  auto& st = lut_ram_state();
  delete st.utility;
  st.utility = new WEXAN_LUT_RAM_UTILITY(mode);
  TIBEX_ENV::set_lut_ram_utility(st.utility);
  return st.utility;
}

WEXAN_LUT_RAM_UTILITY* WEXAN_LUT_RAM_UTILITY::get_utility() { return lut_ram_state().utility; }

void WEXAN_LUT_RAM_UTILITY::destroy_utility() {
  host::log_call("WEXAN_LUT_RAM_UTILITY::destroy_utility");
  auto& st = lut_ram_state();
  delete st.utility;
  st.utility = nullptr;
}

WEXAN_PDC_UTILITY::WEXAN_PDC_UTILITY() { host::counters::add("WEXAN_PDC_UTILITY", 1); }
void WEXAN_PDC_UTILITY::run_extra_effort_pdc() { host::log_call("WEXAN_PDC_UTILITY::run_extra_effort_pdc"); }
WEXAN_PDC_UTILITY::~WEXAN_PDC_UTILITY() { host::counters::add("WEXAN_PDC_UTILITY", -1); }

WEXAN_REGISTER_PACKING_HINTS_FOR_VPR::WEXAN_REGISTER_PACKING_HINTS_FOR_VPR() {
  host::counters::add("WEXAN_REGISTER_PACKING_HINTS_FOR_VPR", 1);
}
WEXAN_REGISTER_PACKING_HINTS_FOR_VPR::~WEXAN_REGISTER_PACKING_HINTS_FOR_VPR() {
  host::counters::add("WEXAN_REGISTER_PACKING_HINTS_FOR_VPR", -1);
}

WEXAN_PERIPHERY_FLOW::WEXAN_PERIPHERY_FLOW() : m_atom_mod_report("Periphery Atom Modifications") {
  host::counters::add("WEXAN_PERIPHERY_FLOW", 1);
}
WEXAN_PERIPHERY_FLOW::~WEXAN_PERIPHERY_FLOW() { host::counters::add("WEXAN_PERIPHERY_FLOW", -1); }

void WEXAN_LUT_RAM_UTILITY::flush_reports() { host::log_call("WEXAN_LUT_RAM_UTILITY::flush_reports"); }

void wexan_re_annotate_delay_with_full_routing_information(WEXAN_ENV*, bool flag) {
  host::log_call("wexan_re_annotate_delay_with_full_routing_information", flag);
}
