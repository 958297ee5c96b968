#include "tawn/tawn_names.h"

#include <cctype>
#include <map>
#include <set>

namespace host::tawn {

namespace {

// Reserved words of SystemVerilog (a superset of Verilog's) and of VHDL: a
// name equal to one is written escaped.
const std::set<std::string>& verilog_keywords() {
  static const std::set<std::string> words = {
      "accept_on", "alias", "always", "always_comb", "always_ff", "always_latch", "and", "assert", "assign",
      "assume", "automatic", "before", "begin", "bind", "bins", "binsof", "bit", "break", "buf", "bufif0",
      "bufif1", "byte", "case", "casex", "casez", "cell", "chandle", "checker", "class", "clocking", "cmos",
      "config", "const", "constraint", "context", "continue", "cover", "covergroup", "coverpoint", "cross",
      "deassign", "default", "defparam", "design", "disable", "dist", "do", "edge", "else", "end", "endcase",
      "endchecker", "endclass", "endclocking", "endconfig", "endfunction", "endgenerate", "endgroup",
      "endinterface", "endmodule", "endpackage", "endprimitive", "endprogram", "endproperty", "endspecify",
      "endsequence", "endtable", "endtask", "enum", "event", "eventually", "expect", "export", "extends",
      "extern", "final", "first_match", "for", "force", "foreach", "forever", "fork", "forkjoin", "function",
      "generate", "genvar", "global", "highz0", "highz1", "if", "iff", "ifnone", "ignore_bins", "illegal_bins",
      "implements", "implies", "import", "incdir", "include", "initial", "inout", "input", "inside", "instance",
      "int", "integer", "interconnect", "interface", "intersect", "join", "join_any", "join_none", "large",
      "let", "liblist", "library", "local", "localparam", "logic", "longint", "macromodule", "matches", "medium",
      "modport", "module", "nand", "negedge", "nettype", "new", "nexttime", "nmos", "nor", "noshowcancelled",
      "not", "notif0", "notif1", "null", "or", "output", "package", "packed", "parameter", "pmos", "posedge",
      "primitive", "priority", "program", "property", "protected", "pull0", "pull1", "pulldown", "pullup",
      "pulsestyle_ondetect", "pulsestyle_onevent", "pure", "rand", "randc", "randcase", "randsequence", "rcmos",
      "real", "realtime", "ref", "reg", "reject_on", "release", "repeat", "restrict", "return", "rnmos",
      "rpmos", "rtran", "rtranif0", "rtranif1", "s_always", "s_eventually", "s_nexttime", "s_until",
      "s_until_with", "scalared", "sequence", "shortint", "shortreal", "showcancelled", "signed", "small",
      "soft", "solve", "specify", "specparam", "static", "string", "strong", "strong0", "strong1", "struct",
      "super", "supply0", "supply1", "sync_accept_on", "sync_reject_on", "table", "tagged", "task", "this",
      "throughout", "time", "timeprecision", "timeunit", "tran", "tranif0", "tranif1", "tri", "tri0", "tri1",
      "triand", "trior", "trireg", "type", "typedef", "union", "unique", "unique0", "unsigned", "until",
      "until_with", "untyped", "use", "uwire", "var", "vectored", "virtual", "void", "wait", "wait_order",
      "wand", "weak", "weak0", "weak1", "while", "wildcard", "wire", "with", "within", "wor", "xnor", "xor"};
  return words;
}

const std::set<std::string>& vhdl_keywords() {
  static const std::set<std::string> words = {
      "abs", "access", "after", "alias", "all", "and", "architecture", "array", "assert", "assume",
      "assume_guarantee", "attribute", "begin", "block", "body", "buffer", "bus", "case", "component",
      "configuration", "constant", "context", "cover", "default", "disconnect", "downto", "else", "elsif",
      "end", "entity", "exit", "fairness", "file", "for", "force", "function", "generate", "generic", "group",
      "guarded", "if", "impure", "in", "inertial", "inout", "is", "label", "library", "linkage", "literal",
      "loop", "map", "mod", "nand", "new", "next", "nor", "not", "null", "of", "on", "open", "or", "others",
      "out", "package", "parameter", "port", "postponed", "procedure", "process", "property", "protected",
      "pure", "range", "record", "register", "reject", "release", "rem", "report", "restrict",
      "restrict_guarantee", "return", "rol", "ror", "select", "sequence", "severity", "shared", "signal", "sla",
      "sll", "sra", "srl", "strong", "subtype", "then", "to", "transport", "type", "unaffected", "units",
      "until", "use", "variable", "vmode", "vprop", "vunit", "wait", "when", "while", "with", "xnor", "xor"};
  return words;
}

// The names the VHDL netlist's own text uses: its library and use clauses,
// the types, functions and literals it names and its architectures' names.
// A port or net so named would hide what the text means by it ("signal
// std_logic : std_logic" no longer names the type). Any other name the
// standard packages declare (error, note, read, ...) may be a port or a net:
// it hides a declaration the netlist never uses.
const std::set<std::string>& vhdl_netlist_words() {
  static const std::set<std::string> words = {"ieee",         "std",          "work",       "std_logic_1164",
                                              "std_logic",    "std_logic_vector", "rising_edge", "falling_edge",
                                              "true",         "false",        "structure",  "empty",
                                              "natural",      "velmo_lut"};
  return words;
}

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool printable(char c) { return c > ' ' && c < 127; }

// "<base>[<i>]" with a non-empty base and i a decimal index without leading
// zeros (so that "a[01]" and "a[1]" are never one bit).
bool split_bit(const std::string& name, std::string* base, int* index) {
  if (name.size() < 4 || name.back() != ']') return false;
  const std::size_t open = name.rfind('[');
  if (open == std::string::npos || open == 0) return false;
  const std::string digits = name.substr(open + 1, name.size() - open - 2);
  if (digits.empty() || digits.size() > 9 || (digits.size() > 1 && digits[0] == '0')) return false;
  for (char c : digits)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  *base = name.substr(0, open);
  *index = std::stoi(digits);
  return true;
}

}  // namespace

std::string printable_name(const std::string& raw) {
  if (raw.empty()) return "_";
  std::string name = raw;
  for (char& c : name)
    if (!printable(c)) c = '_';
  return name;
}

bool spelled_as_written(const std::string& raw) { return printable_name(raw) == raw; }

std::string vhdl_extended(const std::string& raw) {
  std::string out = "\\";
  for (char c : printable_name(raw)) {
    if (c == '\\') out += '\\';
    out += c;
  }
  return out + "\\";
}

std::string identifier(const std::string& raw, LANG lang) {
  const std::string name = printable_name(raw);
  if (lang == LANG::VHDL) {
    const std::string folded = lower(name);
    bool basic = std::isalpha(static_cast<unsigned char>(name[0])) != 0 && name.back() != '_' &&
                 vhdl_keywords().count(folded) == 0 && vhdl_netlist_words().count(folded) == 0;
    for (std::size_t i = 0; basic && i < name.size(); ++i) {
      const unsigned char c = static_cast<unsigned char>(name[i]);
      basic = (c < 128 && std::isalnum(c)) || (c == '_' && name[i - 1] != '_');
    }
    return basic ? name : vhdl_extended(name);
  }
  bool simple = (std::isalpha(static_cast<unsigned char>(name[0])) != 0 || name[0] == '_') &&
                verilog_keywords().count(name) == 0;
  for (char c : name) simple = simple && (std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$');
  return simple ? name : "\\" + name + " ";
}

std::string identifier_key(const std::string& id, LANG lang) {
  if (lang == LANG::VHDL) return id[0] == '\\' ? id : lower(id);
  if (id[0] != '\\') return id;
  return id.substr(1, id.size() - 2);
}

void NAME_TABLE::add_name(const std::string& raw) {
  m_names.insert(key(identifier(raw, m_lang)));
  if (spelled_as_written(raw)) m_spelled.insert(key(identifier(raw, m_lang)));
}

void NAME_TABLE::add_port_name(const std::string& raw) {
  add_name(raw);
  if (spelled_as_written(raw)) m_ports.insert(key(identifier(raw, m_lang)));
}

std::string NAME_TABLE::take(const std::string& raw, const std::set<std::string>& spelled) {
  const std::string name = printable_name(raw);
  const bool replaced = name != raw;
  std::string id = identifier(name, m_lang);
  if (m_lang == LANG::VHDL && id.front() != '\\' && m_taken.count(key(id)) != 0 && m_plain.count(id) == 0)
    id = vhdl_extended(name);
  int n = 0;
  while (m_taken.count(key(id)) != 0 || (n > 0 && m_names.count(key(id)) != 0) ||
         (replaced && spelled.count(key(id)) != 0))
    id = identifier(name + "~" + std::to_string(++n), m_lang);
  hold(id);
  return id;
}

void NAME_TABLE::hold(const std::string& id) {
  m_taken.insert(key(id));
  if (id.front() != '\\') m_plain.insert(id);
}

std::vector<BUS> gather_buses(const std::vector<PIN>& pins, std::vector<PIN_PLACE>* places) {
  places->assign(pins.size(), PIN_PLACE{});
  std::set<std::string> whole;
  for (const PIN& p : pins) whole.insert(p.name);
  // The bits of each base in the pins' order.
  std::map<std::string, std::vector<std::pair<std::size_t, int>>> bits;
  std::vector<std::string> order;
  for (std::size_t k = 0; k < pins.size(); ++k) {
    std::string base;
    int index = 0;
    if (!split_bit(pins[k].name, &base, &index) || whole.count(base)) continue;
    auto& list = bits[base];
    if (list.empty()) order.push_back(base);
    list.emplace_back(k, index);
  }
  std::vector<BUS> buses;
  for (const std::string& base : order) {
    const auto& list = bits.at(base);
    bool one_range = true;
    const int step = list.size() > 1 ? list[1].second - list[0].second : 1;
    if (step != 1 && step != -1) one_range = false;
    for (std::size_t i = 1; one_range && i < list.size(); ++i)
      one_range = list[i].second - list[i - 1].second == step &&
                  pins[list[i].first].output == pins[list[0].first].output;
    if (!one_range) continue;
    BUS bus;
    bus.base = base;
    bus.output = pins[list[0].first].output;
    bus.left = list.back().second;
    bus.right = list.front().second;
    for (const auto& [pin, index] : list) (*places)[pin] = {static_cast<int>(buses.size()), index};
    buses.push_back(bus);
  }
  return buses;
}

}  // namespace host::tawn
