// The RAM-enable conversion passes: generic over the family's gate
// factories, which decide what each gate is.
#include <vector>

#include "common/host_call_log.h"
#include "nolt/nolt_utilities.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_atom_term.h"
#include "wexan/wexan_env.h"

namespace {
// Block-RAM enable inputs of the stand-in (index = RAM port).
constexpr int kRamWriteEnable = 41;
constexpr int kRamReadEnable = 42;
constexpr int kRamClockEnable = DB_INPUT_PORT_ENA;

VOK_ATOM_OTERM* fed_by(const VOK_ATOM_NODE* ram, int port_type, int index) {
  VOK_ATOM_ITERM* t = ram->get_input_term_by_type(static_cast<DB_INPUT_PORT_TYPE>(port_type), index);
  return t ? t->get_source(VOK_TRAVERSE_AS_STORED) : nullptr;
}

std::vector<VOK_ATOM_NODE*> rams_of(WEXAN_ENV* env) {
  std::vector<VOK_ATOM_NODE*> rams;
  for (VOK_ATOM_NODE* a : env->get_atom_netlist()->nodes(VOK_TRAVERSE_HIERARCHICAL))
    if (a->is_ram()) rams.push_back(a);
  return rams;
}
}  // namespace

bool NOLT_RAM_ENABLE_CONVERSION_UTIL::insert_gate(VOK_ATOM_NODE* ram, VOK_ATOM_NODE* gate, int enable_port) {
  host::log_call("NOLT_RAM_ENABLE_CONVERSION_UTIL::insert_gate", host::vok::arg(ram), host::vok::arg(gate),
                 enable_port);
  if (gate == nullptr) return false;
  VOK_ATOM_OTERM* gate_out = gate->get_oterm_slot(0);
  if (gate_out == nullptr) return false;
  const int port = enable_port & 0xffff;
  const int index = enable_port >> 16;
  VOK_ATOM_ITERM* enable = ram->get_input_term_by_type(static_cast<DB_INPUT_PORT_TYPE>(port), index);
  VOK_ATOM_OTERM* old_source = enable ? enable->get_source(VOK_TRAVERSE_AS_STORED) : nullptr;
  if (old_source == nullptr) return false;
  VOK_ATOM_ITERM* in0 = gate->add_input_term(static_cast<DB_INPUT_PORT_TYPE>(DB_INPUT_PORT_LUT_DATA), 0);
  VOK_ATOM_ITERM* in1 = gate->add_input_term(static_cast<DB_INPUT_PORT_TYPE>(DB_INPUT_PORT_LUT_DATA + 1), 0);
  vok_connect(old_source, in0);
  if (VOK_ATOM_OTERM* ena = fed_by(ram, kRamClockEnable, index))
    vok_connect(ena, in1);
  else
    in1->tie(false);
  vok_connect(gate_out, enable);
  return true;
}

bool NOLT_RAM_ENABLE_CONVERSION_UTIL::do_wren_conversion(VOK_ATOM_NODE* atom, VOK_RAM_PORT_ENUM port) {
  host::log_call("NOLT_RAM_ENABLE_CONVERSION_UTIL::do_wren_conversion", host::vok::arg(atom), port);
  return insert_gate(atom, create_2_input_and_gate_atom(atom), kRamWriteEnable | (port << 16));
}

bool NOLT_RAM_ENABLE_CONVERSION_UTIL::do_rden_conversion(VOK_ATOM_NODE* atom, VOK_RAM_PORT_ENUM port) {
  host::log_call("NOLT_RAM_ENABLE_CONVERSION_UTIL::do_rden_conversion", host::vok::arg(atom), port);
  return insert_gate(atom, create_2_input_or_gate_atom(atom), kRamReadEnable | (port << 16));
}

bool NOLT_RAM_ENABLE_CONVERSION_UTIL::do_dual_conversion(VOK_ATOM_NODE* atom, VOK_RAM_PORT_ENUM port) {
  host::log_call("NOLT_RAM_ENABLE_CONVERSION_UTIL::do_dual_conversion", host::vok::arg(atom), port);
  return insert_gate(atom, create_dual_gate_atom(atom), kRamWriteEnable | (port << 16));
}

bool NOLT_RAM_ENABLE_CONVERSION_UTIL::do_any_block_rams_need_netlist_updates() {
  for (VOK_ATOM_NODE* ram : rams_of(m_env))
    for (int port = 0; port < 2; ++port)
      if (fed_by(ram, kRamWriteEnable, port) || fed_by(ram, kRamReadEnable, port)) return true;
  return false;
}

bool NOLT_RAM_ENABLE_CONVERSION_UTIL::perform_ram_enable_conversion() {
  host::log_call("NOLT_RAM_ENABLE_CONVERSION_UTIL::perform_ram_enable_conversion");
  if (!do_any_block_rams_need_netlist_updates()) return true;
  bool ok = true;
  for (VOK_ATOM_NODE* ram : rams_of(m_env)) {
    for (int p = 0; p < 2; ++p) {
      const VOK_RAM_PORT_ENUM port = static_cast<VOK_RAM_PORT_ENUM>(p);
      const bool wren = fed_by(ram, kRamWriteEnable, p) != nullptr;
      const bool rden = fed_by(ram, kRamReadEnable, p) != nullptr;
      if (wren && rden) {
        ok = do_dual_conversion(ram, port) && ok;
      } else if (wren) {
        ok = do_wren_conversion(ram, port) && ok;
      } else if (rden) {
        ok = do_rden_conversion(ram, port) && ok;
      }
    }
  }
  return ok;
}
