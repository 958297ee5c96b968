#pragma once
// The atom-modification manager (ZEL_UTIL::get_atom_mod_manager): whether an
// operation may change an atom, answered from the atom-modification check's
// deny table, with the reasons.
#include "zel/zel_atom_util.h"
#include <cstdint>
#include <string>

#include "common/host_api.h"

class VOK_ATOM_NODE;

class HOST_API ZEL_ATOM_MOD_MANAGER {
public:
  // recorded: the manager is told the netlist is about to be edited.
  void notify();
  // data: the message-suppression switch; returns the previous value.
  bool set_suppress_messages(bool on);
  bool get_suppress_messages() const { return m_suppress; }
  // data: the modification-checking switch; returns the previous value.
  bool set_checking_enabled(bool on);
  bool is_checking_enabled() const { return m_checking; }
  // algorithm: operations 41 and 42 (other operations are allowed): false
  // when the deny table holds reasons for (atom, op) outside `ignorable`;
  // `reasons` (may be null) gets those reasons (0 when allowed). The client
  // tag is recorded.
  bool is_modification_allowed(const VOK_ATOM_NODE* atom, int op, const std::string& client,
                               std::uint64_t* reasons, std::uint64_t ignorable = 0) const;

private:
  bool m_suppress = false;
  bool m_checking = true;
};

class HOST_API ZEL_UTIL {
public:
  // data: the world's manager (never null).
  static ZEL_ATOM_MOD_MANAGER* get_atom_mod_manager();
};

