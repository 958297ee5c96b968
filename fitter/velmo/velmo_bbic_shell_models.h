#pragma once
// Operations the shell-state build shares: typed model lookup, the
// netlist of a state, the atom-id reset and the connect state of a
// disconnected boundary input.
#include <string>

#include "kiv/kiv_model.h"
#include "vok/vok_atom_term.h"

class VOK_ATOM_NETLIST;

// The model of that name as M, null when the state has none; a model of
// another type is an internal error. Instantiated for VOK_ATOM_KIV_MODEL,
// VOK_ROUTING_MODEL and R5T_KIV_MODEL.
template <class M> M* velmo_bbic_get_model(KIV_STATE& state, const std::string& name);
// The netlist of the state's "netlist" model (the model must exist).
VOK_ATOM_NETLIST* velmo_bbic_get_netlist(KIV_STATE& state);
// Sets the process-wide next atom id, lifting the id ban for the moment
// when it is in force.
void velmo_bbic_set_next_atom_id(unsigned next_id);
// 1 (open) for a term used as a port-side usage that keeps its mapping,
// else 2 (ground).
VOK_NET_ITERM::CONNECT_STATE velmo_bbic_get_disconnect_state_for_iterm(const VOK_ATOM_ITERM* iterm);
