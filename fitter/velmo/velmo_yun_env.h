#pragma once
// The fitter as the retiming engine sees it. Built on the stack by each engine
// run with its settings; create_yun_utility loads the engine library and
// makes the engine's utility over this environment, which must therefore
// outlive the utility.
#include "yun/yun_utility.h"

class CMP_FACADE;
class SIV_ATOM_MOD_UTILITY;
class VOK_ATOM_NETLIST;
class VOK_ATOM_NODE;
class WEXAN_DESIGN;
class WEXAN_PIZ_TABLE;

class VELMO_YUN_ENV : public YUN_ENV {
public:
  VELMO_YUN_ENV() = default;
  // Frees the atom-modification utility made for the engine run.
  ~VELMO_YUN_ENV() override;
  VELMO_YUN_ENV(const VELMO_YUN_ENV&) = delete;
  VELMO_YUN_ENV& operator=(const VELMO_YUN_ENV&) = delete;

  CMP_FACADE* get_cmp_facade() override { return m_cmp; }
  VOK_ATOM_NETLIST* get_atom_netlist() override { return m_atom_netlist; }
  SIV_ATOM_MOD_UTILITY* get_atom_mod_utility() override { return m_amu; }
  bool get_bool_data(YUN_ENV::BOOL_DATA d) const override { return m_bool_data[d]; }
  bool copy_atom_location_constraints(const VOK_ATOM_NODE* from, VOK_ATOM_NODE* to, bool a, bool b) override;

  // The settings the engine reads with get_bool_data.
  void set_bool_data(YUN_ENV::BOOL_DATA d, bool value) { m_bool_data[d] = value; }

  // A new engine utility over this environment, owned by the caller.
  YUN_UTILITY* create_yun_utility(WEXAN_PIZ_TABLE* report_table);

private:
  CMP_FACADE* m_cmp = nullptr;
  VOK_ATOM_NETLIST* m_atom_netlist = nullptr;
  SIV_ATOM_MOD_UTILITY* m_amu = nullptr;
  WEXAN_DESIGN* m_design = nullptr;
  bool m_bool_data[3] = {false, false, false};
};
