#pragma once
// The post-route delay annotator: brings parts of the timing netlist up to
// date after the routing or the cells of some atoms changed, and controls
// which timing models (corners) are loaded.
#include <vector>

#include "common/host_api.h"
#include "kem/kem_timing_model.h"

class CMP_FACADE;
class VOK_ATOM_NODE;
class VOK_ATOM_OTERM;
class VOK_ATOM_ITERM;

class HOST_API XAB_DELAY_ANNOTATOR {
public:
  // recorded: an annotator for the facade's design; the flag is recorded
  // only.
  XAB_DELAY_ANNOTATOR(CMP_FACADE* cmp, bool flag);
  virtual ~XAB_DELAY_ANNOTATOR();
  XAB_DELAY_ANNOTATOR(const XAB_DELAY_ANNOTATOR&) = delete;
  XAB_DELAY_ANNOTATOR& operator=(const XAB_DELAY_ANNOTATOR&) = delete;

  // recorded + algorithm: rebuilds, in the timing netlist in memory, the
  // cells of the atoms named by the two atom lists and the id list (an atom
  // no longer in the netlist loses its cell) with the nets that touch them,
  // the nets of the output terms (every sink's connection, its routed delay
  // and the routing hops read again) and the connections into the input
  // terms; then updates the analysis of the loaded corners over what changed.
  // Pending taints are left alone. Nothing happens without a timing netlist.
  void rebuild_netlist_for_atoms(const std::vector<VOK_ATOM_NODE*>& atoms,
                                 const std::vector<VOK_ATOM_NODE*>& changed_atoms,
                                 const std::vector<unsigned>& atom_ids,
                                 const std::vector<VOK_ATOM_OTERM*>& oterms,
                                 const std::vector<VOK_ATOM_ITERM*>& iterms);

  // recorded + algorithm: loads the listed corners that the timing netlist
  // lacks (the loaded ones stay, the current corner stays current) and
  // analyses the netlist again. False when there is no timing netlist.
  bool build_multicorner(int invoke_mode, bool flag1, const std::vector<KEM_TIMING_MODEL>& models, bool flag2);

  // data: whether the timing models may be unloaded (default true;
  // host::xab::set_unload_all_models_allowed).
  static bool is_unload_all_models_allowed();
  // recorded: unloads the delay models (the timing netlist keeps its
  // corners; models are reloaded on demand).
  static void unload_all_models(bool flag);

private:
  CMP_FACADE* m_cmp;
};

namespace host::xab {
HOST_API void set_unload_all_models_allowed(bool allowed);
}  // namespace host::xab
