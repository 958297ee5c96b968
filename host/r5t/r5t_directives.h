#pragma once
// The atom-to-cell directives of a design state: for each logical port the
// list of cell ports it maps to, per-port and per-atom parameters, and the
// number of mapped ports of each atom (keyed by the atom id, the port's first
// field).
#include <cstdint>
#include <set>
#include <string>

#include "common/host_api.h"
#include "pelk/pelk_symbol.h"
#include "vok/vok_re_logical_port.h"
#include "zmp_hash_lite_sys.h"
#include "zmp_ops.h"
#include "zmp_tiny_vector.h"

class VOK_ATOM_NETLIST;

class HOST_API R5T_DIRECTIVES {
public:
  using PORT_PELK_PAIR = PAIR_OF_NUMERIC_THINGS<VOK_ATOM_LOGICAL_PORT, PELK>;
  using ATOM_PELK_PAIR = PAIR_OF_NUMERIC_THINGS<unsigned, PELK>;
  using PORT_PELK_PAIR_OP = PAIR_OF_NUMERIC_THINGS_OPS;
  using ATOM_PELK_PAIR_OP = PAIR_OF_NUMERIC_THINGS_OPS;
  using MAPPING_MAP = ZMP_HASH_LITE<VOK_ATOM_LOGICAL_PORT, ZMP_TINY_VECTOR<PELK>, VOK_ATOM_LOGICAL_PORT_OPS>;

  // component: every map empty with its first bucket count, the flag 1.
  inline R5T_DIRECTIVES();
  virtual ~R5T_DIRECTIVES();
  R5T_DIRECTIVES(const R5T_DIRECTIVES&) = delete;
  R5T_DIRECTIVES& operator=(const R5T_DIRECTIVES&) = delete;

  // component: empties the port's mapping; false when it had none. A
  // reference count already 0 is an internal error.
  inline bool delete_atom_mapping(const VOK_ATOM_LOGICAL_PORT& port);

  // host: an internal error when the attached netlist is read-only.
  void assert_modifiable(const VOK_ATOM_LOGICAL_PORT& port) const;
  void set_atom_netlist(const VOK_ATOM_NETLIST* netlist) { m_netlist = netlist; }
  // host: appends a cell port to the port's mapping; the atom's count grows
  // when the port had none.
  void add_atom_mapping(const VOK_ATOM_LOGICAL_PORT& port, PELK cell_port);
  // data: the port's mapping (null when the port was never looked at).
  const ZMP_TINY_VECTOR<PELK>* get_atom_mapping(const VOK_ATOM_LOGICAL_PORT& port) const {
    return m_mappings.lookup(port);
  }
  const MAPPING_MAP& get_mappings() const { return m_mappings; }
  // data: the number of mapped ports of an atom (0 when none).
  unsigned get_reference_count(unsigned atom_id) const {
    const unsigned* c = m_ref_counts.lookup(atom_id);
    return c ? *c : 0;
  }
  bool has_reference_count_entry(unsigned atom_id) const { return m_ref_counts.lookup(atom_id) != nullptr; }
  std::uint8_t get_flag() const { return m_flag; }
  // host: writes one line per mapped port of the netlist's atoms ("atom
  // port index -> cell ports") into the named file, truncating it.
  void debug_dump(const VOK_ATOM_NETLIST& netlist, const std::string& file_name) const;
  // host: `out` receives the entries (mappings with their counts, port and
  // atom parameters) of the atoms the netlist lists, found by id.
  void filter(const VOK_ATOM_NETLIST& netlist, R5T_DIRECTIVES& out) const;
  // host: adds the other directives' entries; a port mapped here keeps its
  // mapping.
  void merge(const R5T_DIRECTIVES& other);

private:
  MAPPING_MAP m_mappings;
  ZMP_HASH_LITE<PORT_PELK_PAIR, PELK, PORT_PELK_PAIR_OP> m_port_parameters;
  ZMP_HASH_LITE<ATOM_PELK_PAIR, unsigned long long, ATOM_PELK_PAIR_OP> m_atom_parameters;
  std::set<unsigned> m_locked_atoms;
  std::set<unsigned> m_touched_atoms;
  ZMP_HASH_LITE<unsigned, unsigned> m_ref_counts;
  std::uint8_t m_flag;
  const VOK_ATOM_NETLIST* m_netlist = nullptr;
};

#include "r5t_directives_sys.h"
