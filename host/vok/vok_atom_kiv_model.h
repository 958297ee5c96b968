#pragma once
// data: the compile-database model of an atom netlist (type "atom"). It
// owns its netlist unless told otherwise (the design's top netlist belongs
// to the world); deleting an owned netlist first takes it away from a box
// that still shows it.
#include "common/host_api.h"
#include "kiv/kiv_model.h"

class VOK_ATOM_NETLIST;

class HOST_API VOK_ATOM_KIV_MODEL : public KIV_MODEL {
public:
  static const char* const s_model_type_string;  // "atom"
  VOK_ATOM_KIV_MODEL(VOK_ATOM_NETLIST* netlist, bool owned);
  ~VOK_ATOM_KIV_MODEL() override;
  VOK_ATOM_NETLIST* get_atom_netlist() const { return m_netlist; }
  bool owns_netlist() const { return m_owned; }

private:
  VOK_ATOM_NETLIST* m_netlist;
  bool m_owned;
};
