#pragma once
// The location manager of the shared placement library: which register may
// move into which block, checked by site kind and occupancy.
#include <map>
#include "common/host_api.h"

class VOK_ATOM_NETLIST;
class VOK_ATOM_NODE;
class VOK_RE_ROUTING;

class HOST_API NORBO_MANAGER {
public:
  NORBO_MANAGER();
  virtual ~NORBO_MANAGER();
  NORBO_MANAGER(const NORBO_MANAGER&) = delete;
  NORBO_MANAGER& operator=(const NORBO_MANAGER&) = delete;

  // recorded: readies the manager for the netlist (and its routing, which may
  // be null before any routing exists).
  void initialize_devices(VOK_ATOM_NETLIST* netlist, const VOK_RE_ROUTING* routing, bool flag, int mode);
  // data: whether initialize_devices ran.
  bool is_initialized() const { return m_netlist != nullptr; }
  // algorithm: the register may be packed into the block: the register is a
  // register not packed yet, the block is an I/O buffer, RAM or DSP atom
  // (DSP: MAC or floating-point MAC) and holds fewer than `capacity()`
  // registers. Recorded with its answer.
  bool can_pack_atoms(const VOK_ATOM_NODE* reg, const VOK_ATOM_NODE* block, int mode) const;
  // algorithm: records the packing (recorded).
  void pack_atoms(const VOK_ATOM_NODE* reg, const VOK_ATOM_NODE* block, int mode);
  // data: the block a register was packed into (-1 when none).
  int packed_into(int reg_id) const;
  static constexpr int capacity() { return 2; }

private:
  VOK_ATOM_NETLIST* m_netlist = nullptr;
  std::map<int, int> m_reg_to_block;
  std::map<int, int> m_block_count;
};

class VOK_CHIP_DB_ENTRY;
// recorded: rewires the clock spine taps to the sector-level clock gates of
// the chip database entry's routing.
HOST_API void norbo_rewire_spine_tap_to_sector_level_clk_gate(VOK_CHIP_DB_ENTRY* entry);
