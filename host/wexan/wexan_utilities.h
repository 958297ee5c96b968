#pragma once
// Utilities of the fitter environment that start-up makes and shut-down
// disposes of: the LUT-RAM utility (made by its own factory), the PDC
// utility, the register-packing hints for the placer-router, and the base of
// the periphery flow with its atom-modification report table.
#include <string>
#include <vector>
#include "common/host_api.h"

class WEXAN_ENV;

// One netlist modification of a report table.
struct WEXAN_PIZ_NETLIST_MOD {
  std::string name;
  int wysiwyg_type = 0;
  int action = 0;
  std::string port;
  // The node the modification led to (an absorbed atom's survivor).
  std::string dest_name;
  int dest_wysiwyg_type = 0;
  void set_dest_node(std::string name) { dest_name = std::move(name); }
  void set_dest_type(int type) { dest_wysiwyg_type = type; }
  // The destination's input port (written after its type when given).
  std::string dest_port;
};

// A report table of the fitter environment: rows are kept until flushed.
class WEXAN_ENV;
class HOST_API WEXAN_PIZ_TABLE {
public:
  explicit WEXAN_PIZ_TABLE(std::string name);
  // A netlist-modification table of the environment.
  explicit WEXAN_PIZ_TABLE(WEXAN_ENV* env);
  virtual ~WEXAN_PIZ_TABLE();
  // data: the algorithm list the rows are filed under, and the stack of
  // reasons (each row carries the innermost).
  void set_wexan_piz_table_algorithm(int list) { m_algorithm = list; }
  int get_algorithm() const { return m_algorithm; }
  const std::string& get_name() const { return m_name; }
  // data: appends one row.
  void add_row(std::vector<std::string> row);
  // data: appends the modification as a row (name, WYSIWYG type, action,
  // port, then the destination name and type when it has one).
  void add_netlist_modification(const WEXAN_PIZ_NETLIST_MOD& mod);
  // data: the rows not flushed yet.
  const std::vector<std::vector<std::string>>& rows() const { return m_rows; }
  // recorded: hands the rows to the report database
  // (host::wexan::flushed_rows) and empties the table.
  void flush();
  // data: the algorithm its rows are written for, and a stack of reasons
  // (pushing and popping are recorded).
  void set_table_algorithm(int algorithm) { m_algorithm = algorithm; }
  int get_table_algorithm() const { return m_algorithm; }
  void push_reason(int reason);
  void pop_reason();
  const std::vector<int>& get_reasons() const { return m_reasons; }

private:
  std::string m_name;
  int m_algorithm = 0;
  std::vector<int> m_reasons;
  std::vector<std::vector<std::string>> m_rows;
};

class HOST_API WEXAN_LUT_RAM_UTILITY {
public:
  // recorded: makes the utility in the given mode and lends it to the
  // registry (TIBEX_ENV::set_lut_ram_utility).
  static WEXAN_LUT_RAM_UTILITY* create_utility(int mode);
  // data: the utility made by create_utility, null after destroy_utility.
  static WEXAN_LUT_RAM_UTILITY* get_utility();
  // recorded: deletes the utility; the registry entry is left for the caller
  // to clear.
  static void destroy_utility();

  virtual ~WEXAN_LUT_RAM_UTILITY();
  // data: the mode it was made with.
  int get_mode() const { return m_mode; }
  // recorded: writes the utility's reports out.
  void flush_reports();

private:
  explicit WEXAN_LUT_RAM_UTILITY(int mode);
  int m_mode;
};

class HOST_API WEXAN_PDC_UTILITY {
public:
  WEXAN_PDC_UTILITY();
  virtual ~WEXAN_PDC_UTILITY();
  WEXAN_PDC_UTILITY(const WEXAN_PDC_UTILITY&) = delete;
  WEXAN_PDC_UTILITY& operator=(const WEXAN_PDC_UTILITY&) = delete;
  // data: the PDC mode (0 by default; 2 is extra effort).
  int get_pdc_mode() const { return m_pdc_mode; }
  void set_pdc_mode(int mode) { m_pdc_mode = mode; }
  // component: the mode is extra effort.
  inline bool extra_effort_pdc_is_on() const;
  // recorded: the extra-effort pass over the MACs after register packing.
  virtual void run_extra_effort_pdc();

private:
  int m_pdc_mode = 0;
};

class HOST_API WEXAN_REGISTER_PACKING_HINTS_FOR_VPR {
public:
  WEXAN_REGISTER_PACKING_HINTS_FOR_VPR();
  virtual ~WEXAN_REGISTER_PACKING_HINTS_FOR_VPR();
  WEXAN_REGISTER_PACKING_HINTS_FOR_VPR(const WEXAN_REGISTER_PACKING_HINTS_FOR_VPR&) = delete;
  WEXAN_REGISTER_PACKING_HINTS_FOR_VPR& operator=(const WEXAN_REGISTER_PACKING_HINTS_FOR_VPR&) = delete;
};

// Base of the periphery placement flow the component implements (live
// counter "WEXAN_PERIPHERY_FLOW").
class HOST_API WEXAN_PERIPHERY_FLOW {
public:
  WEXAN_PERIPHERY_FLOW();
  virtual ~WEXAN_PERIPHERY_FLOW();
  WEXAN_PERIPHERY_FLOW(const WEXAN_PERIPHERY_FLOW&) = delete;
  WEXAN_PERIPHERY_FLOW& operator=(const WEXAN_PERIPHERY_FLOW&) = delete;

  // component: flushes the atom-modification report table.
  virtual inline void flush_atom_mod_report();
  // data: the atom-modification report table.
  WEXAN_PIZ_TABLE* get_atom_mod_report() { return &m_atom_mod_report; }

protected:
  WEXAN_PIZ_TABLE m_atom_mod_report;
};

namespace host::wexan {
// Rows flushed so far from report tables of that name, in order.
HOST_API std::vector<std::vector<std::string>> flushed_rows(const std::string& table);
}  // namespace host::wexan

#include "wexan_utilities_sys.h"

// recorded: re-annotates the timing delays from the full routing.
HOST_API void wexan_re_annotate_delay_with_full_routing_information(WEXAN_ENV* env, bool flag);
