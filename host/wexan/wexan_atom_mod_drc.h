#pragma once
// data: the atom-modification design-rule check: whether an operation may
// change an atom. A deny table (atom, operation) -> reason mask; everything
// else is allowed. Reason bit 37 means dont-touch.
#include <cstdint>
#include <string>
#include <vector>
#include "common/host_api.h"

class VOK_ATOM_OTERM;

// data: one reason message of the check.
class HOST_API WEXAN_ATOM_MOD_DRC_MESSAGE {
public:
  explicit WEXAN_ATOM_MOD_DRC_MESSAGE(std::string text) : m_text(std::move(text)) {}
  const std::string& get_text() const { return m_text; }

private:
  std::string m_text;
};
class VOK_ATOM_NODE;
class WEXAN_HOV_UTILITY;

class HOST_API WEXAN_ATOM_MOD_DRC {
public:
  // data: the world's check (never null).
  static WEXAN_ATOM_MOD_DRC* current();

  // data: false when the table denies `op` on the atom; the reason mask is
  // written when asked for (0 when allowed).
  bool atom_mod_allowed_for_operation(int atom_id, int op, std::uint64_t* reason = nullptr) const;
  // The same for the atom owning the output term.
  bool atom_mod_allowed_for_operation(const VOK_ATOM_OTERM* oterm, int op, std::uint64_t* reason = nullptr) const;
  // data: the same with a tag and message list: `reasons` gets the deny mask;
  // with `messages`, one new message per denied reason bit ("<tag>: reason
  // <n>"), which the caller deletes. The flag is accepted for the callers'
  // sake.
  bool atom_mod_allowed_for_operation(int atom_id, int op, const char* tag, std::uint64_t* reasons,
                                      std::vector<WEXAN_ATOM_MOD_DRC_MESSAGE*>* messages, bool flag) const;
  // data: whether the atoms may be merged into one; true unless a pair of
  // them is vetoed (host::drc::veto_merge). The reason is not written.
  bool atoms_are_compatible_for_merge(const std::vector<VOK_ATOM_NODE*>* atoms, void* reason) const;
  // recorded: the don't-touch verification of the post-fit netlist.
  void verify_dont_touch();
  // recorded: writes the cached atom-modification information out.
  void write_cached_atom_mod_info(void* report);
  // recorded: brings the check up to date with the timing utility.
  void refresh_if_necessary(WEXAN_HOV_UTILITY* utility);
  // recorded: builds the sets the post-fit dont-touch verification uses.
  void build_dont_touch_verification_sets();
};

namespace host::drc {
// Denies operation `op` on the atom with the given reason mask.
HOST_API void deny(int atom_id, int op, std::uint64_t reason = 1);
// Vetoes merging the two atoms (either order).
HOST_API void veto_merge(int atom_a, int atom_b);
}  // namespace host::drc
