#include "velmo_fit_transfer_checks.h"

#include <map>
#include <set>

#include "cmp/cmp_facade.h"
#include "omz/omz_option.h"
#include "pelk/pelk_symbol.h"
#include "r5t/r5t_interface.h"
#include "vok/vok_atom_netlist.h"
#include "zel/zel_dev_zota_util.h"

namespace velmo_fit {

namespace {

// Transfer assignments: a UIB/ESRAM core-to-periphery transfer when 2; the
// core-to-periphery router assignments a register with either is taken by
// the main pass instead; a forced core-to-periphery transfer when 2.
constexpr int kUibEsramTransfer = 837;
constexpr int kC2pRouterAssignments[] = {839, 845};
constexpr int kForcedC2p = 835;
constexpr int kTransferValue = 2;

// The loads of a register's data output (partitions walked through).
std::vector<const VOK_ATOM_NODE*> data_loads(const VOK_ATOM_NODE* reg) {
  std::vector<const VOK_ATOM_NODE*> out;
  VOK_ATOM_OTERM* q = reg->get_output_term_by_type(DB_OUTPUT_PORT_REG, 0);
  if (q == nullptr) return out;
  for (VOK_ATOM_ITERM* t : q->fanout(VOK_TRAVERSE_HIERARCHICAL))
    if (t->get_my_node() != nullptr) out.push_back(t->get_my_node());
  return out;
}

// The value an instance's assignment of `id` reads as, or -1 without one.
int assignment_value(const VOK_ATOM_NODE* atom, int id) {
  const OMZ_INSTANCE_NAME* name = atom->get_instance_name();
  const OMZ_OPTION* option = OMZ_DERIVED_OPTION::get_single_option(name ? name->path() : std::string(), id, false);
  return option ? option->get_value() : -1;
}

}  // namespace

bool family_commits_transfers(int family) { return family != 15; }

std::string uib_esram_transfer_refusal(const host::testing::DESIGN_SETTINGS& settings, int family,
                                       const std::string& file) {
  if (family_commits_transfers(family) || settings.periphery.empty()) return std::string();
  std::map<std::string, const VOK_ATOM_NODE*> atoms;
  for (const VOK_ATOM_NODE* a : host::vok::top_netlist()->get_atom_list()) atoms.emplace(a->get_string_hpath(), a);
  std::map<std::string, std::string> kind;  // block name -> UIB or ESRAM
  for (const auto& b : settings.periphery) kind[b.name] = b.kind;
  std::set<std::string> routed_by_main_pass;
  for (const auto& a : settings.assignments)
    for (int id : kC2pRouterAssignments)
      if (a.id == id) routed_by_main_pass.insert(a.instance);
  for (std::size_t i = 0; i < settings.assignments.size(); ++i) {
    const auto& a = settings.assignments[i];
    if (a.id != kUibEsramTransfer || OMZ_OPTION(a.type, a.value).get_value() != kTransferValue) continue;
    const auto at = atoms.find(a.instance);
    if (at == atoms.end() || !at->second->is_ff() || routed_by_main_pass.count(a.instance)) continue;
    const std::vector<const VOK_ATOM_NODE*> loads = data_loads(at->second);
    if (loads.size() != 1 || !kind.count(loads.front()->get_string_hpath())) continue;
    const std::string block = loads.front()->get_string_hpath();
    return file + ": assignments[" + std::to_string(i) + "] asks for a UIB/ESRAM transfer (option 837 = 2) of register '" +
           a.instance + "' into " + kind[block] + " block '" + block + "', which family " + std::to_string(family) +
           " cannot make: it commits no periphery-core transfer";
  }
  return std::string();
}

std::vector<std::string> dropped_forced_transfers() {
  std::vector<std::string> out;
  const R5T_INTERFACE* r5t = R5T_INTERFACE::get_instance();
  if (r5t == nullptr || !ZEL_DEV_ZOTA_UTIL::is_zota_device(CMP_FACADE::current(), 0)) return out;
  constexpr int kMetadataNamespace = 4;
  const PELK key = PELK::intern(kMetadataNamespace, "P2C_ZOTA");
  const PELK c2p = PELK::intern(kMetadataNamespace, "C2P");
  for (const VOK_ATOM_NODE* a : host::vok::top_netlist()->nodes(VOK_TRAVERSE_HIERARCHICAL)) {
    if (!a->is_ff() || assignment_value(a, kForcedC2p) != kTransferValue) continue;
    if (r5t->get_atom_metadata(a->get_id(), key) == c2p) continue;
    const std::vector<const VOK_ATOM_NODE*> loads = data_loads(a);
    if (loads.size() < 2) continue;
    std::string names;
    for (std::size_t i = 0; i < loads.size() && i < 4; ++i) names += (i ? ", '" : "'") + loads[i]->get_string_hpath() + "'";
    if (loads.size() > 4) names += ", ...";
    out.push_back("register '" + a->get_string_hpath() + "' is forced into a core-to-periphery transfer (option 835 = 2) "
                  "but feeds " + std::to_string(loads.size()) + " loads (" + names +
                  "): the transfer takes a register with one load, so it is not made");
  }
  return out;
}

}  // namespace velmo_fit
