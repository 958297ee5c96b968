#include "velmo_main.h"
#include "velmo_register_packer_op_interface.h"

#include <cstdio>

#include "mem/mem_initializer.h"
#include "msg/msg_internal_error.h"
#include "velmo_debug.h"
#include "velmo_register_packer_clk_region_callback.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_atom_term.h"

namespace {
const MEM_INITIALIZER l_mem_initializer("VELMO");

[[noreturn]] void l_internal_error(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "VELMO", "velmo_register_packer_op_interface", line);
}

// Internal delay units per nanosecond.
constexpr double kUnitsPerNs = 208.0;
int l_ns(double ns) { return static_cast<int>(ns * kUnitsPerNs); }

enum class KIND { LUT, REG, PIN, IBUF, OBUF, RAM, OTHER };

KIND l_classify(const VOK_ATOM_NODE* a) {
  if (a->is_lcell_comb()) return KIND::LUT;
  if (a->is_ff()) return KIND::REG;
  if (a->is_pin()) return KIND::PIN;
  if (a->is_io_ibuf()) return KIND::IBUF;
  if (a->is_io_obuf()) return KIND::OBUF;
  if (a->is_ram()) return KIND::RAM;
  return KIND::OTHER;
}

bool s_hack_notice_printed = false;
}  // namespace

VELMO_REGISTER_PACKER_OP_INTERFACE::VELMO_REGISTER_PACKER_OP_INTERFACE() : m_dsp_packer_interface(nullptr) {}

VELMO_REGISTER_PACKER_OP_INTERFACE::~VELMO_REGISTER_PACKER_OP_INTERFACE() { delete_register_packers(); }

NOLT_REGISTER_PACKER* VELMO_REGISTER_PACKER_OP_INTERFACE::create_io_register_packer(WEXAN_ENV* env,
                                                                                  WEXAN_DESIGN* design) {
  m_io_register_packer = new NOLT_VORAN_IO_REGISTER_PACKER_OP(env, design);
  return m_io_register_packer;
}

NOLT_REGISTER_PACKER* VELMO_REGISTER_PACKER_OP_INTERFACE::create_ram_register_packer(WEXAN_ENV* env) {
  m_ram_register_packer = new NOLT_FF_RAM_REGISTER_PACKER(env);
  return m_ram_register_packer;
}

NOLT_REGISTER_PACKER* VELMO_REGISTER_PACKER_OP_INTERFACE::create_mac_register_packer(WEXAN_ENV* env) {
  m_dsp_packer_interface = new NOLT_KX_QDSP_REGISTER_PACKER_INTERFACE(env);
  m_dsp_register_packer = m_dsp_packer_interface->create_dsp_register_packer();
  if (m_dsp_register_packer == nullptr) l_internal_error("m_dsp_register_packer != NULL", __LINE__);
  return m_dsp_register_packer;
}

void VELMO_REGISTER_PACKER_OP_INTERFACE::create_register_packer_legality_listeners(
    std::vector<NOLT_REGISTER_PACKER_LEGALITY_CHECK_LISTENER*>& listeners) {
  if (!listeners.empty()) l_internal_error("listeners.empty()", __LINE__);
  listeners.push_back(new VELMO_REGISTER_PACKER_CLK_REGION_CALLBACK());
}

void VELMO_REGISTER_PACKER_OP_INTERFACE::delete_register_packers() {
  delete m_io_register_packer;
  m_io_register_packer = nullptr;
  if (m_dsp_register_packer != nullptr) {
    m_dsp_packer_interface->delete_dsp_register_packer(m_dsp_register_packer);
    m_dsp_register_packer = nullptr;
  }
  // The interface may exist without a packer when making the packer failed.
  delete m_dsp_packer_interface;
  m_dsp_packer_interface = nullptr;
  delete m_ram_register_packer;
  m_ram_register_packer = nullptr;
}

void VELMO_REGISTER_PACKER_OP_INTERFACE::get_packing_input_ports_for_register(
    std::vector<DB_INPUT_PORT_TYPE>* ports) {
  ports->clear();
  ports->push_back(static_cast<DB_INPUT_PORT_TYPE>(20));
  ports->push_back(static_cast<DB_INPUT_PORT_TYPE>(32));
  ports->push_back(static_cast<DB_INPUT_PORT_TYPE>(0));
}

int VELMO_REGISTER_PACKER_OP_INTERFACE::get_delay_for_connection(const VOK_ATOM_OTERM* oterm,
                                                                 const VOK_ATOM_ITERM* iterm,
                                                                 bool& out_flag) const {
  const VOK_ATOM_NODE* src = oterm->get_my_node();
  const VOK_ATOM_NODE* dst = iterm->get_my_node();
  const int out_usage = oterm->get_any_usage_as();
  const int in_usage = iterm->get_any_usage_as();
  velmo_print_hack_notice(s_hack_notice_printed, __FILE__, __LINE__, 412209u,
                          "Register-packing connection delays are placeholder estimates");
  const KIND s = l_classify(src);
  const KIND d = l_classify(dst);
  const int other = l_ns(3.25);
  switch (s) {
    case KIND::LUT:
      if (d == KIND::PIN || (d == KIND::IBUF && in_usage == 9)) {
        char buf[4096];
        std::snprintf(buf, sizeof(buf), "lcell (id: %d) cannot drive pads or ibufs, only obufs (id: %d)",
                      src->get_id(), dst->get_id());
        l_internal_error(buf, __LINE__);
      }
      if (d == KIND::OBUF) return l_ns(6.175);
      if (d == KIND::RAM) return l_ns(3.451);
      if (d == KIND::LUT) {
        if (out_usage == 0) return 45;
        if (out_usage == 252) return 320;
        return l_ns(2.349);
      }
      if (d == KIND::REG) {
        if (in_usage == 20) return l_ns(0.5);
        if (in_usage == 32 || in_usage == 0) return l_ns(2.0);
        return l_ns(2.349);
      }
      return other;
    case KIND::REG:
      if (d == KIND::PIN || d == KIND::IBUF) l_internal_error("ff cannot drive pads or ibufs, only obufs", __LINE__);
      if (d == KIND::OBUF) return l_ns(6.175);
      if (d == KIND::RAM) return l_ns(3.451);
      if (d == KIND::LUT || d == KIND::REG) return l_ns(2.349);
      return other;
    case KIND::PIN:
      if (d == KIND::IBUF) {
        out_flag = true;
        return 0;
      }
      l_internal_error("Pad should only drive ibufs", __LINE__);
    case KIND::IBUF:
      if (d == KIND::PIN) l_internal_error("Voran IBUF cannot drive a pad", __LINE__);
      if (d == KIND::OBUF) return l_ns(4.884);
      if (d == KIND::RAM) return l_ns(7.298);
      if (d == KIND::LUT || d == KIND::REG) return l_ns(4.911);
      return other;
    case KIND::OBUF:
      if (d == KIND::PIN) {
        out_flag = true;
        return 0;
      }
      l_internal_error("Pleck IO output buffer should only drive pads", __LINE__);
    case KIND::RAM:
      if (d == KIND::PIN || d == KIND::IBUF)
        l_internal_error("lcell cannot drive pads or ibufs, only obufs", __LINE__);
      if (d == KIND::OBUF) return l_ns(7.605);
      if (d == KIND::LUT || d == KIND::REG) return l_ns(3.396);
      return other;
    case KIND::OTHER:
      break;
  }
  return other;
}
