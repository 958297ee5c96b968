#pragma once
// recorded: the resynthesis engine's environment over an atom netlist; its
// statistics report is recorded with its label.
#include <string>

#include "common/host_api.h"

class CMP_FACADE;
class SIV_ATOM_MOD_UTILITY;
class VOK_ATOM_NETLIST;

class HOST_API BELQ_ENV {
public:
  // recorded: built on the netlist; the facade, modification utility and
  // delay model may be null.
  BELQ_ENV(VOK_ATOM_NETLIST* netlist, CMP_FACADE* cmp, SIV_ATOM_MOD_UTILITY* amu, void* delay_model);
  virtual ~BELQ_ENV();
  BELQ_ENV(const BELQ_ENV&) = delete;
  BELQ_ENV& operator=(const BELQ_ENV&) = delete;
  // recorded: the netlist statistics under the label.
  void report_stats(const std::string& label);

private:
  VOK_ATOM_NETLIST* m_netlist;
};
