#pragma once
// The atom-to-cell directive store: a process-wide singleton.
#include <map>
#include <memory>
#include <tuple>
#include <vector>
#include <utility>
#include "common/host_api.h"
#include "pelk/pelk_symbol.h"

class VOK_ATOM_ITERM;
class VOK_ATOM_OTERM;
class VOK_ATOM_NETLIST;
class R5T_DIRECTIVES;

class HOST_API R5T_INTERFACE {
public:
  // recorded: the singleton, created on first use (belongs to the world).
  static R5T_INTERFACE* get_or_create_instance();
  R5T_INTERFACE();
  virtual ~R5T_INTERFACE();
  R5T_INTERFACE(const R5T_INTERFACE&) = delete;
  R5T_INTERFACE& operator=(const R5T_INTERFACE&) = delete;

  // data: the singleton (created on first use, not recorded).
  static R5T_INTERFACE* get_instance();
  // recorded: makes a new, empty singleton; drops the singleton (the next
  // get_instance makes one again).
  static R5T_INTERFACE* create_instance();
  static void destroy_instance();
  // The process-wide directives: the merge of the partitions' directives.
  R5T_DIRECTIVES* get_directives() const { return m_directives.get(); }
  // recorded: adds a partition's directives; `out` receives the entries of
  // the netlist's atoms.
  void merge(const R5T_DIRECTIVES& directives);
  void filter(const VOK_ATOM_NETLIST& netlist, R5T_DIRECTIVES& out) const;
  // data: the atom's metadata value for the key; a null symbol when absent.
  PELK get_atom_metadata(int atom_id, PELK key) const;
  void set_atom_metadata(int atom_id, PELK key, PELK value);
  // data: every (key, value) pair of an atom's metadata, in key order.
  std::vector<std::pair<PELK, PELK>> get_atom_metadata(int atom_id) const;

  // data: the cell ports an input term is mapped to (empty when none).
  std::vector<PELK> get_atom_mapping(const VOK_ATOM_ITERM* iterm) const;
  void set_atom_mapping(const VOK_ATOM_ITERM* iterm, std::vector<PELK> cells);

  // ---- one-cell mappings of input and output terms (periphery-core
  // placement); `flag` is recorded in the call log only.
  void set_atom_mapping(const VOK_ATOM_ITERM* iterm, PELK cell, bool flag);
  void set_atom_mapping(const VOK_ATOM_OTERM* oterm, PELK cell, bool flag);
  // data: the cell port an output term is mapped to (null when none).
  PELK get_atom_mapping(const VOK_ATOM_OTERM* oterm) const;

private:
  std::map<std::pair<int, int>, std::pair<PELK, PELK>> m_metadata;  // (atom id, key index) -> (key, value)
  std::map<std::tuple<int, int, int>, std::vector<PELK>> m_mappings;  // (atom id, port type, index)
  std::map<std::tuple<int, int, int>, PELK> m_out_mappings;           // (atom id, port type, index)
  std::unique_ptr<R5T_DIRECTIVES> m_directives;
};
