// The legality engine's re-route forests and their current delays.
#include <algorithm>
#include <set>
#include <vector>

#include "dux/dux.h"
#include "hov/hov_utility.h"
#include "kem/kem_netlist.h"
#include "zel/zel_atom_util.h"

namespace {
// A pipeline register's data input (port type 20, index 0).
bool l_is_pipeline_data_input(const VOK_ATOM_ITERM* t) {
  const VOK_ATOM_NODE* a = t ? t->get_my_node() : nullptr;
  return ZEL_ATOM_UTIL::is_zota_marked_reg(a) && a->get_input_term_by_type(static_cast<DB_INPUT_PORT_TYPE>(20), 0) == t;
}
}  // namespace

JUK::FOREST<int, VOK_ATOM_ITERM*> DUX_UTIL::get_iterm_forest_for_reroute(VOK_ATOM_ITERM* iterm) {
  JUK::FOREST<int, VOK_ATOM_ITERM*> forest;
  if (iterm == nullptr) return forest;
  const int root = forest.create_node(iterm);
  forest.append_root(root);
  std::set<const VOK_ATOM_NODE*> seen;  // a ring of pipeline registers ends
  std::vector<int> stack{root};
  while (!stack.empty()) {
    const int id = stack.back();
    stack.pop_back();
    VOK_ATOM_ITERM* t = forest.payload(id);
    if (!l_is_pipeline_data_input(t) || !seen.insert(t->get_my_node()).second) continue;
    VOK_ATOM_NODE* reg = t->get_my_node();
    std::vector<int> children;
    for (std::size_t i = 0; i < reg->get_oterm_slot_count(); ++i) {
      VOK_ATOM_OTERM* o = reg->get_oterm_slot(i);
      if (o == nullptr) continue;
      for (VOK_ATOM_ITERM* f : o->fanout(VOK_TRAVERSE_HIERARCHICAL)) {
        const int c = forest.create_node(f);
        forest.append_child(id, c);
        children.push_back(c);
      }
    }
    // Depth first, children in fanout order.
    stack.insert(stack.end(), children.rbegin(), children.rend());
  }
  return forest;
}

int DUX::current_delay_into(const VOK_ATOM_ITERM* t) {
  const KEM_NETLIST* kem = host::hov::current_kem_netlist();
  const KEM_EDGE* e = kem ? kem->get_ic_edge_to_iterm(t) : nullptr;
  return e ? kem->get_edge_delay_ps(*e, -1) : 0;
}

const std::vector<KORRIN::DELAY_BUDGET>* DUX::budgets_for(const DUX_IMPLEMENT_ARGS& args, VOK_ATOM_ITERM* t,
                                                          std::vector<KORRIN::DELAY_BUDGET>& derived) {
  if (args.delay_budgets.empty()) return nullptr;
  const auto own = args.delay_budgets.find(t);
  if (own != args.delay_budgets.end()) return &own->second;
  if (!l_is_pipeline_data_input(t)) return nullptr;
  // The hop into the chain's first register: the tightest of its leaves'.
  const JUK::FOREST<int, VOK_ATOM_ITERM*> forest = DUX_UTIL::get_iterm_forest_for_reroute(t);
  bool any = false;
  KORRIN::DELAY_BUDGET hop;
  for (auto it = forest.nodes_begin(); it != forest.nodes_end(); ++it) {
    if (forest.first_child(it.id()) != -1 || forest.parent(it.id()) == -1) continue;
    const auto leaf = args.delay_budgets.find(forest.payload(it.id()));
    if (leaf == args.delay_budgets.end() || leaf->second.empty()) continue;
    hop.first = std::max(hop.first, leaf->second.front().first);
    hop.second = std::min(hop.second, leaf->second.front().second);
    any = true;
  }
  if (!any) return nullptr;
  derived.assign(1, hop);
  return &derived;
}

bool DUX::get_current_delays_for_iterm_forest(
    const JUK::FOREST<int, VOK_ATOM_ITERM*>& forest,
    ZMP::DENSE_HASH<VOK_ATOM_ITERM*, std::vector<KORRIN::DELAY_BUDGET>>& budgets) {
  for (auto it = forest.nodes_begin(); it != forest.nodes_end(); ++it) {
    const int id = it.id();
    if (forest.payload(id) == nullptr) return false;
    if (forest.first_child(id) != -1) continue;
    std::vector<int> chain;  // the leaf up to its root
    for (int n = id; n != -1; n = forest.parent(n)) chain.push_back(n);
    std::vector<KORRIN::DELAY_BUDGET> b(chain.size());
    for (std::size_t k = 0; k < chain.size(); ++k)
      b[k].first = current_delay_into(forest.payload(chain[chain.size() - 1 - k]));
    budgets[forest.payload(id)] = std::move(b);
  }
  return true;
}
