// Preloaded into velmo-fit by the fit tests to make a fit move atoms it must
// not: while VELMO_TEST_SWAP_ATOMS names two or more atoms ("a,b,c", by
// hierarchical path, in any partition's full netlist), the host's placement
// check first checks as usual and then moves each atom to the next one's
// site, the last to the first's (two atoms exchange their sites). The check runs
// once, after the last stage and before velmo-fit checks the preserved
// partitions, so that check meets the atoms where no fit should have
// put them. Likewise VELMO_TEST_CUT_ROUTING names atoms whose nets lose
// their routing trees there, in the design's routing and in every
// partition's full routing, as a fit that re-routed them would leave them.
// Without the variables nothing changes.
#include <dlfcn.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "jov/jov_design.h"
#include "kiv/kiv_model.h"
#include "tibex/tibex_placer.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_routing.h"
#include "vok/vok_routing_model.h"

namespace {

VOK_ATOM_NODE* l_find(const std::string& name) {
  for (const auto& p : JOV_ROOT::get()->get_design("")->get_partitions())
    for (VOK_ATOM_NODE* a : p->get_state(JOV_PARTITION::DEFAULT)->get_atom_netlist()->get_atom_list())
      if (a->get_string_hpath() == name) return a;
  return nullptr;
}

void l_swap_named_atoms() {
  const char* names = std::getenv("VELMO_TEST_SWAP_ATOMS");
  if (names == nullptr) return;
  std::vector<VOK_ATOM_NODE*> atoms;
  std::stringstream list(names);
  for (std::string name; std::getline(list, name, ',');) {
    VOK_ATOM_NODE* a = l_find(name);
    if (a == nullptr || !a->is_placed()) return;
    atoms.push_back(a);
  }
  if (atoms.size() < 2) return;
  // Each atom takes the next one's site, the last the first's.
  std::vector<std::pair<std::uint32_t, int>> sites;
  for (const VOK_ATOM_NODE* a : atoms) sites.emplace_back(a->get_location_gid(), a->get_location_element());
  for (VOK_ATOM_NODE* a : atoms) a->clear_location();
  for (std::size_t i = 0; i < atoms.size(); ++i) {
    const auto& [gid, kind] = sites[(i + 1) % atoms.size()];
    atoms[i]->set_location(gid, kind);
  }
}

// Erases every routing tree whose source is an output of the atom.
void l_cut_trees_of(VOK_RE_ROUTING& r, std::uint32_t atom_id) {
  std::vector<int> roots;
  for (int root = r.forest().first_root(); root != -1; root = r.forest().next_sibling(root))
    if (r.is_terminal(root) && r.get_node_terminal(root).port.get_atom_id() == atom_id) roots.push_back(root);
  for (int root : roots) r.erase(root);
}

void l_cut_named_routing() {
  const char* names = std::getenv("VELMO_TEST_CUT_ROUTING");
  if (names == nullptr) return;
  std::vector<VOK_RE_ROUTING*> routings;
  if (VOK_CHIP_DB_ENTRY::current() != nullptr && VOK_CHIP_DB_ENTRY::current()->get_routing() != nullptr)
    routings.push_back(VOK_CHIP_DB_ENTRY::current()->get_routing());
  for (const auto& p : JOV_ROOT::get()->get_design("")->get_partitions())
    for (KIV_MODEL* m : p->get_state(JOV_PARTITION::DEFAULT)->get_kiv_state()->get_models())
      if (const auto* model = dynamic_cast<const VOK_ROUTING_MODEL*>(m); model != nullptr && model->get_routing())
        routings.push_back(model->get_routing());
  // Every atom of the name (a register and the pin it drives may share it).
  std::stringstream list(names);
  for (std::string name; std::getline(list, name, ',');)
    for (const auto& p : JOV_ROOT::get()->get_design("")->get_partitions())
      for (const VOK_ATOM_NODE* a : p->get_state(JOV_PARTITION::DEFAULT)->get_atom_netlist()->get_atom_list())
        if (a->get_string_hpath() == name)
          for (VOK_RE_ROUTING* r : routings) l_cut_trees_of(*r, static_cast<std::uint32_t>(a->get_id()));
}

}  // namespace

namespace host::placement {

bool check_legal(std::string* why) {
  using CHECK = bool (*)(std::string*);
  // The host's own check: the next definition of this very symbol after
  // this library, looked up by the name this one has.
  static const CHECK real = [] {
    Dl_info mine{};
    dladdr(reinterpret_cast<void*>(static_cast<CHECK>(&check_legal)), &mine);
    return reinterpret_cast<CHECK>(dlsym(RTLD_NEXT, mine.dli_sname));
  }();
  const bool legal = real(why);
  l_swap_named_atoms();
  l_cut_named_routing();
  return legal;
}

}  // namespace host::placement
