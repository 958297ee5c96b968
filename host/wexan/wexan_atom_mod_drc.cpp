#include "wexan/wexan_atom_mod_drc.h"
#include "common/host_call_log.h"

#include "common/host_call_log.h"

#include <map>
#include <set>
#include <utility>
#include <algorithm>

#include "common/host_call_log.h"
#include "common/host_world.h"
#include "vok/vok_atom_netlist.h"

namespace {
struct DRC_STATE {
  WEXAN_ATOM_MOD_DRC drc;
  std::map<std::pair<int, int>, std::uint64_t> deny;
  std::set<std::pair<int, int>> merge_veto;
};
DRC_STATE& state() { return host_world_slot<DRC_STATE>(); }
}  // namespace

WEXAN_ATOM_MOD_DRC* WEXAN_ATOM_MOD_DRC::current() { return &state().drc; }

bool WEXAN_ATOM_MOD_DRC::atom_mod_allowed_for_operation(int atom_id, int op, std::uint64_t* reason) const {
  auto it = state().deny.find({atom_id, op});
  const std::uint64_t mask = it == state().deny.end() ? 0 : it->second;
  if (reason != nullptr) *reason = mask;
  return mask == 0;
}

bool WEXAN_ATOM_MOD_DRC::atom_mod_allowed_for_operation(const VOK_ATOM_OTERM* oterm, int op,
                                                        std::uint64_t* reason) const {
  const VOK_ATOM_NODE* atom = oterm != nullptr ? oterm->get_my_node() : nullptr;
  return atom_mod_allowed_for_operation(atom != nullptr ? atom->get_id() : -1, op, reason);
}

bool WEXAN_ATOM_MOD_DRC::atom_mod_allowed_for_operation(int atom_id, int op, const char* tag, std::uint64_t* reasons,
                                                        std::vector<WEXAN_ATOM_MOD_DRC_MESSAGE*>* messages,
                                                        bool) const {
  std::uint64_t mask = 0;
  const bool allowed = atom_mod_allowed_for_operation(atom_id, op, &mask);
  if (reasons != nullptr) *reasons = mask;
  if (messages != nullptr)
    for (int bit = 0; bit < 64; ++bit)
      if ((mask >> bit) & 1u)
        messages->push_back(new WEXAN_ATOM_MOD_DRC_MESSAGE(std::string(tag ? tag : "") + ": reason " + std::to_string(bit)));
  return allowed;
}

bool WEXAN_ATOM_MOD_DRC::atoms_are_compatible_for_merge(const std::vector<VOK_ATOM_NODE*>* atoms, void*) const {
  if (atoms == nullptr) return true;
  for (std::size_t i = 0; i < atoms->size(); ++i)
    for (std::size_t j = i + 1; j < atoms->size(); ++j) {
      const VOK_ATOM_NODE* a = (*atoms)[i];
      const VOK_ATOM_NODE* b = (*atoms)[j];
      if (a != nullptr && b != nullptr && state().merge_veto.count(std::minmax(a->get_id(), b->get_id())) != 0)
        return false;
    }
  return true;
}

namespace host::drc {
void deny(int atom_id, int op, std::uint64_t reason) { state().deny[{atom_id, op}] = reason; }
void veto_merge(int atom_a, int atom_b) { state().merge_veto.insert(std::minmax(atom_a, atom_b)); }
}  // namespace host::drc

void WEXAN_ATOM_MOD_DRC::verify_dont_touch() { host::log_call("WEXAN_ATOM_MOD_DRC::verify_dont_touch"); }
void WEXAN_ATOM_MOD_DRC::write_cached_atom_mod_info(void* report) {
  host::log_call("WEXAN_ATOM_MOD_DRC::write_cached_atom_mod_info", report);
}

void WEXAN_ATOM_MOD_DRC::refresh_if_necessary(WEXAN_HOV_UTILITY* utility) {
  host::log_call("WEXAN_ATOM_MOD_DRC::refresh_if_necessary", utility);
}

void WEXAN_ATOM_MOD_DRC::build_dont_touch_verification_sets() {
  host::log_call("WEXAN_ATOM_MOD_DRC::build_dont_touch_verification_sets");
}
