// Host preparation and entry-point lookup shared by velmo-fit and its Tcl
// package.
#include "velmo_fit_session.h"
#include "velmo_fit_verification.h"

#include <dlfcn.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <sstream>

#include "cfg/cfg.h"
#include "common/host_input.h"
#include "dev/dev_spec.h"
#include "jov/jov_design.h"
#include "jov/jov_enum.h"
#include "msg/msg_internal_error.h"
#include "omz/omz_option.h"
#include "testing/blif_reader.h"
#include "sta/sta_analysis.h"
#include "tibex/tibex_placer.h"
#include "w3j3/w3j3_port_map_db.h"
#include "tibex/tibex_vpr_facade.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_routing.h"
#include "wexan/wexan_env.h"
#include "yun/host_yun_env.h"
#include "zel/zel_atom_util.h"
#include "zel/zel_dc_table.h"
#include "zel/zel_dev_zota_util.h"

#include "velmo_default_design.inc"
#include "velmo_fit_transfer_checks.h"

namespace velmo_fit {

namespace {

// Configuration variables that give the component a number of threads.
constexpr const char* kThreadCountVariables[] = {"route_fixup_flow_parasitics_num_parallel_threads"};

// Declares each net that drives a register clock of the design, partitions
// included, as a clock, named as the net: the driver's name, or for a
// design input the pin's (its input buffer drives the net; the pad is the
// source, as the settings file has it). A register inside a partition is
// traced through the partition boundaries to its driver. Clocks the settings
// gave keep their period.
void declare_default_clocks(const VOK_ATOM_NETLIST& netlist, const std::map<std::string, int>& given,
                            std::set<std::string>& declared) {
  for (const VOK_ATOM_NODE* a : netlist.get_atom_list()) {
    if (a->is_box()) {
      if (const VOK_ATOM_NETLIST* child = static_cast<const VOK_ATOM_BLACKBOX*>(a)->get_child_netlist())
        declare_default_clocks(*child, given, declared);
      continue;
    }
    if (a->get_kind() != VOK_ATOM_KIND::CORE_REGISTER && a->get_kind() != VOK_ATOM_KIND::PIPELINE_REGISTER) continue;
    const VOK_ATOM_ITERM* clk = a->get_input_term_by_type(DB_INPUT_PORT_CLK, 0);
    const VOK_ATOM_OTERM* source = clk ? clk->get_source(VOK_TRAVERSE_HIERARCHICAL) : nullptr;
    if (!source || !source->get_my_node()) continue;
    if (source->get_my_node()->get_kind() == VOK_ATOM_KIND::IBUF)
      if (const VOK_ATOM_ITERM* in = source->get_my_node()->get_input_term_by_type(DB_INPUT_PORT_BOX, 0))
        if (const VOK_ATOM_OTERM* pad = in->get_source(VOK_TRAVERSE_HIERARCHICAL)) source = pad;
    const std::string net = source->get_my_node()->get_string_hpath();
    if (given.count(net) || !declared.insert(net).second) continue;
    host::timing::declare_clock(net, kDefaultClockPeriodPs, source);
  }
}

// Room for the register copies the duplication ahead of early retiming may
// add before placement (0 when it is off): a register with two or more loads
// gets at most one copy per strategy that is on (the boundary strategy one
// per load, and only with partitions; the clear strategy only in a design
// with clear loads), never more than it has loads nor the
// per-register limit; each strategy's copies stay within its total limit.
// The pass's own limits, so the device built before it holds what it does.
int duplication_register_room(const host::testing::DESIGN_SETTINGS& settings) {
  if (!cfg_is_on("early_retiming_pre_dup_regs", false)) return 0;
  const bool partitions = cfg_is_on("dup_regs_for_retiming_for_partitions", true) && !settings.partitions.empty();
  // Copies for clears need a clear load somewhere in the design.
  bool any_clear = false;
  for (const VOK_ATOM_NODE* a : host::vok::top_netlist()->get_atom_list())
    for (const VOK_ATOM_ITERM* t : a->citerms())
      if (t->is_connected()) {
        const int port = static_cast<int>(t->get_port_type());
        any_clear = any_clear || (port == DB_INPUT_PORT_ACLR && !ZEL_ATOM_UTIL::is_clear_iterm_sclear(t)) ||
                    port == 39 || port == 40;  // the asynchronous clears of other cells
      }
  const bool aclears = cfg_is_on("dup_regs_for_retiming_for_aclears", true) && any_clear;
  const bool clocks = cfg_is_on("dup_regs_for_retiming_for_diff_clocks", true);
  const long long per_reg = std::max(0, cfg_get_int_value("dup_regs_for_retiming_max_dups_per_reg", 50));
  long long partition_copies = 0, aclear_copies = 0, clock_copies = 0;
  for (const VOK_ATOM_NODE* a : host::vok::top_netlist()->get_atom_list()) {
    if (a->get_kind() != VOK_ATOM_KIND::CORE_REGISTER) continue;
    long long loads = 0;
    for (const VOK_ATOM_OTERM* o : a->coterms()) loads += o->count_flatten_fanouts();
    if (loads < 2) continue;
    long long left = std::min(per_reg, loads);
    auto take = [&left](long long want) {
      const long long n = std::min(left, want);
      left -= n;
      return n;
    };
    if (partitions) partition_copies += take(loads);
    if (aclears) aclear_copies += take(1);
    if (clocks) clock_copies += take(1);
  }
  auto limited = [](long long copies, const char* limit) {
    return std::min(copies, static_cast<long long>(std::max(0, cfg_get_int_value(limit, 3000))));
  };
  const long long room = limited(partition_copies, "dup_regs_for_retiming_max_total_dups_for_partition") +
                         limited(aclear_copies, "dup_regs_for_retiming_max_total_dups_for_aclears") +
                         limited(clock_copies, "dup_regs_for_retiming_max_total_dups_for_diff_clocks");
  return static_cast<int>(std::min<long long>(room, INT32_MAX));
}

// Options of which the component takes only some values and ends the fit
// with an internal error on any other: the values it takes (compared with
// the bits of the value it reads), and whether it reads the option of an
// instance, which a project option stands for when the instance has none.
struct OPTION_VALUES {
  int id;
  std::vector<int> allowed;
  int bits;
  bool per_instance;
  const char* what;
};
const std::vector<OPTION_VALUES>& checked_option_values() {
  static const std::vector<OPTION_VALUES> table = {
      {905, {2, 3}, 0xFFFF, false, "the automatic delay chains' high-fanout input pin mode"},
      {834, {220, 221, 222}, ~0, true, "a pipeline register's delay-chain setting"},
  };
  return table;
}

// Why an option or assignment of the settings has a value the component
// cannot take, or "".
std::string option_value_refusal(const host::testing::DESIGN_SETTINGS& settings, const std::string& file) {
  for (const char* list : {"options", "assignments"}) {
    const bool assignments = std::string(list) == "assignments";
    const auto& given = assignments ? settings.assignments : settings.options;
    for (std::size_t i = 0; i < given.size(); ++i)
      for (const OPTION_VALUES& rule : checked_option_values()) {
        if (given[i].id != rule.id || (assignments && !rule.per_instance)) continue;
        // The value as the component reads it.
        const int value = OMZ_OPTION(given[i].type, given[i].value).get_value();
        if (std::find(rule.allowed.begin(), rule.allowed.end(), value & rule.bits) != rule.allowed.end()) continue;
        std::string takes;
        for (std::size_t k = 0; k < rule.allowed.size(); ++k)
          takes += (k == 0 ? "" : k + 1 == rule.allowed.size() ? " or " : ", ") + std::to_string(rule.allowed[k]);
        return file + ": " + list + "[" + std::to_string(i) + "] sets option " + std::to_string(rule.id) + " (" +
               rule.what + ") to " + std::to_string(value) + "; it takes " + takes;
      }
  }
  return std::string();
}

}  // namespace

void warn_unread_cfg() {
  for (const auto& [name, origin] : host::cfg::unread_user_names()) {
    std::string shown = host::testing::printable(name);
    // A byte-order mark (two files run together) is shown, not hidden.
    for (std::size_t at; (at = shown.find("\xEF\xBB\xBF")) != std::string::npos;)
      shown.replace(at, 3, "\\xEF\\xBB\\xBF");
    std::fflush(stdout);
    std::fprintf(stderr, "velmo-fit: warning: configuration variable '%s' (%s) was not read in this run\n",
                 shown.c_str(), host::testing::printable(origin).c_str());
  }
}

void warn_bad_cfg_value(const std::string& name, const std::string& value, const char* kind) {
  std::fflush(stdout);
  std::fprintf(stderr, "velmo-fit: warning: configuration variable '%s' has the value '%s', which is no %s; its "
               "default applies\n", host::testing::printable(name).c_str(), host::testing::printable(value).c_str(),
               std::strcmp(kind, "integer") == 0 ? "integer within int" : kind);
}

// Demangled signature -> mangled name of every function libvelmo.so exports.
const std::map<std::string, std::string>& exports() {
  static const std::map<std::string, std::string> table = {
#include "velmo_exports.inc"
  };
  return table;
}

// The design snapshot each stage produces; the host sets it as the stage
// starts.
const std::map<std::string, std::string>& stage_snapshot() {
  static const std::map<std::string, std::string> m = {
      {"plan", "planned"}, {"place", "placed"}, {"route", "routed"}, {"retime", "retimed"}, {"final", "final"},
  };
  return m;
}

void set_snapshot(const std::string& name) {
  int count = 0;
  const char* const* names = JOV_SNAPSHOT_BASE::get_strings_and_size(&count);
  for (int i = 0; i < count; ++i)
    if (name == names[i]) JOV_ROOT::get()->get_design("")->set_current_snapshot(i);
}

const std::map<std::string, std::string>& stage_entry() {
  static const std::map<std::string, std::string> m = {
      {"plan", "velmo_post_plan_ops(bool)"}, {"place", "velmo_place()"},  {"route", "velmo_route()"},
      {"retime", "velmo_retime()"},          {"final", "velmo_finalize()"},
  };
  return m;
}

void* find_entry(void* lib, const std::string& signature) {
  auto it = exports().find(signature);
  if (it == exports().end()) return nullptr;
  return dlsym(lib, it->second.c_str());
}


std::string component_library_path(bool beside_program) {
  std::error_code ec;
  std::filesystem::path dir;
  if (beside_program) {
    dir = std::filesystem::read_symlink("/proc/self/exe", ec).parent_path() / "lib";
  } else {
    // This code is linked into a library in the same lib/ directory.
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&component_library_path), &info) != 0 && info.dli_fname != nullptr)
      dir = std::filesystem::weakly_canonical(info.dli_fname, ec).parent_path();
  }
  if (ec || dir.empty()) dir = ".";
  return (dir / "libvelmo.so").string();
}

std::string input_refusal(const OPTIONS& o) {
  std::vector<std::pair<std::string, std::string>> read = {{"", o.design}, {"--settings ", o.settings_file}};
  for (const auto& f : o.cfg_files) read.emplace_back("--cfg-file ", f);
  std::error_code ec;
  for (const auto& [flag, file] : read) {
    if (file.empty()) continue;
    if (std::filesystem::is_directory(file, ec))
      return flag + file + (flag.empty() ? ": is a directory, not a BLIF file" : ": is a directory, not a file");
    if (const std::string why = host::input::kind_refusal(file); !why.empty()) return flag + file + ": " + why;
  }
  return std::string();
}

namespace {
// Whether the design as read, before the dead-logic sweep, has a register
// clocked by `net` (a design input also by its buffer's name) that the
// sweep removed.
bool removed_registers_clocked_by(const OPTIONS& o, const std::string& net,
                                  const host::testing::SWEEP_RESULT& removed) {
  const std::set<std::string> names(removed.names.begin(), removed.names.end());
  host::testing::BLIF_DESIGN read;
  try {
    if (o.design.empty()) {
      std::istringstream in(kDefaultDesignText);
      read = host::testing::read_blif(in, kDefaultDesignName, true);
    } else {
      read = host::testing::read_blif_file(o.design, true);
    }
  } catch (const host::testing::BLIF_ERROR&) {
    return false;
  }
  for (const host::testing::BLIF_FF& ff : read.ffs)
    if ((ff.clock == net || ff.clock + "~ibuf" == net) && names.count(ff.q)) return true;
  return false;
}

// A settings error that quotes a name the dead-logic sweep removed says so:
// the name is in the file, but not in what was loaded. So does a clock that
// "clocks no register" only because the sweep removed its registers.
std::string removed_names_quoted(const OPTIONS& o, const std::string& message,
                                 const host::testing::SWEEP_RESULT& removed) {
  static const std::string kNoRegister = "' clocks no register";
  if (message.size() > kNoRegister.size() &&
      message.compare(message.size() - kNoRegister.size(), kNoRegister.size(), kNoRegister) == 0) {
    const std::size_t open = message.rfind('\'', message.size() - kNoRegister.size() - 1);
    const std::string net =
        open == std::string::npos ? std::string() : message.substr(open + 1, message.size() - kNoRegister.size() - open - 1);
    if (!net.empty() && removed_registers_clocked_by(o, net, removed))
      return " (the registers '" + net + "' clocks reach no output pin: the design's logic that reaches none was "
             "removed before the settings applied)";
  }
  const std::set<std::string> names(removed.names.begin(), removed.names.end());
  std::string said;
  for (std::size_t open = message.find('\''); open != std::string::npos;) {
    const std::size_t close = message.find('\'', open + 1);
    if (close == std::string::npos) break;
    const std::string name = message.substr(open + 1, close - open - 1);
    if (names.count(name) && said.find("'" + name + "'") == std::string::npos)
      said += (said.empty() ? "" : ", ") + ("'" + name + "'");
    open = message.find('\'', close + 1);
  }
  if (said.empty()) return "";
  return " (" + said + " reaches no output pin: the design's logic that reaches none was removed before the "
         "settings applied)";
}
}  // namespace

std::string cfg_refusal(int threads) {
  // The component's parallel steps take at least one thread (with none,
  // the hold fix-up's stub search starts no worker, finds no failure and
  // reports every hold failure fixed) and no more than the run has.
  for (const char* name : kThreadCountVariables) {
    int n = 0;
    if (!host::cfg::parse_int(cfg_get_value(name), &n)) continue;
    if (n < 1)
      return "configuration variable " + std::string(name) + " is " + std::to_string(n) +
             ": a thread count is at least 1";
    if (n > threads) host::cfg::set(name, std::to_string(threads));
  }
  // With the dern flow start-up lends the host none of its utilities, which
  // every stage of this host needs.
  if (cfg_is_on("use_dern_flow", false))
    return "use_dern_flow is on: velmo-fit cannot run the dern flow (start-up would lend the host none of the "
           "utilities its stages need)";
  return std::string();
}

int prepare_host(const OPTIONS& o, PREPARED* out, std::string* why) {
  if (*why = input_refusal(o); !why->empty()) return 2;
  // The design and its settings. Settings apply first, so the command line's
  // family and configuration win over them.
  host::testing::DESIGN_SETTINGS& settings = out->settings;
  host::testing::LOADED_DESIGN& design = out->design;
  try {
    if (!o.settings_file.empty()) settings = host::testing::read_design_settings_file(o.settings_file);
    // Logic from which no output pin or periphery block input can be
    // reached goes before anything is placed.
    std::vector<std::string> periphery_inputs;
    for (const auto& b : settings.periphery)
      periphery_inputs.insert(periphery_inputs.end(), b.inputs.begin(), b.inputs.end());
    design = o.design.empty()
                 ? host::testing::load_swept_blif_text(kDefaultDesignText, kDefaultDesignName, periphery_inputs)
                 : host::testing::load_swept_blif_file(o.design, periphery_inputs);
    host::testing::apply_design_settings(settings, *host::vok::top_netlist(), o.settings_file);
  } catch (const host::testing::DESIGN_LOAD_ERROR& e) {
    *why = host::testing::printable(e.what());
    return 2;
  } catch (const host::testing::DESIGN_SETTINGS_ERROR& e) {
    *why = host::testing::printable(e.what()) + removed_names_quoted(o, e.what(), design.removed);
    return 2;
  } catch (const HOST_INTERNAL_ERROR& e) {
    *why = "internal error while loading the design: " + e.condition + " (" + e.file + ":" + std::to_string(e.line) +
           ")";
    return 3;
  } catch (const std::exception& e) {
    *why = std::string("internal error while loading the design: ") + e.what();
    return 3;
  }

  // Configuration next: the component reads some values when it is loaded.
  for (const auto& f : o.cfg_files) {
    if (!host::cfg::load_file(f, why)) return 2;
  }
  for (const auto& item : o.cfg_items)
    if (!host::cfg::set_from_assignment(item, why)) return *why = "--cfg: " + *why, 2;
  if (*why = cfg_refusal(o.threads); !why->empty()) return 2;
  VERIFICATION::warn_switches_without_effect();

  std::set<std::string> declared;
  declare_default_clocks(*host::vok::top_netlist(), settings.clocks, declared);

  // A device sized to the design, with a fabric wide enough to route it. A
  // design beyond the largest device is refused before the device is built.
  const int family = o.family ? *o.family : settings.family.value_or(DeviceSpec{}.family);
  if (!is_fit_family(family)) {
    *why = o.settings_file + ": unknown or unsupported family code " + std::to_string(family) +
           " (valid: " + family_list() + ")";
    return 2;
  }
  // A stage list given on the command line obeys the family's stage rules.
  if (o.stages_given) {
    std::vector<std::string> ran;
    for (const std::string& s : o.stages) {
      if (*why = stage_refusal(ran, s, family); !why->empty()) return *why = "--stages: " + *why, 2;
      ran.push_back(s);
    }
  }
  // A per-pin delay-chain option (3000 + chain type) names a chain the
  // family has.
  for (std::size_t i = 0; i < settings.assignments.size(); ++i) {
    const int id = settings.assignments[i].id;
    const int type = id - host::dc::moz_variable_of(0);
    if (type < 0 || type >= 1000 || host::dc::is_pll_pseudo_type(type)) continue;
    if (!host::dc::table(family).chains.count(type)) {
      *why = o.settings_file + ": assignments[" + std::to_string(i) + "] sets option " + std::to_string(id) +
             ", the delay chain of type " + std::to_string(type) + ", which family " + std::to_string(family) +
             " does not have";
      return 2;
    }
  }
  if (*why = option_value_refusal(settings, o.settings_file); !why->empty()) return 2;
  if (*why = uib_esram_transfer_refusal(settings, family, o.settings_file); !why->empty()) return 2;
  const int columns = o.device_columns ? *o.device_columns : settings.device_columns.value_or(0);
  // Passes that add registers before placement get room on the device; the
  // settings' device switches are set on it.
  const int register_room = duplication_register_room(settings);
  if (!host::testing::configure_fit_device(family, why, columns, register_room, [&settings](DeviceSpec* spec) {
        host::testing::apply_device_flags(settings.device, spec);
        if (settings.wire_pipeline_slots) spec->wire_pipeline_slots = true;
      }))
    return 2;
  try {
    host::testing::place_periphery_blocks(settings, o.settings_file);
  } catch (const host::testing::DESIGN_SETTINGS_ERROR& e) {
    *why = e.what();
    return 2;
  }
  host::facade::set_placer_options(host::testing::fit_placer_options());
  // A device with the retiming flow gives the fitter the host's retiming
  // environment (pipeline-register depopulation and repopulation need it).
  static HOST_YUN_ENV host_yun_env;
  if (ZEL_DEV_ZOTA_UTIL::is_zota_device(nullptr, 1)) host::wexan::set_yun_env(&host_yun_env);
  // The design's routing database answers for the design's atoms.
  VOK_CHIP_DB_ENTRY::current()->get_routing()->attach_atom_netlist(host::vok::top_netlist(),
                                                                   VOK_TRAVERSE_HIERARCHICAL);
  return 0;
}

int place_io_and_periphery() {
  host::placement::PLACER_OPTIONS options = host::testing::fit_placer_options();
  options.io_and_periphery_only = true;
  host::placement::place(options);
  return host::w3j3::recompute_port_map();
}

}  // namespace velmo_fit
