#pragma once
// Construction of the routing model over its three networks. Included at the
// end of the host's routing-model header.
#include <vector>

#include "msg/msg_internal_error.h"
#include "vok/vok_routing_model.h"

inline VOK_ROUTING_MODEL::VOK_ROUTING_MODEL(const std::vector<JUK::FOREST<int, int>*>& networks)
    : KIV_MODEL(), m_networks(networks) {
  m_routing.reset();
  m_atom_netlist = nullptr;
  m_side_ids.clear();
  if (m_networks.size() == NUM_NETWORK_TYPES) {
    header().set_type(s_model_type_string);
  } else {
    // The model owns the networks, but no destructor runs for a model whose
    // construction fails: free them here.
    for (JUK::FOREST<int, int>* network : m_networks) delete network;
    m_networks.clear();
    MSG_INTERNAL_ERROR::report("m_networks.size() == NUM_NETWORK_TYPES", "VELMO", "vok_re_network_sys", 314);
  }
}
