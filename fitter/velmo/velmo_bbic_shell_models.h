#pragma once
// Operations the shell-state build shares: typed model lookup, the
// netlist of a state, the atom-id reset and the connect state of a
// disconnected boundary input.
#include <string>

#include "kiv/kiv_model.h"
#include "velmo_bbic_keep_set.h"
#include "vok/vok_atom_term.h"
#include "zmp_hash_set_lite_sys.h"

class VOK_ATOM_NETLIST;

// The boundary input terms of a shell (inputs of kept atoms whose drivers
// are gone).
using VELMO_BBIC_ITERM_SET = ZMP_HASH_SET_LITE<VOK_ATOM_ITERM*>;

// The model of that name as M, null when the state has none; a model of
// another type is an internal error. Instantiated for VOK_ATOM_KIV_MODEL,
// VOK_ROUTING_MODEL, R5T_KIV_MODEL and W3J3_MAPPING_MODEL.
template <class M> M* velmo_bbic_get_model(KIV_STATE& state, const std::string& name);
// The netlist of the state's "netlist" model (the model must exist).
VOK_ATOM_NETLIST* velmo_bbic_get_netlist(KIV_STATE& state);
// Sets the process-wide next atom id, lifting the id ban for the moment
// when it is in force.
void velmo_bbic_set_next_atom_id(unsigned next_id);
// 1 (open) for a term used as a port-side usage that keeps its mapping,
// else 2 (ground).
VOK_NET_ITERM::CONNECT_STATE velmo_bbic_get_disconnect_state_for_iterm(const VOK_ATOM_ITERM* iterm);

// The shell's own netlist: the full state's netlist loaded again from the
// compile database and renumbered to the full netlist's ids; the process-wide
// next id is left as it was.
void velmo_bbic_copy_netlist_model(KIV_STATE& shell, KIV_STATE& full);
// The shell's own routing model: copies of the full state's networks,
// routing (unbound) and side tables, on the shell's netlist.
void velmo_bbic_copy_routing_model(KIV_STATE& shell, KIV_STATE& full);
// The shell's own directives: those of kept atoms, without the output
// mappings of local feedback that the removed logic made meaningless nor
// the input mappings of boundary terms disconnected to ground.
void velmo_bbic_filter_directives(KIV_STATE& shell, VOK_ATOM_NETLIST& netlist, const VELMO_BBIC_KEEP_SET& keep_set,
                                  const VELMO_BBIC_ITERM_SET& boundary);
