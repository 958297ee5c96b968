#include "xab/xab_delay_annotator.h"

#include "common/host_call_log.h"
#include "kem/kem_manager.h"
#include "sta/sta_analysis.h"

XAB_DELAY_ANNOTATOR::XAB_DELAY_ANNOTATOR(CMP_FACADE* cmp, bool flag) : m_cmp(cmp) {
  host::log_call("XAB_DELAY_ANNOTATOR::XAB_DELAY_ANNOTATOR", flag);
}

XAB_DELAY_ANNOTATOR::~XAB_DELAY_ANNOTATOR() { host::log_call("XAB_DELAY_ANNOTATOR::~XAB_DELAY_ANNOTATOR"); }

bool XAB_DELAY_ANNOTATOR::build_multicorner(int invoke_mode, bool flag1, const std::vector<KEM_TIMING_MODEL>& models,
                                            bool flag2) {
  std::string names;
  for (const KEM_TIMING_MODEL& m : models) names += (names.empty() ? "" : ",") + m.get_name();
  host::log_call("XAB_DELAY_ANNOTATOR::build_multicorner", invoke_mode, flag1, names, flag2);
  KEM_NETLIST* kem = KEM_MANAGER::get()->get_kem_netlist();
  if (!kem) return false;
  KEM_CORNER_MANAGER* cm = kem->get_corner_manager();
  const int current = cm->get_current_corner_id();
  const KEM_TIMING_MODEL keep = current >= 0 ? cm->get_loaded_corners()[static_cast<std::size_t>(current)] : KEM_TIMING_MODEL();
  bool added = false;
  for (const KEM_TIMING_MODEL& m : models)
    if (!cm->has_corner(m)) {
      cm->change_corner(m);
      added = true;
    }
  if (current >= 0) cm->change_corner(keep);
  if (added) {
    kem->annotate_current_corner();
    host::sta::analyze(kem);
  }
  return true;
}
