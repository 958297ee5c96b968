// Removes the wires of low-power clock (LPCLK) buffers' routing trees that
// lead to no sink. Wires are handed to the modifier's erase_leaf children
// first (post order), so a chain that ends in nothing goes deepest wire
// first and every wire on the way to a terminal stays.
#include "velmo_dangling_clock_routing_deletion.h"

#include "cfg/cfg.h"
#include "velmo_debug.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_routing.h"
#include "w3j3/w3j3_port_map_db.h"
#include "wexan/wexan_env.h"
#include "zel/zel_clkbuf_util.h"

namespace {
constexpr int l_lpclk_clock_type = 7;

// The buffer's clock output: its first output terminal.
VOK_ATOM_OTERM* l_clock_output(VOK_ATOM_NODE* atom) {
  for (VOK_ATOM_OTERM* oterm : atom->oterms()) return oterm;
  return nullptr;
}
}  // namespace

void velmo_delete_dangling_lpclk_routing(WEXAN_ENV* env) {
  const bool verbose = cfg_is_on("velmo_verbose_dangling_routing_cleanupaf", false);
  VOK_RE_ROUTING& routing = *env->get_chip_db_entry()->get_routing();
  const VOK_RE_ROUTING_ZOTA_SKIP skip;
  bool handed_over = false;
  {
    VOK_RE_ROUTING_MODIFIER modifier(routing, "velmo_kx_dangling_clock_cleanup", false, false);
    for (VOK_ATOM_NODE* atom : env->get_atom_netlist()->nodes(VOK_TRAVERSE_HIERARCHICAL)) {
      if (!atom->is_clkbuf() || ZEL_CLKBUF_UTIL::get_clock_type(atom) != l_lpclk_clock_type) continue;
      if (verbose) msg_vdebug_impl(2, "Processing LPCLK CLKBUF atom: %d", atom->get_id());
      VOK_ATOM_OTERM* oterm = l_clock_output(atom);
      if (oterm == nullptr) continue;
      const int source = routing.get_oterm_mapping(oterm, W3J3_LOGICAL_PORT_FACTORY::create(oterm), skip);
      if (source < 0) continue;
      for (auto it = routing.begin_post_order_ids(source, skip); !it.at_end(); ++it) {
        if (routing.get_value(*it) >= 0) continue;  // terminals (the source included) stay
        modifier.erase_leaf(*it);
        handed_over = true;
      }
    }
    if (handed_over) env->indicate_that_atom_netlist_is_modified();
  }
}
