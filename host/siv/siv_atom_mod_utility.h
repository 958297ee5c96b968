#pragma once
// The atom-modification utility: made by
// WEXAN_ENV::create_atom_mod_utility_for_algorithm and owned by the caller.
#include "common/host_api.h"

class VOK_ATOM_NODE;

class HOST_API SIV_ATOM_MOD_UTILITY {
public:
  // recorded: the algorithm number is only kept.
  explicit SIV_ATOM_MOD_UTILITY(int algorithm);
  virtual ~SIV_ATOM_MOD_UTILITY();
  SIV_ATOM_MOD_UTILITY(const SIV_ATOM_MOD_UTILITY&) = delete;
  SIV_ATOM_MOD_UTILITY& operator=(const SIV_ATOM_MOD_UTILITY&) = delete;

  int get_algorithm() const { return m_algorithm; }
  // recorded: the utility's two settings.
  void set_options(int a, int b);
  // recorded + algorithm: disconnects the atom, takes it out of its netlist
  // and deletes it.
  void remove_node(VOK_ATOM_NODE* atom, bool flag);

private:
  int m_algorithm;
};

namespace host::siv {
// Utilities alive now (tests check that callers free theirs).
HOST_API int live_utilities();
}  // namespace host::siv
