#pragma once
// The atom-modification utility the environment makes for an algorithm
// (WEXAN_ENV::create_atom_mod_utility_for_algorithm); the caller owns it and
// deletes it (live counter "SIV_ATOM_MOD_UTILITY"). The algorithm number is
// only recorded; the edits are real.
#include "common/host_api.h"

class VOK_ATOM_ITERM;
class WEXAN_PIZ_TABLE;

class HOST_API SIV_ATOM_MOD_UTILITY {
public:
  SIV_ATOM_MOD_UTILITY(int algorithm, WEXAN_PIZ_TABLE* table);
  virtual ~SIV_ATOM_MOD_UTILITY();
  SIV_ATOM_MOD_UTILITY(const SIV_ATOM_MOD_UTILITY&) = delete;
  SIV_ATOM_MOD_UTILITY& operator=(const SIV_ATOM_MOD_UTILITY&) = delete;

  int get_algorithm() const { return m_algorithm; }

  // algorithm (recorded): connects the input to its netlist's ground (it
  // becomes used, connected and driven by the constant-0 term).
  virtual void connect_iterm_to_gnd(VOK_ATOM_ITERM* iterm);
  // algorithm (recorded): marks the input used or unused; an unused input is
  // also left without its source and unconnected.
  virtual void set_iterm_in_use(VOK_ATOM_ITERM* iterm, bool in_use);

private:
  int m_algorithm;
  WEXAN_PIZ_TABLE* m_table;
};
