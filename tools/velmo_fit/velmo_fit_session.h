#pragma once
// What velmo-fit and its Tcl package share: preparing the stand-in host for a
// fit (design, settings, configuration, a device sized to the design), and
// finding the component's entry points in libvelmo.so.
#include <map>
#include <string>

#include "testing/blif_design.h"
#include "testing/design_settings.h"
#include "velmo_fit_options.h"

class CMP_FACADE;

namespace velmo_fit {

// The component's entry points the host program calls, by demangled
// signature.
inline constexpr const char* kInitialize = "velmo_initialize_fitter(CMP_FACADE*)";
inline constexpr const char* kShutdown = "velmo_shutdown_fitter()";
inline constexpr const char* kDesignWithoutDevice = "velmo_process_design_without_device()";
inline constexpr const char* kLoadUserConstraints = "velmo_load_user_constraints(bool)";
inline constexpr const char* kRouteStageOps = "VELMO_POSTROUTE_OPS::run_route_stage_ops(bool)";
inline constexpr const char* kCheckAndReport = "velmo_check_and_report(bool, bool)";

struct ENTRY_POINTS {
  bool (*initialize)(CMP_FACADE*) = nullptr;
  void (*shutdown)() = nullptr;
  bool (*design_without_device)() = nullptr;
  bool (*load_user_constraints)(bool) = nullptr;
  bool (*route_stage_ops)(bool) = nullptr;
  void (*check_and_report)(bool, bool) = nullptr;
};

// Demangled signature -> mangled name of every function libvelmo.so exports.
const std::map<std::string, std::string>& exports();
// The exported function of `lib` with that signature, or null.
void* find_entry(void* lib, const std::string& signature);

// Stage name -> the entry point that runs it, and the design snapshot it
// produces (the host sets that snapshot as the stage starts).
const std::map<std::string, std::string>& stage_entry();
const std::map<std::string, std::string>& stage_snapshot();
void set_snapshot(const std::string& name);

// The component library beside the host library: <dir>/lib/libvelmo.so for
// the directory of the running program, or of the library holding this code.
std::string component_library_path(bool beside_program);

// The period of a clock the settings give none, in ps.
inline constexpr int kDefaultClockPeriodPs = 5000;

struct PREPARED {
  host::testing::DESIGN_SETTINGS settings;
  host::testing::LOADED_DESIGN design;
};

// Why an input cannot be read ("--settings X: is a directory, not a file",
// "X: is a character device, ..." for the design), else "": each is a
// regular file, a FIFO or standard input.
std::string input_refusal(const OPTIONS& o);

// Loads the design and its settings into a freshly reset host, applies the
// configuration files and items, declares the default clocks, sizes and
// builds the device and attaches the design to its routing. Returns 0, or the
// exit status for the failure (2 bad input, 3 internal error) with its
// one-line reason in *why.
int prepare_host(const OPTIONS& o, PREPARED* out, std::string* why);
// Why the configuration as it stands cannot be fitted, or "": a thread
// count of the component below 1 (one above `threads` is lowered to it), or
// the dern flow. Checked when the fit starts and whenever the Tcl package
// changes a value.
std::string cfg_refusal(int threads);
// Before the plan stage: places the I/O pins and periphery blocks where a
// whole placement puts them (the logic stays unplaced until the place
// stage) and recomputes the port map; returns its entry count.
int place_io_and_periphery();

// One line on stderr for a configuration value a reading could not take
// (the host's listener for such values).
void warn_bad_cfg_value(const std::string& name, const std::string& value, const char* kind);

// One warning on stderr for each configuration name the user set (--cfg, a
// --cfg-file line, the Tcl package's cfg) that nothing read in this fit: a
// misspelt name, one the stages that ran do not use, or one the component
// reads once per process and read in an earlier fit.
void warn_unread_cfg();

}  // namespace velmo_fit
