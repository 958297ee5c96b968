#include "siv/siv_atom_mod_utility.h"

#include <atomic>

#include "common/host_call_log.h"
#include "vok/vok_atom_netlist.h"

namespace {
std::atomic<int> l_live{0};
}

SIV_ATOM_MOD_UTILITY::SIV_ATOM_MOD_UTILITY(int algorithm) : m_algorithm(algorithm) {
  host::log_call("SIV_ATOM_MOD_UTILITY::SIV_ATOM_MOD_UTILITY", algorithm);
  ++l_live;
}

SIV_ATOM_MOD_UTILITY::~SIV_ATOM_MOD_UTILITY() {
  host::log_call("SIV_ATOM_MOD_UTILITY::~SIV_ATOM_MOD_UTILITY");
  --l_live;
}

void SIV_ATOM_MOD_UTILITY::set_options(int a, int b) { host::log_call("SIV_ATOM_MOD_UTILITY::set_options", a, b); }

void SIV_ATOM_MOD_UTILITY::remove_node(VOK_ATOM_NODE* atom, bool flag) {
  host::log_call("SIV_ATOM_MOD_UTILITY::remove_node", host::vok::arg(atom), flag);
  if (atom == nullptr || atom->get_parent_netlist() == nullptr) return;
  atom->get_parent_netlist()->remove(atom);
}

namespace host::siv {
int live_utilities() { return l_live.load(); }
}  // namespace host::siv
