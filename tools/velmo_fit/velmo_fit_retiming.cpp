#include "velmo_fit_retiming.h"

#include "kem/kem_netlist.h"
#include "vok/vok_atom_netlist.h"
#include "zel/zel_atom_util.h"

namespace velmo_fit {

namespace {
int connected_inputs(const VOK_ATOM_NODE* a) {
  int n = 0;
  for (const VOK_ATOM_ITERM* t : a->citerms()) n += t->get_source(VOK_TRAVERSE_HIERARCHICAL) != nullptr;
  return n;
}
}  // namespace

RETIMING_STATE retiming_state() {
  RETIMING_STATE s;
  for (const VOK_ATOM_NODE* a : host::kem::timing_atoms(host::vok::top_netlist())) {
    if (a->is_ff()) s.registers.insert(a->get_id());
    if (ZEL_ATOM_UTIL::is_zota_marked_reg(a) || (a->is_ff() && a->is_placed() && (a->get_location_gid() & 0x80000000u)))
      s.pipeline_registers.insert(a->get_id());
    else if (a->is_ff() && ZEL_ZOTA_UTIL::is_ff_bypassed(a))
      s.bypassed.insert(a->get_id());
    else if (a->is_lcell_comb())
      s.luts.insert(a->get_id());
  }
  return s;
}

RETIMING_CHANGES retiming_changes(const RETIMING_STATE& before) {
  RETIMING_CHANGES c;
  const RETIMING_STATE now = retiming_state();
  // Retiming creates pipeline registers only; a pipeline register gone is
  // deleted.
  for (int id : now.registers) c.pipeline_created += before.registers.count(id) == 0;
  for (int id : before.pipeline_registers) c.pipeline_deleted += now.registers.count(id) == 0;
  for (int id : now.bypassed) c.lab_bypassed += before.bypassed.count(id) == 0;
  for (int id : before.bypassed) c.lab_reenabled += now.bypassed.count(id) == 0;
  VOK_ATOM_NETLIST* top = host::vok::top_netlist();
  for (int id : now.luts)
    if (before.luts.count(id) == 0)
      if (const VOK_ATOM_NODE* a = top->get_atom_by_id(id); a && connected_inputs(a) == 1) ++c.wire_luts;
  return c;
}

nlohmann::ordered_json retiming_report(const RETIMING_CHANGES& c) {
  return {{"pipeline_registers_created", c.pipeline_created},
          {"pipeline_registers_deleted", c.pipeline_deleted},
          {"lab_registers_bypassed", c.lab_bypassed},
          {"lab_registers_reenabled", c.lab_reenabled},
          {"wire_luts", c.wire_luts}};
}

}  // namespace velmo_fit
