#include "jopp/jopp_pr.h"

#include <map>
#include <set>

#include "common/host_call_log.h"
#include "common/host_world.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_atom_term.h"

namespace {
struct JOPP_STATE {
  std::map<unsigned, std::set<int>> site_clocks;  // target gid -> clock source atom ids
  std::map<int, std::set<int>> block_clocks;      // block atom id -> clock source atom ids
};
JOPP_STATE& state() { return host_world_slot<JOPP_STATE>(); }

host::raw_arg atom_arg(const VOK_ATOM_NODE* a) {
  return host::raw_arg{a ? "atom#" + std::to_string(a->get_id()) : std::string("null")};
}

// The register's clock: the id of the atom driving its clock input, -1 when
// it has none.
int clock_of(const VOK_ATOM_NODE* reg) {
  if (!reg) return -1;
  VOK_ATOM_ITERM* clk = reg->get_input_term_by_type(DB_INPUT_PORT_CLK, 0);
  if (!clk) return -1;
  VOK_ATOM_OTERM* src = clk->get_source(VOK_TRAVERSE_HIERARCHICAL);
  return src ? src->get_my_node()->get_id() : -1;
}

bool fits(const std::set<int>& used, int clock) {
  if (clock < 0 || used.count(clock)) return true;
  return static_cast<int>(used.size()) < JOPP::MAX_CLOCKS_PER_SITE;
}
}  // namespace

bool JOPP::can_use_clocks(const VOK_ATOM_NODE* reg, const VOK_ATOM_NODE* block) {
  bool ok = fits(state().block_clocks[block ? block->get_id() : -1], clock_of(reg));
  host::log_call("JOPP::can_use_clocks", atom_arg(reg), atom_arg(block), ok);
  return ok;
}

bool JOPP::can_use_clocks(const VOK_ATOM_NODE* reg, unsigned target_gid, const VOK_ATOM_NODE* block,
                                      std::list<std::string>* messages) {
  const std::set<int>& used = state().site_clocks[target_gid];
  bool ok = fits(used, clock_of(reg));
  if (!ok && messages)
    messages->push_back("Site " + std::to_string(target_gid) + " already uses " + std::to_string(used.size()) +
                        " clocks, the most a site may use");
  host::log_call("JOPP::can_use_clocks", atom_arg(reg), target_gid, atom_arg(block), ok);
  return ok;
}

void JOPP::use_clocks(const VOK_ATOM_NODE* reg, const VOK_ATOM_NODE* block) {
  host::log_call("JOPP::use_clocks", atom_arg(reg), atom_arg(block));
  int c = clock_of(reg);
  if (c >= 0) state().block_clocks[block ? block->get_id() : -1].insert(c);
}

void JOPP::use_clocks(const VOK_ATOM_NODE* reg, unsigned target_gid) {
  host::log_call("JOPP::use_clocks", atom_arg(reg), target_gid);
  int c = clock_of(reg);
  if (c >= 0) state().site_clocks[target_gid].insert(c);
}

int JOPP::clocks_at_site(unsigned target_gid) {
  auto& m = state().site_clocks;
  auto it = m.find(target_gid);
  return it == m.end() ? 0 : static_cast<int>(it->second.size());
}

int JOPP::clocks_at_block(int block_id) {
  auto& m = state().block_clocks;
  auto it = m.find(block_id);
  return it == m.end() ? 0 : static_cast<int>(it->second.size());
}
