#pragma once
// The atom-to-cell directive store: a process-wide singleton.
#include <map>
#include <utility>

#include "common/host_api.h"
#include "pelk/pelk_symbol.h"

class HOST_API R5T_INTERFACE {
public:
  // recorded: the singleton, created on first use (belongs to the world).
  static R5T_INTERFACE* get_or_create_instance();
  R5T_INTERFACE();
  virtual ~R5T_INTERFACE();
  R5T_INTERFACE(const R5T_INTERFACE&) = delete;
  R5T_INTERFACE& operator=(const R5T_INTERFACE&) = delete;

  // data: an atom's metadata item (symbol pairs); the null symbol when the
  // atom has no such item.
  PELK get_atom_metadata(int atom_id, PELK key) const;
  void set_atom_metadata(int atom_id, PELK key, PELK value);

private:
  std::map<std::pair<int, int>, PELK> m_metadata;
};
