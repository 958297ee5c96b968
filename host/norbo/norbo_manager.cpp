#include "norbo/norbo_manager.h"

#include "common/host_call_log.h"
#include "vok/vok_atom_netlist.h"

namespace {
host::raw_arg atom_arg(const VOK_ATOM_NODE* a) {
  return host::raw_arg{a ? "atom#" + std::to_string(a->get_id()) : std::string("null")};
}
bool is_packing_block(const VOK_ATOM_NODE* b) {
  return b->is_io_ibuf() || b->is_io_obuf() || b->is_ram() || b->is_mac() || b->is_fp_mac();
}
}  // namespace

NORBO_MANAGER::NORBO_MANAGER() = default;
NORBO_MANAGER::~NORBO_MANAGER() = default;

void NORBO_MANAGER::initialize_devices(VOK_ATOM_NETLIST* netlist, const VOK_RE_ROUTING* routing, bool flag,
                                       int mode) {
  host::log_call("NORBO_MANAGER::initialize_devices", netlist, routing, flag, mode);
  m_netlist = netlist;
}

bool NORBO_MANAGER::can_pack_atoms(const VOK_ATOM_NODE* reg, const VOK_ATOM_NODE* block, int mode) const {
  bool ok = reg != nullptr && block != nullptr && reg->is_ff() && is_packing_block(block) &&
            m_reg_to_block.find(reg->get_id()) == m_reg_to_block.end();
  if (ok) {
    auto it = m_block_count.find(block->get_id());
    ok = it == m_block_count.end() || it->second < capacity();
  }
  host::log_call("NORBO_MANAGER::can_pack_atoms", atom_arg(reg), atom_arg(block), mode, ok);
  return ok;
}

void NORBO_MANAGER::pack_atoms(const VOK_ATOM_NODE* reg, const VOK_ATOM_NODE* block, int mode) {
  host::log_call("NORBO_MANAGER::pack_atoms", atom_arg(reg), atom_arg(block), mode);
  m_reg_to_block[reg->get_id()] = block->get_id();
  ++m_block_count[block->get_id()];
}

int NORBO_MANAGER::packed_into(int reg_id) const {
  auto it = m_reg_to_block.find(reg_id);
  return it == m_reg_to_block.end() ? -1 : it->second;
}

void norbo_rewire_spine_tap_to_sector_level_clk_gate(VOK_CHIP_DB_ENTRY* entry) {
  host::log_call("norbo_rewire_spine_tap_to_sector_level_clk_gate", entry);
}
