#pragma once
// The fitter design and the engineering-change-order (ECO) state of the
// environment. Both belong to the world.
#include <cstdint>
#include <list>
#include "common/host_api.h"
#include "tibex/tibex_location_constraint.h"

class VOK_ATOM_NODE;
class OMZ_INSTANCE_NAME;
class VOK_ATOM_ITERM;
class VOK_ATOM_OTERM;

class HOST_API WEXAN_DESIGN {
public:
  WEXAN_DESIGN();
  virtual ~WEXAN_DESIGN();
  WEXAN_DESIGN(const WEXAN_DESIGN&) = delete;
  WEXAN_DESIGN& operator=(const WEXAN_DESIGN&) = delete;

  // data: the world's design (never null).
  static WEXAN_DESIGN* current();

  // recorded: drops the location constraints loaded so far; scripted,
  // default true.
  bool clear_existing_location_constraints();
  // recorded: loads the atom information that needs the device's basic
  // information: the project's location constraints come back; scripted,
  // default true.
  bool load_atom_information_which_requires_basic_information_load();

  // data: a copy of the atom's location constraint (empty when it has none).
  TIBEX_LOCATION_CONSTRAINT get_atom_location_constraint(int atom_id) const;
  void set_atom_location_constraint(int atom_id, const TIBEX_LOCATION_CONSTRAINT& c);
  // recorded: gives `to` the location constraint of `from`; true when done.
  bool copy_atom_location_constraints(const VOK_ATOM_NODE* from, VOK_ATOM_NODE* to, bool a, bool b);
  // recorded + algorithm: disconnects iterm from oterm (left open); nothing
  // when iterm is not driven by oterm.
  // recorded: reloads the design's basic atom information; records the
  // post-fit atom bits.
  void load_basic_atom_information();
  void set_post_fit_atom_bit_info();
  // algorithm (recorded): disconnects the input term from the output term
  // that drives it; nothing when it is driven by another term.
  static void break_connection_between_iterm_and_oterm(VOK_ATOM_OTERM* oterm, VOK_ATOM_ITERM* iterm);

  // data: the largest atom id of the design netlist (hierarchical; -1 when
  // empty). The flag is accepted for the callers' sake.
  int get_max_atom_id(bool flag) const;
  // data: the atom of that id anywhere in the design netlist, or null (ids
  // may have gaps).
  VOK_ATOM_NODE* get_atom_node(int atom_id) const;
  // algorithm: an FNV-1a hash of the atom ids, their connections and
  // locations, in hierarchical atom order.
  std::uint64_t get_cookie() const;
  // algorithm: writes one line per atom (id, kind, name, inputs and their
  // sources) to `path`; false when the file cannot be written.
  bool dump_current_atom_netlist_to_atm_file(const char* path) const;
  // algorithm: writes one line per placed atom (name and location) to `path`.
  bool dump_locations_annotated_on_atoms(const char* path) const;
  // algorithm: writes one line per atom with a location constraint to `path`.
  bool dump_user_location_constraints(const char* path) const;
  // recorded: writes the user location constraints back to the database.
  void write_user_location_constraints_to_db();
  // recorded: drops the soft-locked constraints.
  void destroy_all_softlocked_constraints(bool flag);
  // algorithm: a new name "<base>~<suffix>", with "~N" (N = 1, 2, ...)
  // appended when an atom of the design or an earlier synthesized name has
  // it. The design keeps the name until the world is reset; atoms share it.
  OMZ_INSTANCE_NAME* create_unique_synthesized_name(const OMZ_INSTANCE_NAME* base, const char* suffix, bool flag);
  // recorded: registers an atom the caller added to a netlist of the design.
  void insert_atom(VOK_ATOM_NODE* atom, bool flag);
  // recorded + algorithm: the design forgets the atom (its location
  // constraint goes); the atom itself stays in its netlist and is not freed
  // (the caller removes it). The flag is only recorded.
  void delete_atom_no_free(VOK_ATOM_NODE* atom, bool flag);
  // recorded: refreshes the atom information after a depopulation that
  // duplicated high-fanout signals.
  void update_atom_info_for_high_fanout_depop();
  // recorded: empties the design's list of atoms changed by early retiming.
  void clear_early_retime_atoms();
  // recorded: takes the atoms early retiming changed into the design.
  void update_atom_info_for_early_retime(const std::list<VOK_ATOM_NODE*>& atoms, bool flag);
  // algorithm (recorded): connects the input term as a fanout of the output
  // term.
  void insert_fanout(VOK_ATOM_ITERM* iterm, VOK_ATOM_OTERM* oterm);
};

class HOST_API WEXAN_ECO {
public:
  WEXAN_ECO();
  virtual ~WEXAN_ECO();
  WEXAN_ECO(const WEXAN_ECO&) = delete;
  WEXAN_ECO& operator=(const WEXAN_ECO&) = delete;

  // data: the world's ECO state (never null).
  static WEXAN_ECO* current();

  // data: the compile is an ECO compile (default false).
  bool is_eco_compile() const { return m_eco_compile; }
  // data: the ECO compile skips placement and routing (default false).
  bool eco_skip_vpr() const { return m_skip_vpr; }
  void set(bool eco_compile, bool skip_vpr) {
    m_eco_compile = eco_compile;
    m_skip_vpr = skip_vpr;
  }

private:
  bool m_eco_compile = false;
  bool m_skip_vpr = false;
};
