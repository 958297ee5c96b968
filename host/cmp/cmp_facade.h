#pragma once
// data: the compiler facade handed to the component at start-up: project,
// family, options, flow flags and the command line. The world owns one;
// tests and velmo-fit fill it before starting the component.
#include <string>
#include "common/host_api.h"
#include "dev/dev_family.h"

class OMZ_NAMESPACE;

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
  // Flow flags a compile may set.
  bool m_fitter_exit_after_preprocess = false;
  bool m_fitter_exit_after_placement = false;

private:
  std::string m_project_name = "top";
  std::string m_command_line;
  bool m_write_fitter_post_operations_database = false;
  bool m_fitter_post_operations_only = false;
};
