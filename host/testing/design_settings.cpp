#include "testing/design_settings.h"

#include "sta/sta_io_constraints.h"
#include "yova/yova_util.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "cfg/cfg.h"
#include "common/host_input.h"
#include "omz/omz_option.h"
#include "dev/dev_grid.h"
#include "sta/sta_analysis.h"
#include "testing/netlist_builder.h"
#include "wump/wump_die_info.h"
#include "zel/zel_clkbuf_util.h"

namespace host::testing {

namespace {

using nlohmann::json;

// The clock type of a low-power clock buffer.
constexpr int kLpclkClockType = 7;

class PARSER {
public:
  explicit PARSER(std::string file) : m_file(std::move(file)) {}

  [[noreturn]] void fail(const std::string& what) const { throw DESIGN_SETTINGS_ERROR(m_file + ": " + what); }

  int integer(const json& v, const std::string& where) const {
    if (v.is_number_float() && !std::isfinite(v.get<double>())) fail(where + " is out of range");
    if (!v.is_number_integer()) fail(where + " must be an integer");
    // Beyond 2^63 the number is unsigned: read as signed it would wrap.
    if (v.is_number_unsigned() && v.get<unsigned long long>() > static_cast<unsigned long long>(INT32_MAX))
      fail(where + " is out of range");
    const auto n = v.get<long long>();
    if (n < INT32_MIN || n > INT32_MAX) fail(where + " is out of range");
    return static_cast<int>(n);
  }

  // An integer within the range the table gives for `key`.
  int ranged(const json& v, const std::string& key, const std::string& where) const {
    const SETTING_RANGE* r = setting_range(key);
    if (r == nullptr) fail(where + ": no range for '" + key + "'");
    const int n = integer(v, where);
    if (n < r->low || n > r->high)
      fail(where + " is out of range (" + std::to_string(r->low) + " to " + std::to_string(r->high) + ")");
    return n;
  }

  std::string text(const json& v, const std::string& where) const {
    if (v.is_string()) return v.get<std::string>();
    if (v.is_boolean()) return v.get<bool>() ? "on" : "off";
    if (v.is_number_unsigned()) return std::to_string(v.get<unsigned long long>());
    if (v.is_number_integer()) return std::to_string(v.get<long long>());
    fail(where + " must be a string, a boolean or an integer");
  }

  DESIGN_SETTINGS::OPTION option(const json& o, const std::string& where, bool with_instance) const {
    if (!o.is_object()) fail(where + " must be an object");
    DESIGN_SETTINGS::OPTION opt;
    bool has_id = false, has_value = false;
    for (const auto& [key, v] : o.items()) {
      if (key == "id") {
        opt.id = ranged(v, "options.id", where + ".id");
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
    // The value must read as its type: an integer (type 6 compared as 16
    // bits, so 0 to 65535) or a boolean.
    bool b = false;
    int n = 0;
    if (opt.type == 1 && !host::cfg::parse_bool(opt.value, &b))
      fail(where + ".value '" + opt.value + "' is no boolean (type 1)");
    if ((opt.type == 4 || opt.type == 6) && !host::cfg::parse_int(opt.value, &n))
      fail(where + ".value '" + opt.value + "' is no integer within int (type " + std::to_string(opt.type) + ")");
    if (opt.type == 6 && (n < 0 || n > 65535)) fail(where + ".value " + opt.value + " is out of range (0 to 65535, type 6)");
    return opt;
  }

  std::vector<std::string> nets(const json& v, const std::string& where) const {
    if (!v.is_array()) fail(where + " must be a list of nets");
    if (v.size() > 4) fail(where + " has more than 4 nets (a block has 4 ports each way)");
    std::vector<std::string> out;
    for (std::size_t i = 0; i < v.size(); ++i) {
      const std::string w = where + "[" + std::to_string(i) + "]";
      if (!v[i].is_string() || v[i].get<std::string>().empty()) fail(w + " must be a net name");
      out.push_back(v[i].get<std::string>());
    }
    return out;
  }

  DESIGN_SETTINGS::PERIPHERY_BLOCK periphery_block(const json& o, std::size_t i) const {
    const std::string where = "periphery[" + std::to_string(i) + "]";
    if (!o.is_object()) fail(where + " must be an object");
    DESIGN_SETTINGS::PERIPHERY_BLOCK b;
    bool has_site = false;
    for (const auto& [key, v] : o.items()) {
      if (key == "name") {
        if (!v.is_string() || v.get<std::string>().empty()) fail(where + ".name must be a non-empty string");
        b.name = v.get<std::string>();
      } else if (key == "kind") {
        if (!v.is_string() || (v.get<std::string>() != "UIB" && v.get<std::string>() != "ESRAM"))
          fail(where + ".kind must be \"UIB\" or \"ESRAM\"");
        b.kind = v.get<std::string>();
      } else if (key == "site") {
        if (!v.is_array() || v.size() != 2) fail(where + ".site must be [x, y]");
        b.x = integer(v[0], where + ".site[0]");
        b.y = integer(v[1], where + ".site[1]");
        has_site = true;
      } else if (key == "inputs" || key == "outputs") {
        (key == "inputs" ? b.inputs : b.outputs) = nets(v, where + "." + key);
      } else {
        fail("unknown key '" + key + "' in " + where);
      }
    }
    if (b.name.empty()) fail(where + " needs a 'name'");
    if (b.kind.empty()) fail(where + " needs a 'kind'");
    if (!has_site) fail(where + " needs a 'site'");
    if (b.inputs.empty() && b.outputs.empty()) fail(where + " connects no net");
    return b;
  }

  DESIGN_SETTINGS parse(const std::string& text_in) const {
    json j;
    // A key given twice in one object would silently lose one of its values.
    std::vector<std::set<std::string>> keys;
    std::string twice;
    const json::parser_callback_t note_keys = [&](int, json::parse_event_t event, json& parsed) {
      if (event == json::parse_event_t::object_start) keys.emplace_back();
      if (event == json::parse_event_t::object_end && !keys.empty()) keys.pop_back();
      if (event == json::parse_event_t::key && !keys.empty() && !keys.back().insert(parsed.get<std::string>()).second &&
          twice.empty())
        twice = parsed.get<std::string>();
      return true;
    };
    try {
      j = json::parse(text_in, note_keys);
    } catch (const json::exception& e) {
      // Syntax errors and numbers out of range alike.
      fail(std::string("not valid JSON: ") + e.what());
    }
    if (!twice.empty()) fail("the key '" + twice + "' is given twice in one object");
    if (!j.is_object()) fail("the settings must be a JSON object");
    DESIGN_SETTINGS s;
    for (const auto& [key, v] : j.items()) {
      if (key == "family") {
        s.family = ranged(v, "family", "family");
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
          s.clocks[name] = ranged(period, "clocks.*", "clocks." + name);
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
              io.max_ps = ranged(x, "io_delays.*.max", where + ".max");
              has_max = true;
            } else if (k == "min") {
              io.min_ps = ranged(x, "io_delays.*.min", where + ".min");
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
            eda.netlist_type = ranged(value, "eda.netlist_type", "eda.netlist_type");
          } else {
            fail("unknown key 'eda." + name + "'");
          }
        }
        s.eda = eda;
      } else if (key == "device_columns") {
        s.device_columns = ranged(v, "device_columns", "device_columns");
      } else if (key == "partitions") {
        s.partitions = parse_partition_settings(v.dump(), m_file);
      } else if (key == "device") {
        s.device = device_flags(v);
      } else if (key == "periphery") {
        if (!v.is_array()) fail("periphery must be a list of blocks");
        for (std::size_t i = 0; i < v.size(); ++i) s.periphery.push_back(periphery_block(v[i], i));
      } else if (key == "lpclk") {
        if (!v.is_array()) fail("lpclk must be a list of clock nets");
        for (std::size_t i = 0; i < v.size(); ++i) s.lpclk.push_back(text(v[i], "lpclk[" + std::to_string(i) + "]"));
      } else {
        fail("unknown key '" + key + "'");
      }
    }
    return s;
  }

  // "device": {name: bool, ...} with names of device_flag_names().
  std::map<std::string, bool> device_flags(const json& v) const {
    if (!v.is_object()) fail("device must be an object of switch: true or false");
    const std::vector<std::string>& known = device_flag_names();
    std::map<std::string, bool> flags;
    for (const auto& [name, value] : v.items()) {
      if (std::find(known.begin(), known.end(), name) == known.end()) {
        std::string list;
        for (const std::string& k : known) list += (list.empty() ? "" : ", ") + k;
        fail("unknown device switch 'device." + name + "' (valid: " + list + ")");
      }
      if (!value.is_boolean()) fail("device." + name + " must be true or false");
      flags[name] = value.get<bool>();
    }
    return flags;
  }

private:
  std::string m_file;
};

}  // namespace

// The range of every numeric setting; the README's settings section lists
// the same. A key is the setting's path with '*' for a name the file
// chooses.
const std::vector<SETTING_RANGE>& setting_ranges() {
  static const std::vector<SETTING_RANGE> ranges = {
      {"family", 1, INT32_MAX, "a device family code (one velmo-fit fits)"},
      {"options.id", 0, 65535, "project option and assignment ids"},
      {"clocks.*", 1, kMaxSettingsTimePs, "clock period, ps"},
      {"io_delays.*.max", -kMaxSettingsTimePs, kMaxSettingsTimePs, "I/O delay, ps"},
      {"io_delays.*.min", -kMaxSettingsTimePs, kMaxSettingsTimePs, "I/O delay, ps"},
      {"eda.netlist_type", 2, 4, "2 VHDL, 3 Verilog, 4 SystemVerilog"},
      {"device_columns", 12, 120, "the device of the series to fit on, by columns"},
  };
  return ranges;
}

const SETTING_RANGE* setting_range(const std::string& key) {
  for (const SETTING_RANGE& r : setting_ranges())
    if (key == r.key) return &r;
  return nullptr;
}

const std::vector<std::string>& device_flag_names() {
  static const std::vector<std::string> names{"early_retiming", "zota_depopulation", "zota_depopulation_by_instance",
                                              "rfpar", "zento_aware_optimize_timing"};
  return names;
}

void apply_device_flags(const std::map<std::string, bool>& flags, DeviceSpec* spec) {
  const std::map<std::string, bool DeviceSpec::*> members{
      {"early_retiming", &DeviceSpec::early_retiming},
      {"zota_depopulation", &DeviceSpec::zota_depopulation},
      {"zota_depopulation_by_instance", &DeviceSpec::zota_depopulation_by_instance},
      {"rfpar", &DeviceSpec::rfpar},
      {"zento_aware_optimize_timing", &DeviceSpec::zento_aware_optimize_timing}};
  for (const auto& [name, on] : flags) spec->*members.at(name) = on;
}

DESIGN_SETTINGS parse_design_settings(const std::string& text, const std::string& file) {
  return PARSER(file).parse(text);
}

DESIGN_SETTINGS read_design_settings_file(const std::string& path) {
  input::LIMITED_FILE in(path);
  if (!in.is_open()) throw DESIGN_SETTINGS_ERROR(path + ": cannot open the file");
  std::stringstream ss;
  ss << in.rdbuf();
  if (in.too_large()) throw DESIGN_SETTINGS_ERROR(path + ": " + input::too_large_text());
  return parse_design_settings(ss.str(), path);
}

namespace {

// When `name` is no pin but the base of bus pins (the netlists show a bus
// as one port), what the I/O delay must name instead: "'d[0]' ... 'd[7]'"
// for the input pins d[0] to d[7]; for an output bus, named with or without
// "out:", its pads "'out:q[0]' ... 'out:q[3]'". "" when no pin has the base.
std::string bus_pins_of_base(const std::string& name, const std::map<std::string, const VOK_ATOM_NODE*>& atoms) {
  static const std::string out = "out:";
  const bool as_output = name.rfind(out, 0) == 0;
  const std::string base = as_output ? name.substr(out.size()) : name;
  std::map<std::string, std::set<int>> bits;  // the pins' prefix ("" or "out:") -> their indices
  for (const auto& [pin, atom] : atoms) {
    if (!atom->is_pin()) continue;
    const std::string prefix = pin.rfind(out, 0) == 0 ? out : "";
    if (as_output && prefix.empty()) continue;
    if (pin.rfind(prefix + base + "[", 0) != 0 || pin.back() != ']') continue;
    const std::size_t open = prefix.size() + base.size();
    const std::string digits = pin.substr(open + 1, pin.size() - open - 2);
    if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos) continue;
    bits[prefix].insert(std::stoi(digits));
  }
  std::string forms;
  for (const auto& [prefix, indices] : bits) {
    auto form = [&, &prefix = prefix](int index) { return "'" + prefix + base + "[" + std::to_string(index) + "]'"; };
    forms += (forms.empty() ? "" : "; ") + form(*indices.begin());
    if (indices.size() > 1) forms += " ... " + form(*indices.rbegin());
  }
  return forms;
}

}  // namespace

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
  // Two clocks on one net (a design input and its input buffer, say).
  std::map<const VOK_ATOM_NODE*, std::string> clock_nets;
  for (const auto& [clock, period] : s.clocks) {
    const VOK_ATOM_NODE* net = names.at(clock);
    if (net->get_kind() == VOK_ATOM_KIND::IBUF)
      if (const VOK_ATOM_ITERM* in = net->get_input_term_by_type(DB_INPUT_PORT_BOX, 0))
        if (const VOK_ATOM_OTERM* pad = in->get_source(VOK_TRAVERSE_AS_STORED)) net = pad->get_my_node();
    auto [it, fresh] = clock_nets.emplace(net, clock);
    if (!fresh)
      throw DESIGN_SETTINGS_ERROR(file + ": clocks '" + it->second + "' and '" + clock + "' name the same net");
  }
  for (const auto& [pin, io] : s.io_delays) {
    auto it = names.find(pin);
    if (it == names.end() || !it->second->is_pin()) {
      if (const std::string bits = bus_pins_of_base(pin, names); !bits.empty())
        throw DESIGN_SETTINGS_ERROR(file + ": I/O delay of '" + pin +
                                    "', which is a bus base, not a pin: name each bit, " + bits);
      throw DESIGN_SETTINGS_ERROR(file + ": I/O delay of '" + pin + "', which is no pin of the design");
    }
    if (!s.clocks.count(io.clock))
      throw DESIGN_SETTINGS_ERROR(file + ": I/O delay of '" + pin + "' names clock '" + io.clock +
                                  "', which is not in clocks");
  }
  std::set<std::string> clock_inputs;  // nets that clock a register
  for (const VOK_ATOM_NODE* a : netlist.get_atom_list()) {
    const VOK_ATOM_ITERM* clk = a->is_ff() ? a->get_input_term_by_type(DB_INPUT_PORT_CLK, 0) : nullptr;
    const VOK_ATOM_OTERM* src = clk ? clk->get_source(VOK_TRAVERSE_AS_STORED) : nullptr;
    if (src != nullptr && src->get_my_node() != nullptr) clock_inputs.insert(src->get_my_node()->get_string_hpath());
  }
  for (const auto& clock : s.global_clocks) {
    if (!names.count(clock))
      throw DESIGN_SETTINGS_ERROR(file + ": global clock '" + clock + "' is no net of the design");
    if (!clock_inputs.count(clock) && !clock_inputs.count(clock + "~ibuf"))
      throw DESIGN_SETTINGS_ERROR(file + ": global clock '" + clock + "' clocks no register");
  }
  // The driver of a net: a design input's net is its input buffer's output.
  auto driver = [&](const std::string& net, const std::string& what) -> VOK_ATOM_OTERM* {
    auto it = names.find(net);
    if (it != names.end() && it->second->get_kind() == VOK_ATOM_KIND::PAD) it = names.find(net + "~ibuf");
    if (it != names.end())
      for (VOK_ATOM_OTERM* o : const_cast<VOK_ATOM_NODE*>(it->second)->oterms())
        if (o->get_port_type() != DB_OUTPUT_PORT_PAD_IO) return o;
    throw DESIGN_SETTINGS_ERROR(file + ": " + what + " names '" + net + "', which is no net of the design");
  };
  std::set<std::string> taken;
  // A net is taken over (its loads moved behind a block's output or a
  // buffer) at most once, and never by a block that also reads it: each
  // would change the netlist other than asked (a block feeding itself, a
  // second block or buffer left driving nothing).
  std::map<const VOK_ATOM_OTERM*, std::string> taken_over;  // net -> who took it over
  for (const auto& b : s.periphery) {
    const std::string block = "periphery block '" + b.name + "'";
    if (names.count(b.name) || !taken.insert(b.name).second)
      throw DESIGN_SETTINGS_ERROR(file + ": " + block + " has the name of another instance");
    std::map<const VOK_ATOM_OTERM*, std::string> read;
    for (const auto& net : b.inputs) read.emplace(driver(net, block), net);
    for (const auto& net : b.outputs) {
      const VOK_ATOM_OTERM* term = driver(net, block);
      if (auto it = read.find(term); it != read.end())
        throw DESIGN_SETTINGS_ERROR(file + ": " + block + " reads and drives the net '" + net +
                                    "': the block would feed itself");
      if (auto [it, fresh] = taken_over.emplace(term, block); !fresh)
        throw DESIGN_SETTINGS_ERROR(file + ": " + block + " takes over the net '" + net + "', which " + it->second +
                                    " has taken over already");
    }
  }
  for (const auto& clock : s.lpclk) {
    const VOK_ATOM_OTERM* term = driver(clock, "lpclk");
    if (names.count(clock + "~lpclk") || !taken.insert(clock + "~lpclk").second)
      throw DESIGN_SETTINGS_ERROR(file + ": lpclk '" + clock + "' is given twice");
    // The buffer has no site of its own: only a clock network reaches the
    // loads it takes over, so a net that clocks no register cannot take one.
    if (!clock_inputs.count(clock) && !clock_inputs.count(clock + "~ibuf"))
      throw DESIGN_SETTINGS_ERROR(file + ": lpclk '" + clock + "' clocks no register");
    if (auto [it, fresh] = taken_over.emplace(term, "lpclk '" + clock + "'"); !fresh)
      throw DESIGN_SETTINGS_ERROR(file + ": lpclk '" + clock + "' names the net " + it->second +
                                  " has taken over already" +
                                  (it->second.rfind("lpclk", 0) == 0 ? " (two buffers in series)" : ""));
  }
  // Registers clocked by a global clock read it over a global network
  // (connection code 5, GCLK); a design input's clock arrives through its
  // input buffer. Marked while the design is still flat: the partitions'
  // registers read their clock through a port afterwards.
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
  // Periphery blocks stay in the top partition and reach only its nets: a
  // net driven inside another partition, or one whose loads a block would
  // take over inside another partition, would cross a partition boundary the
  // blocks have no port for. Refused before any block is made.
  auto partition_of = [](const VOK_ATOM_NODE* a) -> std::string {
    const VOK_ATOM_NETLIST* in = a->get_parent_netlist();
    const VOK_ATOM_BLACKBOX* box = in != nullptr ? in->get_parent_box() : nullptr;
    return box != nullptr ? box->get_string_hpath() : std::string();
  };
  for (const auto& b : s.periphery) {
    auto refuse = [&](const std::string& net, const std::string& partition, const char* how) {
      throw DESIGN_SETTINGS_ERROR(file + ": periphery block '" + b.name + "': the net '" + net + "' " + how +
                                  " partition '" + partition +
                                  "'; periphery blocks connect only to nets of the top partition '|'");
    };
    for (const auto* nets : {&b.inputs, &b.outputs})
      for (const auto& net : *nets) {
        const VOK_ATOM_OTERM* from = driver(net, "");
        if (const std::string p = partition_of(from->get_my_node()); !p.empty()) refuse(net, p, "is driven in");
        if (nets == &b.inputs) continue;
        for (const VOK_ATOM_ITERM* f = from->get_first_fanout(VOK_TRAVERSE_AS_STORED); f;
             f = f->get_next_fanout(VOK_TRAVERSE_AS_STORED))
          if (f->get_my_node()->is_box()) refuse(net, f->get_my_node()->get_string_hpath(), "has loads in");
      }
  }
  // Periphery blocks: inputs tap their nets, outputs take their nets' loads.
  auto n = host::testing::netlist();
  for (const auto& b : s.periphery) {
    auto block = n.atom(b.kind == "UIB" ? VOK_ATOM_KIND::UFI_UIB : VOK_ATOM_KIND::UFI_ESRAM, b.name);
    for (std::size_t k = 0; k < b.inputs.size(); ++k)
      block.input(DB_INPUT_PORT_DATA_IN, static_cast<int>(k), SIG(driver(b.inputs[k], "")));
    for (std::size_t k = 0; k < b.outputs.size(); ++k) {
      VOK_ATOM_OTERM* from = driver(b.outputs[k], "");
      VOK_ATOM_OTERM* to = block->get_output_term_by_type(DB_OUTPUT_PORT_DATA, static_cast<int>(k));
      if (to == nullptr) to = block->add_output_term(DB_OUTPUT_PORT_DATA, static_cast<int>(k));
      std::vector<VOK_ATOM_ITERM*> loads;
      for (VOK_ATOM_ITERM* f = from->get_first_fanout(VOK_TRAVERSE_AS_STORED); f; f = f->get_next_fanout(VOK_TRAVERSE_AS_STORED))
        loads.push_back(f);
      for (VOK_ATOM_ITERM* f : loads) vok_connect(to, f);
    }
  }
  // Low-power clock buffers between a clock and its loads.
  for (const auto& clock : s.lpclk) {
    VOK_ATOM_OTERM* from = driver(clock, "");
    std::vector<VOK_ATOM_ITERM*> loads;
    for (VOK_ATOM_ITERM* f = from->get_first_fanout(VOK_TRAVERSE_AS_STORED); f; f = f->get_next_fanout(VOK_TRAVERSE_AS_STORED))
      loads.push_back(f);
    auto buffer = n.atom(VOK_ATOM_KIND::CLKBUF, clock + "~lpclk").input(DB_INPUT_PORT_BOX, 0, SIG(from));
    VOK_ATOM_OTERM* out = buffer->get_output_term_by_type(DB_OUTPUT_PORT_DATA, 0);
    if (out == nullptr) out = buffer->add_output_term(DB_OUTPUT_PORT_DATA, 0);
    for (VOK_ATOM_ITERM* f : loads) vok_connect(out, f);
    ZEL_CLKBUF_UTIL::set_clock_type(buffer, kLpclkClockType);
  }
}

void place_periphery_blocks(const DESIGN_SETTINGS& s, const std::string& file) {
  const WUMP_DIE_INFO* die = host::device::die_info();
  const DEV_GRID& grid = die->get_place_info()->get_grid();
  for (const auto& b : s.periphery) {
    const int element = b.kind == "UIB" ? dev_kind::UIB : dev_kind::ESRAM;
    const bool fits = grid.in_grid(b.x, b.y) && grid.tile_kind(b.x, b.y) == DEV_TILE_KIND::PERIPHERY &&
                      grid.periphery_kind(b.x) == element;
    if (!fits) {
      std::string sites;
      for (int x = 0; x < grid.nx(); ++x)
        for (int y = 0; y < grid.ny(); ++y)
          if (grid.tile_kind(x, y) == DEV_TILE_KIND::PERIPHERY && grid.periphery_kind(x) == element)
            sites += (sites.empty() ? "" : ", ") + std::string("[") + std::to_string(x) + ", " + std::to_string(y) + "]";
      throw DESIGN_SETTINGS_ERROR(file + ": periphery block '" + b.name + "': site [" + std::to_string(b.x) + ", " +
                                  std::to_string(b.y) + "] holds no " + b.kind + " block of this device (" + b.kind +
                                  " sites: " + (sites.empty() ? "none" : sites) + ")");
    }
    VOK_ATOM_NODE* atom = nullptr;
    for (VOK_ATOM_NODE* a : host::vok::top_netlist()->get_atom_list())
      if (a->get_string_hpath() == b.name) atom = a;
    const unsigned gid = grid.site_gid(b.x, b.y, 0);
    for (const VOK_ATOM_NODE* a : host::vok::top_netlist()->get_atom_list())
      if (a != atom && a->is_placed() && a->get_location_gid() == gid)
        throw DESIGN_SETTINGS_ERROR(file + ": periphery block '" + b.name + "': site [" + std::to_string(b.x) + ", " +
                                    std::to_string(b.y) + "] is taken by '" + a->get_string_hpath() + "'");
    if (atom == nullptr) throw DESIGN_SETTINGS_ERROR(file + ": periphery block '" + b.name + "' was not created");
    atom->set_location(gid, static_cast<std::uint16_t>(element));
    atom->set_analytic_xy(static_cast<float>(b.x), static_cast<float>(b.y));
  }
}

}  // namespace host::testing
