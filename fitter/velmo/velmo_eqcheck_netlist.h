#pragma once
// The netlist files written around a netlist-changing step for an outside
// equivalence check: the design's root-partition netlist in text form under
// "eqcheck_vo", named after the project with a suffix ("_golden" before the
// step, "_revised" after it, or the step's own pair).
#include <string>

class CMP_FACADE;
class VOK_ATOM_NETLIST;

class VELMO_EQCHECK_NETLIST {
public:
  // Looks up the root partition's netlist (its active state) and the
  // project name.
  explicit VELMO_EQCHECK_NETLIST(CMP_FACADE* cmp);
  // Writes "eqcheck_vo/<project><suffix>.vo"; false when there is no root
  // netlist or the file cannot be written.
  bool write(const char* suffix) const;
  VOK_ATOM_NETLIST* get_netlist() const { return m_netlist; }

private:
  VOK_ATOM_NETLIST* m_netlist = nullptr;
  std::string m_name;
};
