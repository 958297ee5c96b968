#pragma once
// data: the host's own retiming environment (what WEXAN_ENV::get_yun_env
// answers on a device with the retiming flow): the world's facade and
// netlist, no modification utility, every setting false.
#include "yun/yun_utility.h"

class HOST_API HOST_YUN_ENV : public YUN_ENV {
public:
  ~HOST_YUN_ENV() override;
  CMP_FACADE* get_cmp_facade() override;
  VOK_ATOM_NETLIST* get_atom_netlist() override;
  SIV_ATOM_MOD_UTILITY* get_atom_mod_utility() override { return nullptr; }
  bool get_bool_data(BOOL_DATA) const override { return false; }
  bool copy_atom_location_constraints(const VOK_ATOM_NODE* from, VOK_ATOM_NODE* to, bool a, bool b) override;
};
