#pragma once
// data: the compile-database model of a state's atom-to-cell directives
// (type "r5t"): the directives it owns and the netlist they refer to. A
// model may instead stand for the process-wide metadata store (the atom
// metadata read by partition keep sets); it owns nothing then.
#include "common/host_api.h"
#include "kiv/kiv_model.h"

class R5T_DIRECTIVES;
class R5T_INTERFACE;
class VOK_ATOM_NETLIST;

class HOST_API R5T_KIV_MODEL : public KIV_MODEL {
public:
  static const char* const s_model_type_string;  // "r5t"
  // Owns the directives (may be null).
  explicit R5T_KIV_MODEL(R5T_DIRECTIVES* directives);
  explicit R5T_KIV_MODEL(R5T_INTERFACE* metadata);
  ~R5T_KIV_MODEL() override;
  R5T_DIRECTIVES* get_r5t() const { return m_directives; }
  R5T_INTERFACE* get_metadata() const { return m_metadata; }
  VOK_ATOM_NETLIST* get_atom_netlist() const { return m_netlist; }
  void set_atom_netlist(VOK_ATOM_NETLIST* netlist);

private:
  R5T_DIRECTIVES* m_directives = nullptr;
  R5T_INTERFACE* m_metadata = nullptr;
  VOK_ATOM_NETLIST* m_netlist = nullptr;
};
