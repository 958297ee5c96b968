// The driver of blackboxing: which preserved partitions are reduced to
// shells in this run, the gates that may refuse the mode, the mode flag, the
// end-of-run entry and the debug dumps the other blackboxing steps share.
#include "velmo_bbic.h"

#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <locale>
#include <string>

#include "cfg/cfg.h"
#include "dev/dev_basic_info.h"
#include "dev/dev_die_info.h"
#include "jov/jov_design.h"
#include "kiv/kiv_model.h"
#include "moz/moz_assignment.h"
#include "msg/msg_internal_error.h"
#include "omz/omz_instance_name.h"
#include "omz/omz_option.h"
#include "pelk/pelk_symbol.h"
#include "pexa/pexa_utility.h"
#include "r5t/r5t_directives.h"
#include "velmo_debug.h"
#include "velmo_expert.h"
#include "velmo_main.h"
#include "velmo_msgs.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_routing.h"
#include "zel/zel_atom_dumper.h"

namespace {

// Set while preserved partitions are blackboxed: from activation until the
// final stage restores the full contents, or the run's shut-down.
bool s_bbic_active = false;

// Files written by each dump kind so far in this process.
std::uint64_t s_netlist_dump_count = 0;
std::uint64_t s_directives_dump_count = 0;
std::uint64_t s_routing_dump_count = 0;

constexpr int kVantrelPreserve = 1773;
constexpr int kFamilyAlwaysSupported = 46;
constexpr int kAnyFamilySetting = 1161;

[[noreturn]] void l_internal_error(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "VELMO", "velmo_bbic", line);
}

JOV_DESIGN* l_design() { return JOV_ROOT::get()->get_design(""); }

// "AUTO" in any case, nothing more and nothing less.
bool l_is_auto(const std::string& value) {
  static const char kAuto[] = "AUTO";
  if (value.size() != 4) return false;
  const std::locale loc;
  for (std::size_t i = 0; i < 4; ++i)
    if (std::toupper(value[i], loc) != kAuto[i]) return false;
  return true;
}

// Whether the partition's VANTREL_PRESERVE assignment asks for blackboxing:
// the instance assignment when there is one, else the global one.
bool l_has_auto_assignment(const JOV_PARTITION& partition) {
  const MOZ_ASSIGNMENT* a = JOV_UTILS::get_moz_instance_assignment(kVantrelPreserve, partition.get_instance_name());
  const bool instance = a != nullptr;
  if (!instance) a = JOV_UTILS::get_moz_global_assignment(kVantrelPreserve);
  if (a == nullptr || !l_is_auto(a->get_unmodified_value(false))) return false;
  msg_vdebug_impl(2, instance ? "... Found VANTREL_PRESERVE inst assignment for Partition %s"
                              : "... Found VANTREL_PRESERVE global assignment for Partition %s",
                  partition.get_name().c_str());
  return true;
}

// Preserved: the active state is present and its netlist is read-only.
bool l_is_preserved(const JOV_PARTITION& partition) {
  if (!partition.is_state_loaded(JOV_PARTITION::s_unspecified)) return false;
  return !partition.get_state(JOV_PARTITION::s_unspecified)->get_atom_netlist()->is_modifiable();
}

// Whether the partition may be blackboxed. The top partition needs the root
// switch; a partition not preserved at "final" needs the any-preserved
// switch. The snapshot name is checked whatever the top test said.
bool l_check_partition_is_bbic_able(const JOV_PARTITION& partition) {
  static bool notices_printed = false;
  if (!notices_printed) {
    notices_printed = true;
    velmo_bbic_print_hack_notice(__FILE__, __LINE__, 476307u, "User message when BBIC cannot be applied on partition.");
    velmo_bbic_print_hack_notice(__FILE__, __LINE__, 476308u, "Forbid split-fit + BBIC");
  }
  bool ok = true;
  if (partition.get_parent() == nullptr && !cfg_is_on("velmo_bbic_support_root", true)) {
    msg_vdebug_impl(2, "BBIC skipping top partition %s", partition.get_name().c_str());
    ok = false;
  }
  const JOV_STATE* state = partition.get_state(JOV_PARTITION::s_unspecified);
  JOV_ENUM_IMPL<JOV_SNAPSHOT_BASE> snapshot;
  snapshot.set_from_str(state->get_snapshot_name(), true);
  const bool at_final = snapshot.get_value() == JOV_SNAPSHOT_BASE::FINAL && !state->get_atom_netlist()->is_modifiable();
  if (!at_final && !cfg_is_on("velmo_bbic_support_any_preserved", false)) {
    msg_vdebug_impl(2, "BBIC skipping partition %s because it is not preserved @ final", partition.get_name().c_str());
    ok = false;
  }
  return ok;
}

VELMO_BBIC_PARTITION_SET l_get_partitions_to_bbic() {
  static const bool enable_all = cfg_is_on("jov_enable_bbic", false);
  VELMO_BBIC_PARTITION_SET selected;
  for (const auto& p : l_design()->get_partitions()) {
    if (!enable_all && !l_has_auto_assignment(*p)) continue;
    if (!l_check_partition_is_bbic_able(*p)) continue;
    selected.insert(p.get());
  }
  return selected;
}

// Posts a message made by a catalogue factory (a null message posts nothing).
template <class M> void l_post(M* message) { msg_post(message, nullptr); }

bool l_initialize(bool split_fit, DEV_FAMILY_ENUM family) {
  const VELMO_BBIC_PARTITION_SET selected = l_get_partitions_to_bbic();
  if (selected.size() == 0) {
    msg_vdebug_impl(2, "Nothing to BBIC!");
    return true;
  }
  if (cfg_is_on("jov_disable_bbic", false)) {
    msg_vdebug_impl(2, "BBIC off due to INI");
    return true;
  }
  if (split_fit && !cfg_is_on("jov_engage_bbic_with_splitfit", false)) {
    l_post(MSG_VELMO::I::BBIC_SPLIT_FIT_NOT_ALLOWED());
    return true;
  }
  if (cfg_is_on("bbic_test_blackboxify", false)) {
    velmo_bbic_test_blackboxify();
    return true;
  }

  // Every partition is preserved or recompiled.
  JOV_DESIGN* design = l_design();
  bool top_preserved = false, top_recompiled = false;
  int recompiled = 0;
  for (const auto& p : design->get_partitions()) {
    const bool preserved = l_is_preserved(*p);
    if (p->get_parent() == nullptr) {
      top_preserved = top_preserved || preserved;
      top_recompiled = top_recompiled || !preserved;
    } else if (!preserved) {
      ++recompiled;
    }
  }
  if ((top_recompiled || !top_preserved) && !cfg_is_on("jov_bbic_allow_recompile_top", false)) {
    msg_vdebug_impl(2, "BBIC not supported: top partition not preserved");
    l_post(MSG_VELMO::W::BBIC_DISABLED_TOP_PARTITION_NOT_PRESERVED());
    msg_vdebug_impl(2, "BBIC is not active, and warning was outputted");
    return true;
  }
  if (!top_recompiled && recompiled == 0 && !cfg_is_on("jov_bbic_allow_no_change_flow", false)) {
    msg_vdebug_impl(2, "BBIC not supported: nothing recompiled!?");
    l_post(MSG_VELMO::W::BBIC_DISABLED_ALL_PARTITIONS_PRESERVED());
    msg_vdebug_impl(2, "BBIC is not active, and warning was outputted");
    return true;
  }
  const OMZ_OPTION* any_family =
      OMZ_DERIVED_OPTION::get_single_option(design->get_option_namespace(), kAnyFamilySetting, true);
  if (static_cast<int>(family) != kFamilyAlwaysSupported && !(any_family != nullptr && any_family->get_value() != 0)) {
    l_post(MSG_VELMO::W::BBIC_UNSUPPORTED_FAMILY_WARNING(pral_get_user_string(static_cast<int>(family))));
    return true;
  }

  // The enabling message lists the selected partitions in design order.
  MSG_I* enabled = MSG_VELMO::I::BBIC_ENABLED_FOR_PARTITIONS();
  for (const auto& p : design->get_partitions()) {
    if (selected.find(p.get()) == selected.end()) continue;
    enabled->add_sub_message(MSG_VELMO::I::BBIC_PARTITION(p->get_name()));
  }
  l_post(enabled);

  std::string reason;
  if (velmo_write_intermediate_snapshot(&reason) && !cfg_is_on("jov_bbic_allow_splitfit", true)) {
    l_post(MSG_VELMO::E::BBIC_WRITE_INTERMEDIATE_SNAPSHOT_NOT_ALLOWED(reason));
    return false;
  }

  const DEV_DEVICE* device = PEXA_UTILITY::get_current_device();
  if (device == nullptr) l_internal_error("dev_device", __LINE__);
  const DEV_DIE_INFO* die = device->get_die_info();
  if (die == nullptr) l_internal_error("di", __LINE__);
  die->prepare(4, std::string());
  die->prepare(2, std::string());

  msg_vdebug_impl(2, "**********************************************");
  msg_vdebug_impl(2, "*                                            *");
  msg_vdebug_impl(2, "BBIC activated - buckle up!");
  msg_vdebug_impl(2, "*                                            *");
  msg_vdebug_impl(2, "**********************************************");
  s_bbic_active = true;

  velmo_bbic_run_sequence(selected);
  return true;
}

// The dump switch, read once per dump kind.
bool l_netlist_dumps_on() {
  static const bool on = cfg_is_on("jov_bbic_debug", false);
  return on;
}
bool l_directives_dumps_on() {
  static const bool on = cfg_is_on("jov_bbic_debug", false);
  return on;
}
bool l_routing_dumps_on() {
  static const bool on = cfg_is_on("jov_bbic_debug", false);
  return on;
}

std::string l_dump_name(const char* kind, std::uint64_t& counter, const char* tag, const char* extension) {
  char name[512];
  std::snprintf(name, sizeof(name), "bbic-%s-%03" PRIu64 "-%s.%s", kind, counter, tag, extension);
  ++counter;
  return name;
}

}  // namespace

bool VELMO_BBIC::any_partitions_blackboxed() { return s_bbic_active; }

bool velmo_bbic_initialize(JOV_ENUM_IMPL<JOV_SNAPSHOT_BASE> snapshot, bool split_fit, DEV_FAMILY_ENUM family) {
  (void)snapshot;  // selection always looks at the "final" snapshot
  VELMO_SCOPED_PROFILE_BIN bin("bbic_initialize", "BBIC");
  // The mode belongs to one fitter run: a run of the same process that
  // ended before its final stage restored the partitions leaves it on.
  s_bbic_active = false;
  return l_initialize(split_fit, family);
}

void velmo_bbic_shutdown() {
  VELMO_SCOPED_PROFILE_BIN bin("bbic_shutdown", "BBIC");
  for (const auto& p : l_design()->get_partitions())
    if (p->has_state(JOV_PARTITION::BBIC_DEPOPULATED)) p->remove_state(JOV_PARTITION::BBIC_DEPOPULATED);
  // With the shells gone nothing is blackboxed, whether or not the run
  // reached its final stage.
  s_bbic_active = false;
  msg_vdebug_impl(2, "**********************************************");
  msg_vdebug_impl(2, "BBIC shut down");
  msg_vdebug_impl(2, "**********************************************");
}

bool velmo_bbic_is_active() { return s_bbic_active; }

void velmo_bbic_set_active(bool on) { s_bbic_active = on; }

void velmo_bbic_print_hack_notice(const char* file, int line, unsigned tracking, const char* description) {
  bool printed = false;  // each call announces itself
  velmo_print_hack_notice(printed, file, line, tracking, description);
}

void velmo_bbic_dump_netlist(VOK_ATOM_NETLIST& netlist, const char* tag) {
  if (!l_netlist_dumps_on()) return;
  const std::string name = l_dump_name("netlist", s_netlist_dump_count, tag, "dump");
  msg_vdebug_impl(2, "Dumping netlist to %s", name.c_str());
  ZEL_ATOM_DUMPER dumper(nullptr);
  dumper.dump_atom_netlist(name, &netlist, true);
}

void velmo_bbic_dump_directives(VOK_ATOM_NETLIST& netlist, R5T_DIRECTIVES* directives, const char* tag) {
  if (!l_directives_dumps_on()) return;
  const std::string name = l_dump_name("directives", s_directives_dump_count, tag, "dump");
  msg_vdebug_impl(2, "Dumping directives to %s", name.c_str());
  directives->debug_dump(netlist, name);
}

void velmo_bbic_dump_routing(const char* tag) {
  if (!l_routing_dumps_on()) return;
  const std::string name = l_dump_name("routing", s_routing_dump_count, tag, "rt");
  VOK_CHIP_DB_ENTRY::current()->get_routing()->debug_dump<VOK_RE_ROUTING_ZOTA_SKIP>(name);
}
