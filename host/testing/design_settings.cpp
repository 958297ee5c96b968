#include "testing/design_settings.h"

#include "sta/sta_io_constraints.h"
#include "yova/yova_util.h"

#include <cmath>
#include <fstream>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "cfg/cfg.h"
#include "omz/omz_option.h"
#include "sta/sta_analysis.h"

namespace host::testing {

namespace {

using nlohmann::json;

class PARSER {
public:
  explicit PARSER(std::string file) : m_file(std::move(file)) {}

  [[noreturn]] void fail(const std::string& what) const { throw DESIGN_SETTINGS_ERROR(m_file + ": " + what); }

  int integer(const json& v, const std::string& where) const {
    if (v.is_number_float() && !std::isfinite(v.get<double>())) fail(where + " is out of range");
    if (!v.is_number_integer()) fail(where + " must be an integer");
    const auto n = v.get<long long>();
    if (n < INT32_MIN || n > INT32_MAX) fail(where + " is out of range");
    return static_cast<int>(n);
  }

  std::string text(const json& v, const std::string& where) const {
    if (v.is_string()) return v.get<std::string>();
    if (v.is_boolean()) return v.get<bool>() ? "on" : "off";
    if (v.is_number_integer()) return std::to_string(v.get<long long>());
    fail(where + " must be a string, a boolean or an integer");
  }

  DESIGN_SETTINGS::OPTION option(const json& o, const std::string& where, bool with_instance) const {
    if (!o.is_object()) fail(where + " must be an object");
    DESIGN_SETTINGS::OPTION opt;
    bool has_id = false, has_value = false;
    for (const auto& [key, v] : o.items()) {
      if (key == "id") {
        opt.id = integer(v, where + ".id");
        has_id = true;
      } else if (key == "type") {
        opt.type = integer(v, where + ".type");
        if (opt.type != 1 && opt.type != 4 && opt.type != 6) fail(where + ".type must be 1, 4 or 6");
      } else if (key == "value") {
        opt.value = text(v, where + ".value");
        has_value = true;
      } else if (key == "instance" && with_instance) {
        if (!v.is_string() || v.get<std::string>().empty()) fail(where + ".instance must be a non-empty string");
        opt.instance = v.get<std::string>();
      } else {
        fail("unknown key '" + key + "' in " + where);
      }
    }
    if (!has_id) fail(where + " needs an 'id'");
    if (!has_value) fail(where + " needs a 'value'");
    if (with_instance && opt.instance.empty()) fail(where + " needs an 'instance'");
    return opt;
  }

  DESIGN_SETTINGS parse(const std::string& text_in) const {
    json j;
    try {
      j = json::parse(text_in);
    } catch (const json::exception& e) {
      // Syntax errors and numbers out of range alike.
      fail(std::string("not valid JSON: ") + e.what());
    }
    if (!j.is_object()) fail("the settings must be a JSON object");
    DESIGN_SETTINGS s;
    for (const auto& [key, v] : j.items()) {
      if (key == "family") {
        s.family = integer(v, "family");
        if (*s.family <= 0) fail("family must be a positive family code");
      } else if (key == "options" || key == "assignments") {
        if (!v.is_array()) fail(key + " must be a list");
        auto& list = key == "options" ? s.options : s.assignments;
        for (std::size_t i = 0; i < v.size(); ++i)
          list.push_back(option(v[i], key + "[" + std::to_string(i) + "]", key == "assignments"));
      } else if (key == "cfg") {
        if (!v.is_object()) fail("cfg must be an object of name: value");
        for (const auto& [name, value] : v.items()) {
          if (name.empty()) fail("cfg has an empty variable name");
          s.cfg[name] = text(value, "cfg." + name);
        }
      } else if (key == "clocks") {
        if (!v.is_object()) fail("clocks must be an object of net: period in ps");
        for (const auto& [name, period] : v.items()) {
          const int ps = integer(period, "clocks." + name);
          if (ps <= 0) fail("clocks." + name + " must be a positive period in ps");
          s.clocks[name] = ps;
        }
      } else if (key == "io_delays") {
        if (!v.is_object()) fail("io_delays must be an object of pin: {clock, max, min}");
        for (const auto& [pin, d] : v.items()) {
          const std::string where = "io_delays." + pin;
          if (!d.is_object()) fail(where + " must be an object with clock, max and min");
          DESIGN_SETTINGS::IO_DELAY io;
          bool has_clock = false, has_max = false, has_min = false;
          for (const auto& [k, x] : d.items()) {
            if (k == "clock") {
              if (!x.is_string() || x.get<std::string>().empty()) fail(where + ".clock must be a clock name");
              io.clock = x.get<std::string>();
              has_clock = true;
            } else if (k == "max") {
              io.max_ps = integer(x, where + ".max");
              has_max = true;
            } else if (k == "min") {
              io.min_ps = integer(x, where + ".min");
              has_min = true;
            } else {
              fail("unknown key '" + k + "' in " + where);
            }
          }
          if (!has_clock || !has_max || !has_min) fail(where + " needs a clock, a max and a min");
          if (io.min_ps > io.max_ps) fail(where + ".min must not exceed its max");
          s.io_delays[pin] = io;
        }
      } else if (key == "wire_pipeline_slots") {
        if (!v.is_boolean()) fail("wire_pipeline_slots must be true or false");
        s.wire_pipeline_slots = v.get<bool>();
      } else if (key == "global_clocks") {
        if (!v.is_array()) fail("global_clocks must be a list of clock nets");
        for (std::size_t i = 0; i < v.size(); ++i) s.global_clocks.push_back(text(v[i], "global_clocks[" + std::to_string(i) + "]"));
      } else if (key == "eda") {
        if (!v.is_object()) fail("eda must be an object");
        DESIGN_SETTINGS::EDA eda;
        for (const auto& [name, value] : v.items()) {
          if (name == "output_dir") {
            eda.output_dir = text(value, "eda.output_dir");
          } else if (name == "netlist_type") {
            eda.netlist_type = integer(value, "eda.netlist_type");
            if (eda.netlist_type < 2 || eda.netlist_type > 4) fail("eda.netlist_type must be 2, 3 or 4");
          } else {
            fail("unknown key 'eda." + name + "'");
          }
        }
        s.eda = eda;
      } else if (key == "partitions") {
        s.partitions = parse_partition_settings(v.dump(), m_file);
      } else {
        fail("unknown key '" + key + "'");
      }
    }
    return s;
  }

private:
  std::string m_file;
};

}  // namespace

DESIGN_SETTINGS parse_design_settings(const std::string& text, const std::string& file) {
  return PARSER(file).parse(text);
}

DESIGN_SETTINGS read_design_settings_file(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw DESIGN_SETTINGS_ERROR(path + ": cannot open the file");
  std::stringstream ss;
  ss << in.rdbuf();
  return parse_design_settings(ss.str(), path);
}

void apply_design_settings(const DESIGN_SETTINGS& s, const VOK_ATOM_NETLIST& netlist, const std::string& file) {
  std::map<std::string, const VOK_ATOM_NODE*> names;
  for (const VOK_ATOM_NODE* a : netlist.get_atom_list()) names.emplace(a->get_string_hpath(), a);
  for (const auto& a : s.assignments)
    if (!names.count(a.instance))
      throw DESIGN_SETTINGS_ERROR(file + ": assignment to '" + a.instance + "', which is no instance of the design");
  for (const auto& [clock, period] : s.clocks) {
    if (!names.count(clock))
      throw DESIGN_SETTINGS_ERROR(file + ": clock '" + clock + "' is no net of the design");
    // A pad's option term is no net.
    bool drives = false;
    for (const VOK_ATOM_OTERM* o : names.at(clock)->coterms())
      drives = drives || o->get_port_type() != DB_OUTPUT_PORT_PAD_IO;
    if (!drives)
      throw DESIGN_SETTINGS_ERROR(file + ": clock '" + clock + "' names '" + clock +
                                  "', which drives no net (an output pin?)");
  }
  for (const auto& [pin, io] : s.io_delays) {
    auto it = names.find(pin);
    if (it == names.end() || !it->second->is_pin())
      throw DESIGN_SETTINGS_ERROR(file + ": I/O delay of '" + pin + "', which is no pin of the design");
    if (!s.clocks.count(io.clock))
      throw DESIGN_SETTINGS_ERROR(file + ": I/O delay of '" + pin + "' names clock '" + io.clock +
                                  "', which is not in clocks");
  }
  for (const auto& clock : s.global_clocks)
    if (!names.count(clock))
      throw DESIGN_SETTINGS_ERROR(file + ": global clock '" + clock + "' is no net of the design");
  apply_partition_settings(s.partitions, file);
  for (const auto& o : s.options) host::options::set(o.id, o.type, o.value);
  for (const auto& a : s.assignments) host::options::set(a.id, a.type, a.value, a.instance);
  for (const auto& [name, value] : s.cfg) host::cfg::set(name, value);
  if (s.eda) host::yova::set_tool(2, s.eda->output_dir, s.eda->netlist_type);
  // A clock's source is the primary output of the atom of its name (for a
  // design input, its pad).
  for (const auto& [clock, period] : s.clocks) {
    const VOK_ATOM_NODE* a = names.at(clock);
    const VOK_ATOM_OTERM* source = nullptr;
    for (const VOK_ATOM_OTERM* o : a->coterms()) {
      source = o;
      break;
    }
    host::timing::declare_clock(clock, period, source);
  }
  for (const auto& [pin, io] : s.io_delays)
    host::timing::set_io_delay(names.at(pin)->get_id(), {io.clock, io.max_ps, io.min_ps});
  // Registers clocked by a global clock read it over a global network
  // (connection code 5, GCLK); a design input's clock arrives through its
  // input buffer.
  constexpr int kGlobalClockCode = 5;
  for (const VOK_ATOM_NODE* a : netlist.get_atom_list()) {
    if (!a->is_ff()) continue;
    VOK_ATOM_ITERM* clk = a->get_input_term_by_type(DB_INPUT_PORT_CLK, 0);
    const VOK_ATOM_OTERM* src = clk ? clk->get_source(VOK_TRAVERSE_AS_STORED) : nullptr;
    if (src == nullptr) continue;
    const std::string net = src->get_my_node()->get_string_hpath();
    for (const auto& clock : s.global_clocks)
      if (net == clock || net == clock + "~ibuf") clk->set_connection_code(kGlobalClockCode);
  }
}

}  // namespace host::testing
