#pragma once
// data: the EDA tool settings of the project: per tool category, the
// directory the tool's netlists go to and their language (2 VHDL, 3
// Verilog, 4 SystemVerilog). Defaults: "simulation" and 3.
#include <string>
#include "common/host_api.h"

class OMZ_NAMESPACE;

class HOST_API YOVA_TOOL {
public:
  YOVA_TOOL(std::string output_dir, int netlist_type)
      : m_output_dir(std::move(output_dir)), m_netlist_type(netlist_type) {}
  const std::string& output_dir() const { return m_output_dir; }
  int get_eda_netlist_type() const { return m_netlist_type; }

private:
  std::string m_output_dir;
  int m_netlist_type;
};

class HOST_API YOVA_UTIL {
public:
  explicit YOVA_UTIL(const OMZ_NAMESPACE* name_space) : m_namespace(name_space) {}
  // The tool of the category, owned by the caller. Recorded.
  YOVA_TOOL* get_tool(int category) const;

private:
  const OMZ_NAMESPACE* m_namespace;
};

namespace host::yova {
HOST_API void set_tool(int category, const std::string& output_dir, int netlist_type);
}  // namespace host::yova
