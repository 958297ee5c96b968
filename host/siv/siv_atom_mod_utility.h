#pragma once
// The atom-modification utility: edits of the atom netlist made on behalf of
// one algorithm. Made by WEXAN_ENV::create_atom_mod_utility_for_algorithm and
// owned by the caller.
#include <cstdint>
#include <string>
#include <vector>

#include "common/host_api.h"
#include "vok/vok_atom_term.h"

class VOK_ATOM_NODE;
class VOK_ATOM_NETLIST;
class WEXAN_PIZ_TABLE;

class HOST_API SIV_ATOM_MOD_UTILITY {
public:
  SIV_ATOM_MOD_UTILITY(int algorithm, WEXAN_PIZ_TABLE* table);
  virtual ~SIV_ATOM_MOD_UTILITY();
  SIV_ATOM_MOD_UTILITY(const SIV_ATOM_MOD_UTILITY&) = delete;
  SIV_ATOM_MOD_UTILITY& operator=(const SIV_ATOM_MOD_UTILITY&) = delete;

  // data: the algorithm number it was made for.
  int get_algorithm() const { return m_algorithm; }

  // algorithm: input (port, index) of `target` (created when absent) is
  // driven by the same signal as `source`: the same source term and
  // inversion, or the same constant; a null or unconnected `source` leaves
  // it open. Recorded; a row goes to the table.
  void copy_input_connection(const VOK_ATOM_ITERM* source, VOK_ATOM_NODE* target, DB_INPUT_PORT_TYPE port,
                             int index);
  // algorithm: connects output (oport, obit) of `src` to input (iport, ibit)
  // of `dst`, creating either term when absent. Recorded.
  void connect_output_to_input(VOK_ATOM_NODE* src, DB_OUTPUT_PORT_TYPE oport, int obit, VOK_ATOM_NODE* dst,
                               DB_INPUT_PORT_TYPE iport, int ibit);
  // algorithm: input (tport, tbit) of `to` (created when absent) takes over
  // the connection of input (fport, fbit) of `from` (its source and
  // inversion, or its constant), which is left open. Nothing happens when
  // `from` has no such input. Recorded; a row goes to the table.
  void move_input_connection(VOK_ATOM_NODE* from, DB_INPUT_PORT_TYPE fport, int fbit, VOK_ATOM_NODE* to,
                             DB_INPUT_PORT_TYPE tport, int tbit);
  // algorithm: every fan-out of output (fport, fbit) of `from` moves, in
  // order, to output (tport, tbit) of `to` (created when absent). Nothing
  // happens when `from` has no such output. The flag is only recorded.
  // Recorded; a row goes to the table.
  void move_output_fanout(VOK_ATOM_NODE* from, DB_OUTPUT_PORT_TYPE fport, int fbit, VOK_ATOM_NODE* to,
                          DB_OUTPUT_PORT_TYPE tport, int tbit, bool flag);
  // algorithm: leaves the input without its source, unconnected and unused;
  // a null input does nothing. The flag is only recorded. Recorded.
  void disconnect_input(VOK_ATOM_ITERM* iterm, bool flag);
  // recorded: the utility's two settings.
  void set_options(int a, int b);
  // algorithm: disconnects the atom, takes it out of its netlist and deletes
  // it (in batch mode: queues it for the flush). Recorded; a row goes to the
  // table.
  void remove_node(VOK_ATOM_NODE* atom, bool flag);
  // algorithm: connects the input to its netlist's ground (it becomes used,
  // connected and driven by the constant-0 term). Recorded; a row goes to
  // the table.
  void connect_iterm_to_gnd(VOK_ATOM_ITERM* iterm);
  // algorithm: marks the input used or unused; an unused input is also left
  // without its source and unconnected. Recorded; a row goes to the table.
  void set_iterm_in_use(VOK_ATOM_ITERM* iterm, bool in_use);

  // ---- pipeline-register merging and constant cells (siv_zota_edits.cpp)
  // algorithm: merges two equivalent registers into `kept`: accepted when
  // both are registers whose data, clock, enable and clear inputs carry the
  // same signals (iterms_are_identical) and whose power-up states agree;
  // `absorbed`'s loads move to `kept` and `absorbed` leaves the netlist.
  // Scripted refusal "SIV_ATOM_MOD_UTILITY::merge" (false refuses a pair the
  // rule accepts). Recorded.
  bool merge_zota_registers(VOK_ATOM_NODE* absorbed, VOK_ATOM_NODE* kept);
  // algorithm: a new combinational cell (atom type 247) named `name`, added
  // to `netlist`. Recorded; a row goes to the table.
  VOK_ATOM_NODE* create_comb_cell(VOK_ATOM_NETLIST* netlist, const std::string& name);
  // algorithm: sets the cell's 6-input LUT mask. Recorded.
  void set_lut_mask(VOK_ATOM_NODE* atom, std::uint64_t mask);
  // algorithm: gives `to` the location constraints of `from`. Recorded.
  void copy_location_constraints(const VOK_ATOM_NODE* from, VOK_ATOM_NODE* to);

  // ---- duplication (siv_zota_edits.cpp)
  // algorithm: a copy of the register in its netlist, named
  // "<name>~DUP~<copy id>", with the same inputs (sources, ties, inversions), power-up
  // and an unconnected data output (10, 0); *new_atom gets it. Returns
  // whether the duplication is legal: false for a non-register or when a
  // test scripts "SIV_ATOM_MOD_UTILITY::duplicate" false (no copy then).
  // Recorded.
  virtual bool duplicate_atom(const VOK_ATOM_NODE* atom, VOK_ATOM_NODE** new_atom, void* options);
  // algorithm: drives the input term from `oterm` (its inversion kept).
  // Recorded.
  virtual void reconnect_iterm(VOK_ATOM_ITERM* iterm, VOK_ATOM_OTERM* oterm, void* options);

  // ---- batch mode (siv_atom_mod_batch.cpp)
  // The algorithm number of the environment's algorithm-independent
  // utility (WEXAN_ENV::get_algorithm_independent_amu).
  static constexpr int ALGORITHM_INDEPENDENT = -1;
  // data: batch mode. While it is on, remove_node only queues the atom (it
  // stays in its netlist, connected, until the flush). Switching it off
  // flushes what is queued. Recorded.
  void set_batch_mode(bool on);
  bool is_batch_mode() const { return m_batch; }
  // algorithm: removes the queued atoms in the order they were queued (each
  // once), as remove_node does outside batch mode. Recorded.
  void flush();
  // data: the atoms queued for removal.
  const std::vector<VOK_ATOM_NODE*>& get_pending_removals() const { return m_pending; }

private:
  void add_row(const char* what, int atom_id);
  void remove_now(VOK_ATOM_NODE* atom);
  int m_algorithm;
  WEXAN_PIZ_TABLE* m_table;
  bool m_batch = false;
  std::vector<VOK_ATOM_NODE*> m_pending;
};

namespace host::siv {
// Utilities alive now (tests check that callers free theirs).
HOST_API int live_utilities();
}  // namespace host::siv
