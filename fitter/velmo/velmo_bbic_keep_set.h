#pragma once
// Keep sets of blackboxed partitions: the atoms a partition's shell keeps,
// seeded from the partition's boundary and grown by the atoms every shell
// must keep. The walks here are reused by the keep-set expansion.
#include <functional>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "velmo_bbic.h"
#include "zmp_hash_set_lite_sys.h"

class JOV_PARTITION;
class VOK_ATOM_NETLIST;
class VOK_ATOM_NODE;
class VOK_ATOM_OTERM;

enum VELMO_BBIC_TRACKER : int { VELMO_BBIC_KEEP_SET_TRACKER = 1 };

// A set of atoms plus the reasons recorded for them (none are recorded; the
// list stays empty).
template <int TRACKER> class VELMO_BBIC_NODE_SET_TRACKING {
public:
  using SET = ZMP_HASH_SET_LITE<VOK_ATOM_NODE*>;
  // True when the atom was not in the set yet.
  bool insert(VOK_ATOM_NODE* atom) { return m_nodes.insert(atom).second; }
  bool contains(const VOK_ATOM_NODE* atom) const {
    return m_nodes.find(const_cast<VOK_ATOM_NODE*>(atom)) != m_nodes.end();
  }
  unsigned size() const { return m_nodes.size(); }
  bool empty() const { return m_nodes.size() == 0; }
  const SET& nodes() const { return m_nodes; }
  const std::vector<std::string>& reasons() const { return m_reasons; }

private:
  SET m_nodes;
  std::vector<std::string> m_reasons;
};

using VELMO_BBIC_KEEP_SET = VELMO_BBIC_NODE_SET_TRACKING<VELMO_BBIC_KEEP_SET_TRACKER>;
// Keep sets by partition id; null for a partition that is not blackboxed.
using VELMO_BBIC_KEEP_SET_TABLE = std::vector<VELMO_BBIC_KEEP_SET*>;

// Seeds a partition's keep set by the configured strategy.
void velmo_bbic_determine_keep_set(JOV_PARTITION* partition, VOK_ATOM_NETLIST* netlist, VELMO_BBIC_KEEP_SET& keep);
// Keeps every atom from the boundary ports (and child boxes) up to the first
// registers on each side.
void velmo_get_all_nodes_to_boundary_registers(VOK_ATOM_NETLIST* netlist, VELMO_BBIC_KEEP_SET& keep);
// Keeps each boundary port and the first atom behind it.
void velmo_get_all_nodes_to_boundary_nodes(VOK_ATOM_NETLIST* netlist, VELMO_BBIC_KEEP_SET& keep);
// Keeps every port atom of the netlist.
void velmo_bbic_add_ports_to_set(JOV_PARTITION* partition, VOK_ATOM_NETLIST* netlist, VELMO_BBIC_KEEP_SET& keep);
// Adds what every shell must keep (ports, periphery, EMIF IP, global signals,
// DSPs, ground, the boxes down to kept partitions, global drivers).
void velmo_bbic_add_required_nodes_to_keep_set(const VELMO_BBIC_PARTITION_SET& blackboxed,
                                               VELMO_BBIC_KEEP_SET_TABLE& keep_sets);
// Walks from start through drivers (backward) or fanouts (forward, ordinary
// terminals only) up to the first registers, inserting what it meets; the
// result counts the atoms walked through, start included, registers not.
int velmo_bbic_undelete_fanins_up_to_registers(VOK_ATOM_NODE* start, VELMO_BBIC_KEEP_SET& keep);
int velmo_bbic_undelete_fanouts_up_to_registers(VOK_ATOM_NODE* start, VELMO_BBIC_KEEP_SET& keep);
// Keeps the highest-id destination of the output unless one is kept already.
bool velmo_bbic_must_keep_at_least_one_fanout(VOK_ATOM_OTERM* oterm, VELMO_BBIC_KEEP_SET& keep);
// Whether global-routing terminals of the partition may be left out.
bool velmo_bbic_partition_has_clock_routing(const JOV_PARTITION* partition);
// A register for the walks: a flip-flop that is not bypassed, a RAM or a MAC.
bool velmo_bbic_is_register(const VOK_ATOM_NODE* atom);
// Atoms of the netlist, through child boxes, that are not boxes.
int velmo_bbic_get_number_of_real_atoms(VOK_ATOM_NETLIST* netlist);
// One debug line of keep-set statistics.
void velmo_bbic_dump_stats(VOK_ATOM_NETLIST* netlist, const VELMO_BBIC_KEEP_SET& keep, const std::string& label);

// ---- expansion: grows one partition's keep set until its passes add
// nothing (at most ten iterations).
void velmo_bbic_expand_nodes_to_keep(JOV_PARTITION* partition, VOK_ATOM_NETLIST* netlist, VELMO_BBIC_KEEP_SET& keep);
// Keeps the drivers and fanout atoms (not boxes) of an atom's terminals,
// ordinary terminals only when asked.
void velmo_bbic_expand_one_level(VOK_ATOM_NODE* atom, VELMO_BBIC_KEEP_SET& keep, bool ordinary_only);
void velmo_bbic_expand_lutram_slices(VOK_ATOM_NETLIST* netlist, VELMO_BBIC_KEEP_SET& keep);
void velmo_bbic_expand_ram_slices(VOK_ATOM_NETLIST* netlist, VELMO_BBIC_KEEP_SET& keep);
void velmo_bbic_expand_bypassed_ffs(VOK_ATOM_NETLIST* netlist, VELMO_BBIC_KEEP_SET& keep);
void velmo_bbic_expand_ffs(VOK_ATOM_NETLIST* netlist, VELMO_BBIC_KEEP_SET& keep);
// A time borrow or pulse width at or above its threshold.
bool velmo_bbic_has_clock_skew_settings(const VOK_ATOM_NODE* reg);
// A register whose primary output reaches an output buffer.
bool velmo_bbic_is_ff_driving_io_obuff(const VOK_ATOM_NODE* atom);

// ---- logic modules: an ALM with a kept atom is kept whole (with its
// registers' drivers); kept logic modules keep their carry chain.
enum { BBIC_ALM_LOC_FOUND = 0 };
// (found, x, y, ALM index) of an atom's placement.
using VELMO_BBIC_ALM_LOC = std::tuple<bool, unsigned, unsigned, unsigned>;
using VELMO_BBIC_ALM_KEY_FN = std::function<VELMO_BBIC_ALM_LOC(const VOK_ATOM_NODE*)>;
// The key function over the current die: not found for an unplaced atom
// and for a register in a routing slot (bit 31, no ALM site).
VELMO_BBIC_ALM_KEY_FN velmo_bbic_alm_key_function(int ale_size);
// The logic module of each ALM, then the other atoms with that key in
// netlist order. It depends on the netlist and the key only, so one map
// serves every round of an expansion call.
using VELMO_BBIC_ALM_MAP = std::map<VELMO_BBIC_ALM_LOC, std::vector<VOK_ATOM_NODE*>>;
VELMO_BBIC_ALM_MAP velmo_bbic_build_alm_map(VOK_ATOM_NETLIST* netlist, const VELMO_BBIC_ALM_KEY_FN& key);
// Rounds of both expansions until neither adds an atom; with `map` the
// rounds share it, without it each round rebuilds it.
void velmo_bbic_expand_logic_modules(VOK_ATOM_NETLIST* netlist, VELMO_BBIC_KEEP_SET& keep, const VELMO_BBIC_ALM_KEY_FN& key,
                                     const VELMO_BBIC_ALM_MAP* map = nullptr);
bool velmo_bbic_expand_logic_modules_by_chains(VOK_ATOM_NETLIST* netlist, VELMO_BBIC_KEEP_SET& keep);
bool velmo_bbic_expand_logic_modules_by_ffs(VOK_ATOM_NETLIST* netlist, VELMO_BBIC_KEEP_SET& keep, const VELMO_BBIC_ALM_KEY_FN& key);
bool velmo_bbic_expand_logic_modules_by_ffs(const VELMO_BBIC_ALM_MAP& map, VELMO_BBIC_KEEP_SET& keep,
                                            const VELMO_BBIC_ALM_KEY_FN& key);
