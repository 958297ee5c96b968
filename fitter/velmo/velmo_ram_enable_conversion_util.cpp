#include "velmo_ram_enable_conversion_util.h"

#include "mem/mem_initializer.h"
#include "msg/msg_internal_error.h"
#include "omz/omz_instance_name.h"
#include "tibex/tibex_env.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_atom_term.h"
#include "vok/vok_re_logical_port.h"
#include "wexan/wexan_bpm.h"
#include "wexan/wexan_design.h"
#include "wexan/wexan_env.h"
#include "wexan/wexan_utilities.h"
#include "zel/zel_lcell_util.h"

namespace {
const MEM_INITIALIZER l_mem_initializer("VELMO");

[[noreturn]] void l_internal_error(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "VELMO", "velmo_ram_enable_conversion_util", line);
}

constexpr int kLcellCombAtomType = 61;
constexpr unsigned kSynthesizedNameFlag = 0x4000;
constexpr int kAddedAction = 1;

constexpr std::uint64_t kOrMask = 0x7777777777777777ull;
constexpr std::uint64_t kAndMask = 0x1111111111111111ull;
constexpr std::uint64_t kDualMask = 0x0707070707070707ull;

void l_set_mask(VOK_ATOM_NODE* node, std::uint64_t mask) {
  node->get_lutmask().set_value(6, mask);
  ZEL_LCELL_UTIL::set_sum_lutmask(node, mask, false);
}
}  // namespace

VELMO_RAM_ENABLE_CONVERSION_UTIL::VELMO_RAM_ENABLE_CONVERSION_UTIL()
    : NOLT_RAM_ENABLE_CONVERSION_UTIL(WEXAN_ENV::get_env()) {}

VELMO_RAM_ENABLE_CONVERSION_UTIL::~VELMO_RAM_ENABLE_CONVERSION_UTIL() = default;

VELMO_RAM_ENABLE_CONVERSION_UTIL* VELMO_RAM_ENABLE_CONVERSION_UTIL::create_utility() {
  if (NOLT_RAM_ENABLE_CONVERSION_UTIL::s_utility)
    MSG_INTERNAL_ERROR::report("s_utility == NULL", "VELMO", "velmo_ram_enable_conversion_util", __LINE__);
  VELMO_RAM_ENABLE_CONVERSION_UTIL* util = new VELMO_RAM_ENABLE_CONVERSION_UTIL();
  NOLT_RAM_ENABLE_CONVERSION_UTIL::s_utility = util;
  TIBEX_ENV::set_ram_enable_conversion_util(util);
  return util;
}

void VELMO_RAM_ENABLE_CONVERSION_UTIL::check_family(int line) const {
  const int family = get_env()->get_internal_family_code();
  if (family != 15 && family != 48) l_internal_error("Unsupported family", line);
}

VOK_ATOM_NODE* VELMO_RAM_ENABLE_CONVERSION_UTIL::create_lcell_comb(VOK_ATOM_NODE* ram, const char* suffix) {
  if (ram == nullptr) l_internal_error("atom != NULL", __LINE__);
  WEXAN_DESIGN* design = get_design();
  OMZ_INSTANCE_NAME* name = design->create_unique_synthesized_name(ram->get_instance_name(), suffix, true);
  name->set_flag(kSynthesizedNameFlag);
  check_family(__LINE__);

  VOK_ATOM_NODE* node = VOK_ATOM_FACTORY::create_node(kLcellCombAtomType, false);
  node->set_shared_name(name);
  ram->get_parent_netlist()->add_node(node);

  VOK_ATOM_OTERM* out = node->add_output_term(DB_OUTPUT_PORT_COMB, 0);
  WEXAN_PIZ_NETLIST_MOD mod;
  mod.name = name->path();
  mod.wysiwyg_type = node->get_atom_type();
  mod.action = kAddedAction;
  mod.port = vok_output_port_symbol(out->get_port_type()).cname();
  get_netlist_mod_table()->add_netlist_modification(mod);

  if (WEXAN_BOUNDARY_PORT_MANAGER* bpm = get_env()->get_boundary_port_manager()) {
    const int pid = bpm->get_partition_id(ram);
    if (pid == BPM_OPEN) l_internal_error("pid != BPM_OPEN", __LINE__);
    bpm->assign_atom_to_partition(node, pid);
  }
  design->insert_atom(node, true);
  return node;
}

VOK_ATOM_NODE* VELMO_RAM_ENABLE_CONVERSION_UTIL::create_1_input_inverter_atom(VOK_ATOM_NODE*) { return nullptr; }
VOK_ATOM_NODE* VELMO_RAM_ENABLE_CONVERSION_UTIL::create_4_input_or_gate_atom(VOK_ATOM_NODE*) { return nullptr; }
VOK_ATOM_NODE* VELMO_RAM_ENABLE_CONVERSION_UTIL::create_dff_atom(VOK_ATOM_NODE*) { return nullptr; }
VOK_ATOM_NODE* VELMO_RAM_ENABLE_CONVERSION_UTIL::create_dffe_atom(VOK_ATOM_NODE*) { return nullptr; }

VOK_ATOM_NODE* VELMO_RAM_ENABLE_CONVERSION_UTIL::create_2_input_or_gate_atom(VOK_ATOM_NODE* ram) {
  VOK_ATOM_NODE* node = create_lcell_comb(ram, "RAM_ENABLE_OR");
  check_family(__LINE__);
  l_set_mask(node, kOrMask);
  return node;
}

VOK_ATOM_NODE* VELMO_RAM_ENABLE_CONVERSION_UTIL::create_2_input_and_gate_atom(VOK_ATOM_NODE* ram) {
  VOK_ATOM_NODE* node = create_lcell_comb(ram, "RAM_ENABLE_AND");
  check_family(__LINE__);
  l_set_mask(node, kAndMask);
  return node;
}

VOK_ATOM_NODE* VELMO_RAM_ENABLE_CONVERSION_UTIL::create_dual_gate_atom(VOK_ATOM_NODE* ram) {
  VOK_ATOM_NODE* node = create_lcell_comb(ram, "RAM_ENABLE_DUAL");
  l_set_mask(node, kDualMask);
  return node;
}
