#pragma once
// recorded: the resynthesis engine's environment over an atom netlist; its
// statistics report is recorded with its label.
#include <string>
#include <unordered_map>
#include <vector>

#include "common/host_api.h"

class CMP_FACADE;
class SIV_ATOM_MOD_UTILITY;
class VOK_ATOM_NETLIST;
class VOK_ATOM_NODE;
class VOK_ATOM_OTERM;
class WEXAN_HOV_UTILITY;

// Per-atom fit information handed to the engine: a restricted (don't touch)
// flag, a clock skew and a location (-1 when not given).
struct BELQ_FIT_INFO {
  bool restricted = false;
  int skew = 0;
  float x = -1.0f;
  float y = -1.0f;
};
using BELQ_FIT_INFO_MAP = std::unordered_map<VOK_ATOM_NODE*, BELQ_FIT_INFO>;

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
  // recorded: hands the netlist, its timing and the fit information over.
  void export_netlist(WEXAN_HOV_UTILITY* hov, const BELQ_FIT_INFO_MAP* fit);
  // recorded and scripted ("belq_resynthesize", default true): one
  // resynthesis of the given type (0 area recovery, 1 pure timing, 2 kavu).
  bool resynthesize(int type);
  // recorded and scripted: the atoms the last resynthesis added, deleted and
  // changed (host::belq::set_import_result; empty by default).
  void import_netlist(std::vector<VOK_ATOM_NODE*>* added, std::vector<VOK_ATOM_NODE*>* deleted,
                      std::vector<VOK_ATOM_NODE*>* changed);

private:
  VOK_ATOM_NETLIST* m_netlist;
};

// data: the "belq_debug" switch.
HOST_API bool belq_debug_is_on();
// algorithm: the engine's delay penalty of a driver's fan-out: 5 ps per
// load beyond the first.
HOST_API int belq_get_fanout_delay_penalty(const VOK_ATOM_OTERM* oterm);

namespace host::belq {
// The next import's lists (taken once; cleared by the host reset).
HOST_API void set_import_result(std::vector<VOK_ATOM_NODE*> added, std::vector<VOK_ATOM_NODE*> deleted,
                                std::vector<VOK_ATOM_NODE*> changed);
// The type of the last resynthesis and the fit information of the last export.
HOST_API int last_resynthesis_type();
HOST_API const BELQ_FIT_INFO_MAP& last_export();
}  // namespace host::belq
