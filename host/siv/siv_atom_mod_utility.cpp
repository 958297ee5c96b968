#include "siv/siv_atom_mod_utility.h"

#include <string>

#include "common/host_call_log.h"
#include "thr/thr_drl.h"
#include "vok/vok_atom_netlist.h"
#include "wexan/wexan_utilities.h"

SIV_ATOM_MOD_UTILITY::SIV_ATOM_MOD_UTILITY(int algorithm, WEXAN_PIZ_TABLE* table)
    : m_algorithm(algorithm), m_table(table) {
  host::counters::add("SIV_ATOM_MOD_UTILITY", 1);
}

SIV_ATOM_MOD_UTILITY::~SIV_ATOM_MOD_UTILITY() { host::counters::add("SIV_ATOM_MOD_UTILITY", -1); }

void SIV_ATOM_MOD_UTILITY::connect_iterm_to_gnd(VOK_ATOM_ITERM* iterm) {
  host::log_call("SIV_ATOM_MOD_UTILITY::connect_iterm_to_gnd", m_algorithm, host::vok::arg(iterm));
  VOK_ATOM_NETLIST* netlist = iterm->get_my_node()->get_parent_netlist();
  vok_connect(netlist->get_ground_oterm(), iterm);
  if (m_table)
    m_table->add_row({std::to_string(m_algorithm), iterm->get_my_node()->get_string_hpath(), "ground"});
}

void SIV_ATOM_MOD_UTILITY::set_iterm_in_use(VOK_ATOM_ITERM* iterm, bool in_use) {
  host::log_call("SIV_ATOM_MOD_UTILITY::set_iterm_in_use", m_algorithm, host::vok::arg(iterm), in_use);
  if (!in_use) iterm->disconnect_from_source(VOK_NET_ITERM::OPEN);
  iterm->set_used(in_use);
  if (m_table)
    m_table->add_row({std::to_string(m_algorithm), iterm->get_my_node()->get_string_hpath(),
                      in_use ? "in use" : "unused"});
}
