#include "nolt/nolt_register_packer.h"

#include "zel/zel_mac_unified_util.h"

#include "common/host_call_log.h"
#include "common/host_lent.h"
#include "common/host_script.h"
#include "thr/thr_drl.h"
#include "vok/vok_atom_netlist.h"

NOLT_REGISTER_PACKER::NOLT_REGISTER_PACKER(const char* kind) : m_kind(kind) {
  host::counters::add("NOLT_REGISTER_PACKER", 1);
}
NOLT_REGISTER_PACKER::~NOLT_REGISTER_PACKER() { host::counters::add("NOLT_REGISTER_PACKER", -1); }

NOLT_VORAN_IO_REGISTER_PACKER_OP::NOLT_VORAN_IO_REGISTER_PACKER_OP(WEXAN_ENV* env, WEXAN_DESIGN* design)
    : NOLT_REGISTER_PACKER("io") {
  host::log_call("NOLT_VORAN_IO_REGISTER_PACKER_OP::NOLT_VORAN_IO_REGISTER_PACKER_OP", env, design);
}
NOLT_FF_RAM_REGISTER_PACKER::NOLT_FF_RAM_REGISTER_PACKER(WEXAN_ENV* env) : NOLT_REGISTER_PACKER("ram") {
  host::log_call("NOLT_FF_RAM_REGISTER_PACKER::NOLT_FF_RAM_REGISTER_PACKER", env);
}
NOLT_DSP_REGISTER_PACKER::NOLT_DSP_REGISTER_PACKER() : NOLT_REGISTER_PACKER("dsp") {}

NOLT_KX_QDSP_REGISTER_PACKER_INTERFACE::NOLT_KX_QDSP_REGISTER_PACKER_INTERFACE(WEXAN_ENV* env) {
  host::log_call("NOLT_KX_QDSP_REGISTER_PACKER_INTERFACE::NOLT_KX_QDSP_REGISTER_PACKER_INTERFACE", env);
  host::counters::add("NOLT_KX_QDSP_REGISTER_PACKER_INTERFACE", 1);
}
NOLT_KX_QDSP_REGISTER_PACKER_INTERFACE::~NOLT_KX_QDSP_REGISTER_PACKER_INTERFACE() {
  host::counters::add("NOLT_KX_QDSP_REGISTER_PACKER_INTERFACE", -1);
}
NOLT_REGISTER_PACKER* NOLT_KX_QDSP_REGISTER_PACKER_INTERFACE::create_dsp_register_packer() {
  host::log_call("NOLT_KX_QDSP_REGISTER_PACKER_INTERFACE::create_dsp_register_packer");
  if (!host::script::next<bool>("NOLT_KX_QDSP_REGISTER_PACKER_INTERFACE::create_dsp_register_packer", true))
    return nullptr;
  return new NOLT_DSP_REGISTER_PACKER();
}
void NOLT_KX_QDSP_REGISTER_PACKER_INTERFACE::delete_dsp_register_packer(NOLT_REGISTER_PACKER* packer) {
  host::log_call("NOLT_KX_QDSP_REGISTER_PACKER_INTERFACE::delete_dsp_register_packer", packer);
  delete packer;
}

void NOLT_RP_EXPLANATION::add_io_explanation(int status, const VOK_ATOM_NODE* reg, const VOK_ATOM_NODE* io) {
  m_io.push_back(IO_ENTRY{status, reg ? reg->get_id() : -1, io ? io->get_id() : -1});
}
void NOLT_RP_EXPLANATION::io_set_submessages(const std::list<std::string>& messages) { m_submessages = messages; }

NOLT_REGISTER_PACKER_LEGALITY_CHECK_LISTENER::NOLT_REGISTER_PACKER_LEGALITY_CHECK_LISTENER() = default;
NOLT_REGISTER_PACKER_LEGALITY_CHECK_LISTENER::~NOLT_REGISTER_PACKER_LEGALITY_CHECK_LISTENER() = default;

NOLT_FF_REGISTER_PACKER_OP_INTERFACE::NOLT_FF_REGISTER_PACKER_OP_INTERFACE() = default;
NOLT_FF_REGISTER_PACKER_OP_INTERFACE::~NOLT_FF_REGISTER_PACKER_OP_INTERFACE() = default;

void NOLT_FF_REGISTER_PACKER_OP::set_op_interface(NOLT_FF_REGISTER_PACKER_OP_INTERFACE* iface) {
  host::log_call("NOLT_FF_REGISTER_PACKER_OP::set_op_interface", iface);
  host::registry_set("NOLT_FF_REGISTER_PACKER_OP::op_interface", iface);
}

NOLT_FF_REGISTER_PACKER_OP_INTERFACE* NOLT_FF_REGISTER_PACKER_OP::get_op_interface() {
  return static_cast<NOLT_FF_REGISTER_PACKER_OP_INTERFACE*>(
      host::registry_get("NOLT_FF_REGISTER_PACKER_OP::op_interface"));
}

NOLT_FF_REGISTER_PACKER_OP::NOLT_FF_REGISTER_PACKER_OP(bool with_w3j3) : m_with_w3j3(with_w3j3) {
  host::log_call("NOLT_FF_REGISTER_PACKER_OP::NOLT_FF_REGISTER_PACKER_OP", with_w3j3);
}
NOLT_FF_REGISTER_PACKER_OP::~NOLT_FF_REGISTER_PACKER_OP() {
  host::log_call("NOLT_FF_REGISTER_PACKER_OP::~NOLT_FF_REGISTER_PACKER_OP", m_with_w3j3);
}

#define NOLT_RP_PASS(NAME)                                                       \
  bool NOLT_FF_REGISTER_PACKER_OP::NAME() {                                      \
    host::log_call("NOLT_FF_REGISTER_PACKER_OP::" #NAME);                        \
    return host::script::next<bool>("NOLT_FF_REGISTER_PACKER_OP::" #NAME, true); \
  }
NOLT_RP_PASS(perform_timing_analysis)
NOLT_RP_PASS(initialize_and_sweep_netlist)
NOLT_RP_PASS(pack_registers_due_to_location_assignments)
NOLT_RP_PASS(pack_registers_opportunistically)
NOLT_RP_PASS(pack_ram_register_aggressively)
#undef NOLT_RP_PASS

void NOLT_FF_REGISTER_PACKER_OP::free_permanent_data() {
  host::log_call("NOLT_FF_REGISTER_PACKER_OP::free_permanent_data");
}

void NOLT_RP_UTIL::sweep_inverters_and_wire_luts_at_packable_boundaries() {
  host::log_call("NOLT_RP_UTIL::sweep_inverters_and_wire_luts_at_packable_boundaries");
}

int NOLT_RP_UTIL::get_qdsp_input_port_width(const ZEL_MAC_UNIFIED_UTIL* mac_util, const VOK_ATOM_NODE* mac,
                                            DB_INPUT_PORT_TYPE port) {
  return mac_util->get_input_port_width(mac, port);
}
