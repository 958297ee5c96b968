// Host preparation and entry-point lookup shared by velmo-fit and its Tcl
// package.
#include "velmo_fit_session.h"

#include <dlfcn.h>

#include <filesystem>
#include <set>

#include "cfg/cfg.h"
#include "dev/dev_spec.h"
#include "jov/jov_design.h"
#include "jov/jov_enum.h"
#include "msg/msg_internal_error.h"
#include "sta/sta_analysis.h"
#include "tibex/tibex_placer.h"
#include "tibex/tibex_vpr_facade.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_routing.h"
#include "wexan/wexan_env.h"
#include "yun/host_yun_env.h"
#include "zel/zel_dev_zota_util.h"

#include "velmo_default_design.inc"

namespace velmo_fit {

namespace {

constexpr int kDefaultClockPeriodPs = 5000;

// Declares each net that drives a register clock of the top netlist as a
// clock, named as the net: the driver's name, or for a design input the
// pin's (its input buffer drives the net; the pad is the source, as the
// settings file has it). Clocks the settings gave keep their period.
void declare_default_clocks(const VOK_ATOM_NETLIST& top, const std::map<std::string, int>& given) {
  std::set<std::string> declared;
  for (const VOK_ATOM_NODE* a : top.get_atom_list()) {
    if (a->get_kind() != VOK_ATOM_KIND::CORE_REGISTER && a->get_kind() != VOK_ATOM_KIND::PIPELINE_REGISTER) continue;
    const VOK_ATOM_ITERM* clk = a->get_input_term_by_type(DB_INPUT_PORT_CLK, 0);
    const VOK_ATOM_OTERM* source = clk ? clk->get_source(VOK_TRAVERSE_AS_STORED) : nullptr;
    if (!source) continue;
    if (source->get_my_node()->get_kind() == VOK_ATOM_KIND::IBUF)
      if (const VOK_ATOM_ITERM* in = source->get_my_node()->get_input_term_by_type(DB_INPUT_PORT_BOX, 0))
        if (const VOK_ATOM_OTERM* pad = in->get_source(VOK_TRAVERSE_AS_STORED)) source = pad;
    const std::string net = source->get_my_node()->get_string_hpath();
    if (given.count(net) || !declared.insert(net).second) continue;
    host::timing::declare_clock(net, kDefaultClockPeriodPs, source);
  }
}


}  // namespace

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

int prepare_host(const OPTIONS& o, PREPARED* out, std::string* why) {
  // The design and its settings. Settings apply first, so the command line's
  // family and configuration win over them.
  host::testing::DESIGN_SETTINGS& settings = out->settings;
  host::testing::LOADED_DESIGN& design = out->design;
  try {
    if (!o.settings_file.empty()) settings = host::testing::read_design_settings_file(o.settings_file);
    design = o.design.empty() ? host::testing::load_blif_text(kDefaultDesignText, kDefaultDesignName)
                              : host::testing::load_blif_file(o.design);
    host::testing::apply_design_settings(settings, *host::vok::top_netlist(), o.settings_file);
  } catch (const host::testing::DESIGN_LOAD_ERROR& e) {
    *why = e.what();
    return 2;
  } catch (const host::testing::DESIGN_SETTINGS_ERROR& e) {
    *why = e.what();
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
  for (const auto& item : o.cfg_items) host::cfg::set_from_assignment(item, nullptr);
  // With the dern flow start-up lends the host none of its utilities, which
  // every stage of this host needs.
  if (cfg_is_on("use_dern_flow", false)) {
    *why = "use_dern_flow is on: velmo-fit cannot run the dern flow (start-up would lend the host none of the "
           "utilities its stages need)";
    return 2;
  }

  declare_default_clocks(*host::vok::top_netlist(), settings.clocks);

  // A device sized to the design, with a fabric wide enough to route it. A
  // design beyond the largest device is refused before the device is built.
  const int family = o.family ? *o.family : settings.family.value_or(DeviceSpec{}.family);
  if (!is_fit_family(family)) {
    *why = o.settings_file + ": unknown or unsupported family code " + std::to_string(family) +
           " (valid: " + family_list() + ")";
    return 2;
  }
  if (!host::testing::configure_fit_device(family, why)) return 2;
  if (settings.wire_pipeline_slots) {
    DeviceSpec spec = host::device::spec();
    spec.wire_pipeline_slots = true;
    host::device::configure(spec);
  }
  host::placement::PLACER_OPTIONS placer_options;
  placer_options.lab_atom_limit = host::testing::kFitLabAtomLimit;
  host::facade::set_placer_options(placer_options);
  // A device with the retiming flow gives the fitter the host's retiming
  // environment (pipeline-register depopulation and repopulation need it).
  static HOST_YUN_ENV host_yun_env;
  if (ZEL_DEV_ZOTA_UTIL::is_zota_device(nullptr, 1)) host::wexan::set_yun_env(&host_yun_env);
  // The design's routing database answers for the design's atoms.
  VOK_CHIP_DB_ENTRY::current()->get_routing()->attach_atom_netlist(host::vok::top_netlist(),
                                                                   VOK_TRAVERSE_HIERARCHICAL);
  return 0;
}

}  // namespace velmo_fit
