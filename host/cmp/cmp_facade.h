#pragma once
// data: the compiler facade handed to the component at start-up: project,
// family, options, flow flags and the command line. The world owns one;
// tests and velmo-fit fill it before starting the component.
#include <string>
#include "common/host_api.h"
#include "dev/dev_family.h"

class OMZ_NAMESPACE;
class VOK_CMP_ENTRY;

class HOST_API CMP_FACADE {
public:
  CMP_FACADE();
  virtual ~CMP_FACADE();

  // The world's facade (never null).
  static CMP_FACADE* current();

  const std::string& get_project_name() const { return m_project_name; }
  void set_project_name(const std::string& n) { m_project_name = n; }
  // The device family (the internal family code of the configured device).
  DEV_FAMILY_ENUM get_family() const;
  // The project's option namespace (default section).
  OMZ_NAMESPACE* get_option_namespace() const;
  // The base name of the debug dump files (default "top").
  const std::string& get_dump_name() const { return m_dump_name; }
  void set_dump_name(const std::string& n) { m_dump_name = n; }
  const std::string& get_command_line() const { return m_command_line; }
  void set_command_line(const std::string& c) { m_command_line = c; }

  // data: the compile writes the fitter's post-operations database.
  bool is_write_fitter_post_operations_database() const { return m_write_fitter_post_operations_database; }
  void set_write_fitter_post_operations_database(bool on) { m_write_fitter_post_operations_database = on; }
  // data: the compile runs only the fitter's post operations.
  bool is_fitter_post_operations_only() const { return m_fitter_post_operations_only; }
  void set_fitter_post_operations_only(bool on) { m_fitter_post_operations_only = on; }

  // recorded: tells the compiler the timing netlist changed; reports the
  // fitter's failure.
  virtual void notify_timing_netlist_changed(int what);
  virtual void report_fitter_failure(int what);
  // data: whether the compile optimises timing (default true).
  bool is_timing_driven_compile() const { return m_timing_driven; }
  void set_timing_driven_compile(bool on) { m_timing_driven = on; }

  // ---- timing of the delay-chain passes
  // data: the compile's timing mode flag (default off) and its answer to
  // whether timing must be requested afresh (default true).
  bool get_timing_mode_flag() const { return m_timing_mode_flag; }
  void set_timing_mode_flag(bool on) { m_timing_mode_flag = on; }
  bool query_timing() const { return m_query_timing; }
  void set_query_timing(bool on) { m_query_timing = on; }
  // recorded: the compiler brings its timing up to date.
  virtual void update_timing(bool flag);
  // data: the compile's database entry (never null; vok_cmp_entry.h).
  VOK_CMP_ENTRY* get_cmp_entry() const;

  // Flow flags a compile may set.
  bool m_fitter_exit_after_preprocess = false;
  bool m_fitter_exit_after_placement = false;
  // Timing requests of debug dumps reuse the timing data already built.
  bool m_reuse_timing_for_debug_dumps = false;

private:
  std::string m_project_name = "top";
  std::string m_command_line;
  std::string m_dump_name = "top";
  bool m_write_fitter_post_operations_database = false;
  bool m_fitter_post_operations_only = false;
  bool m_timing_driven = true;
  bool m_timing_mode_flag = false;
  bool m_query_timing = true;
};
