// The finalize stage, the operations that follow it and the sweep of dead
// sector-level clock gates.
#include <deque>
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "pelk/pelk_symbol.h"
#include "r5t/r5t_interface.h"
#include "siv/siv_atom_mod_utility.h"
#include "velmo_debug.h"
#include "velmo_expert.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_atom_term.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_routing.h"
#include "wexan/wexan_design.h"
#include "wexan/wexan_env.h"
#include "zel/zel_atom_dumper.h"
#include "zel/zel_atom_util.h"

namespace {

constexpr int k_sector_clock_gate_atom_type = 1850;

// The sweep keeps atoms it may not or must not delete: preserved logic, I/O
// and black boxes stay even when they fed only a dead clock gate.
bool l_sweepable(const VOK_ATOM_NODE* atom) {
  return atom != nullptr && atom->is_modifiable() && !atom->is_box() && !atom->is_io_pad() && !atom->is_io_ibuf() &&
         !atom->is_io_obuf() && !atom->is_pin() && !atom->is_port() && !atom->is_bidir();
}

}  // namespace

bool VELMO_EXPERT::final_cleanup() {
  static const bool skip = cfg_is_on("velmo_skip_sweeping_unused_slclkgates", false);
  static const bool verbose = cfg_is_on("velmo_final_cleanup_verbose_debug", false);
  if (skip) return true;

  R5T_INTERFACE* r5t = R5T_INTERFACE::get_or_create_instance();
  const PELK group_key = PELK::intern(4, "SECTOR_LEVEL_CLK_GATE_GROUP");
  std::vector<VOK_ATOM_NODE*> gates;
  for (VOK_ATOM_NODE* atom : m_env->get_atom_netlist()->nodes(VOK_TRAVERSE_HIERARCHICAL)) {
    if (atom->get_atom_type() == k_sector_clock_gate_atom_type &&
        !r5t->get_atom_metadata(atom->get_id(), group_key).is_null())
      gates.push_back(atom);
  }
  if (gates.empty()) return true;

  VOK_RE_ROUTING* routing = m_env->get_chip_db_entry()->get_routing();
  if (verbose) {
    routing->debug_dump<VOK_RE_ROUTING_ZOTA_SKIP>("stitched.before_final_cleanup_sweeping");
    ZEL_ATOM_DUMPER(m_env->get_chip_db_entry()).dump_current_atom_netlist("atom_netlist.before_final_cleanup_sweeping", true);
  }

  SIV_ATOM_MOD_UTILITY* mod_util = m_env->create_atom_mod_utility_for_algorithm(9, nullptr);
  {
    VOK_RE_ROUTING_MODIFIER modifier(*routing, "velmo_clkgate_cleanup", false, false);
    for (VOK_ATOM_NODE* gate : gates) {
      const VOK_ATOM_OTERM* clock_out = gate->get_output_term_by_type(DB_OUTPUT_PORT_CLK_GATE, 0);
      if (clock_out == nullptr || !clock_out->has_fanout_less_than(1, VOK_TRAVERSE_AS_STORED)) continue;
      if (!l_sweepable(gate)) continue;
      std::deque<VOK_ATOM_NODE*> queue{gate};
      while (!queue.empty()) {
        VOK_ATOM_NODE* node = queue.front();
        queue.pop_front();
        for (VOK_ATOM_ITERM* iterm : node->iterms()) {
          if (!iterm->is_connected()) continue;
          VOK_ATOM_OTERM* source = iterm->get_source(VOK_TRAVERSE_AS_STORED);
          if (source == nullptr) continue;
          WEXAN_DESIGN::break_connection_between_iterm_and_oterm(source, iterm);
          VOK_ATOM_NODE* driver = source->get_my_node();
          if (!l_sweepable(driver)) continue;
          bool driver_dead = true;
          for (const VOK_ATOM_OTERM* out : driver->coterms()) {
            if (!out->has_fanout_less_than(1, VOK_TRAVERSE_AS_STORED)) driver_dead = false;
          }
          if (driver_dead) queue.push_back(driver);
        }
        modifier.erase(node);
        mod_util->remove_node(node, false);
      }
    }
  }
  delete mod_util;

  if (verbose) {
    ZEL_ATOM_DUMPER(m_env->get_chip_db_entry()).dump_current_atom_netlist("atom_netlist.after_final_cleanup_sweeping", true);
    routing->debug_dump<VOK_RE_ROUTING_ZOTA_SKIP>("stitched.after_final_cleanup_sweeping");
  }
  return true;
}
