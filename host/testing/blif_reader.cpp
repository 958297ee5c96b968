#include "testing/blif_reader.h"

#include "common/host_input.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace host::testing {

BLIF_ERROR::BLIF_ERROR(std::string f, int l, std::string m) : file(std::move(f)), line(l), message(std::move(m)) {}

std::string BLIF_ERROR::what() const {
  return file + (line > 0 ? ":" + std::to_string(line) : "") + ": " + printable(message);
}

std::string printable(const std::string& text) {
  static const char hex[] = "0123456789abcdef";
  std::string out;
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c == 0x7f) {
      out += "\\x";
      out += hex[c >> 4];
      out += hex[c & 15];
    } else {
      out += ch;
    }
  }
  return out;
}

namespace {

constexpr int kMaxLutInputs = 6;

struct LOGICAL_LINE {
  std::vector<std::string> tokens;
  int line;  // where it starts
};

class READER {
public:
  READER(std::istream& in, std::string file, bool allow_undriven)
      : m_in(in), m_file(std::move(file)), m_allow_undriven(allow_undriven) {}

  BLIF_DESIGN read() {
    BLIF_DESIGN d;
    bool in_model = false, ended = false;
    LOGICAL_LINE l;
    while (next(&l)) {
      const std::string& k = l.tokens[0];
      if (k[0] != '.') fail(l.line, "cover row '" + k + "' outside a .names block");
      if (ended && k == ".model") fail(l.line, "'.model' after .end; " + std::string(kFlattenRemedy));
      if (ended) fail(l.line, "'" + k + "' after .end; designs with several models are not supported");
      if (k == ".model") {
        if (in_model) fail(l.line, "a second .model; " + std::string(kFlattenRemedy));
        if (l.tokens.size() > 2) fail(l.line, "unexpected '" + l.tokens[2] + "' after the model name");
        in_model = true;
        d.model = l.tokens.size() > 1 ? l.tokens[1] : "top";
        continue;
      }
      if (!in_model) {
        in_model = true;  // a file without .model is one unnamed model
        d.model = "top";
      }
      if (k == ".inputs" || k == ".outputs") {
        // A name declared twice is reported at its second declaration.
        auto& lines = k == ".inputs" ? m_input_lines : m_output_lines;
        for (auto t = l.tokens.begin() + 1; t != l.tokens.end(); ++t) {
          auto [it, fresh] = lines.emplace(*t, l.line);
          if (!fresh)
            fail(l.line, "'" + *t + "' is declared twice in " + k + " (first at line " + std::to_string(it->second) +
                             ")");
        }
        auto& list = k == ".inputs" ? d.inputs : d.outputs;
        list.insert(list.end(), l.tokens.begin() + 1, l.tokens.end());
      } else if (k == ".names") {
        d.luts.push_back(read_names(l));
      } else if (k == ".latch") {
        d.ffs.push_back(read_latch(l));
      } else if (k == ".subckt") {
        d.ffs.push_back(read_subckt(l));
      } else if (k == ".end") {
        if (l.tokens.size() > 1) fail(l.line, "unexpected '" + l.tokens[1] + "' after .end");
        ended = true;
      } else if (k == ".default_input_arrival" || k == ".default_output_required" || k == ".attr" ||
                 k == ".param" || k == ".cname") {
        // Timing and attribute annotations carry nothing the fitter uses.
      } else {
        fail(l.line, "unsupported directive '" + k + "'");
      }
    }
    if (!in_model) fail(m_line, "no .model in the file");
    if (d.inputs.empty() && d.outputs.empty() && d.luts.empty() && d.ffs.empty())
      fail(m_line, "the design is empty (no inputs, outputs, LUTs or registers)");
    check(d);
    // A file cut short still reads as a design, a different one: say so.
    if (!ended) {
      std::string text;
      for (const std::string& t : m_last.tokens) text += (text.empty() ? "" : " ") + t;
      d.warnings.push_back(m_file + ":" + std::to_string(m_last.line) + ": the file ends without .end after '" +
                           printable(text) + "': it may be cut short");
    }
    return d;
  }

private:
  [[noreturn]] void fail(int line, const std::string& msg) { throw BLIF_ERROR(m_file, line, msg); }

  // Reads one physical line ending in LF, CRLF or CR alone; a UTF-8
  // byte-order mark before the first line is dropped.
  bool read_line(std::string* out) {
    out->clear();
    if (m_line == 0 && m_in.peek() == 0xEF) {
      char bom[3] = {};
      m_in.read(bom, 3);
      if (m_in.gcount() != 3 || std::string(bom, 3) != "\xEF\xBB\xBF") out->assign(bom, static_cast<std::size_t>(m_in.gcount()));
      m_in.clear();
    }
    bool any = !out->empty();
    for (int c; (c = m_in.get()) != std::char_traits<char>::eof();) {
      any = true;
      if (c == '\n') return true;
      if (c == '\r') {
        if (m_in.peek() == '\n') m_in.get();
        return true;
      }
      out->push_back(static_cast<char>(c));
    }
    return any;
  }

  // Reads one logical line (continuations joined, comments dropped); false at
  // the end of the input. A pushed-back line is returned first.
  bool next(LOGICAL_LINE* out) {
    if (m_pushed) {
      *out = *m_pushed;
      m_pushed.reset();
      return true;
    }
    std::string joined;
    int start = 0;
    std::string raw;
    while (read_line(&raw)) {
      ++m_line;
      auto hash = raw.find('#');
      if (hash != std::string::npos) raw.resize(hash);
      bool cont = !raw.empty() && raw.back() == '\\';
      if (cont) raw.pop_back();
      if (start == 0) start = m_line;
      joined += raw + " ";
      if (cont) continue;
      std::istringstream is(joined);
      std::vector<std::string> tokens;
      std::string t;
      while (is >> t) tokens.push_back(t);
      if (tokens.empty()) {
        joined.clear();
        start = 0;
        continue;
      }
      *out = LOGICAL_LINE{std::move(tokens), start};
      m_last = *out;
      return true;
    }
    if (!joined.empty()) {
      std::istringstream is(joined);
      std::vector<std::string> tokens;
      std::string t;
      while (is >> t) tokens.push_back(t);
      if (!tokens.empty()) {
        *out = LOGICAL_LINE{std::move(tokens), start};
        m_last = *out;
        return true;
      }
    }
    return false;
  }

  BLIF_LUT read_names(const LOGICAL_LINE& head) {
    if (head.tokens.size() < 2) fail(head.line, ".names without an output");
    BLIF_LUT lut;
    lut.line = head.line;
    lut.inputs.assign(head.tokens.begin() + 1, head.tokens.end() - 1);
    lut.output = head.tokens.back();
    const int n = static_cast<int>(lut.inputs.size());
    if (n > kMaxLutInputs)
      fail(head.line, ".names with " + std::to_string(n) + " inputs; map the design to 6-input LUTs first");
    const std::uint64_t rows = std::uint64_t{1} << n;
    std::uint64_t set = 0;
    int polarity = -1;  // 1 = on-set rows, 0 = off-set rows
    LOGICAL_LINE l;
    while (next(&l)) {
      if (l.tokens[0][0] == '.') {
        m_pushed = l;
        break;
      }
      std::string pattern, value;
      if (n == 0) {
        if (l.tokens.size() != 1) fail(l.line, "constant .names row must be a single 0 or 1");
        value = l.tokens[0];
      } else {
        if (l.tokens.size() != 2) fail(l.line, "cover row needs an input pattern and an output value");
        pattern = l.tokens[0];
        value = l.tokens[1];
      }
      if (value != "0" && value != "1") fail(l.line, "cover output must be 0 or 1, got '" + value + "'");
      int v = value == "1" ? 1 : 0;
      if (polarity >= 0 && v != polarity) fail(l.line, "cover mixes on-set and off-set rows");
      polarity = v;
      if (static_cast<int>(pattern.size()) != n)
        fail(l.line, "cover row '" + pattern + "' has " + std::to_string(pattern.size()) + " columns, expected " +
                         std::to_string(n));
      std::uint64_t care = 0, bits = 0;
      for (int i = 0; i < n; ++i) {
        char c = pattern[static_cast<size_t>(i)];
        if (c == '1') {
          care |= std::uint64_t{1} << i;
          bits |= std::uint64_t{1} << i;
        } else if (c == '0') {
          care |= std::uint64_t{1} << i;
        } else if (c != '-') {
          fail(l.line, std::string("bad character '") + c + "' in cover row");
        }
      }
      for (std::uint64_t m = 0; m < rows; ++m)
        if ((m & care) == bits) set |= std::uint64_t{1} << m;
    }
    const std::uint64_t all = rows == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << rows) - 1;
    // No rows: constant 0. Off-set rows: the complement.
    lut.truth = polarity == 0 ? (~set & all) : (set & all);
    return lut;
  }

  BLIF_FF read_latch(const LOGICAL_LINE& l) {
    const auto& t = l.tokens;
    if (t.size() < 3) fail(l.line, ".latch needs an input and an output");
    BLIF_FF ff;
    ff.cell = ".latch";
    ff.line = l.line;
    ff.d = t[1];
    ff.q = t[2];
    size_t rest = t.size() - 3;
    if (rest == 1 || rest == 3) ff.init = parse_init(l.line, t.back());
    if (rest >= 2) {
      const std::string& type = t[3];
      if (type == "re")
        ff.clock_falling = false;
      else if (type == "fe")
        ff.clock_falling = true;
      else
        fail(l.line, "latch type '" + type + "' is not an edge-triggered flip-flop (re or fe)");
      ff.clock = t[4];
      if (ff.clock == "NIL") fail(l.line, ".latch without a clock");
    } else {
      fail(l.line, ".latch without a clock; give it as '.latch D Q re CLOCK INIT'");
    }
    if (rest > 3) fail(l.line, "too many fields on .latch");
    return ff;
  }

  int parse_init(int line, const std::string& s) {
    if (s == "0" || s == "1" || s == "2" || s == "3") return s[0] - '0';
    fail(line, "bad .latch initial value '" + s + "'");
  }

  // yosys gate-level flip-flops: $_DFF_[PN]_, $_DFFE_[PN][PN]_,
  // $_SDFF_[PN][PN][01]_, $_SDFFE_[PN][PN][01][PN]_ (the reset acts whatever
  // the enable) and $_SDFFCE_[PN][PN][01][PN]_ (only while it is active).
  BLIF_FF read_subckt(const LOGICAL_LINE& l) {
    const auto& t = l.tokens;
    if (t.size() < 2) fail(l.line, ".subckt without a cell type");
    const std::string& cell = t[1];
    BLIF_FF ff;
    ff.cell = cell;
    ff.line = l.line;
    std::map<std::string, std::string> pins;
    for (size_t i = 2; i < t.size(); ++i) {
      auto eq = t[i].find('=');
      if (eq == std::string::npos) fail(l.line, "bad pin connection '" + t[i] + "' on " + cell);
      // A pin given twice would silently keep its last connection.
      const std::string pin = t[i].substr(0, eq);
      if (!pins.emplace(pin, t[i].substr(eq + 1)).second) fail(l.line, "pin '" + pin + "' given twice");
    }
    // The letters after the kind: P/N polarities and 0/1 reset values.
    auto code_of = [&](const std::string& kind, const std::string& shape) -> std::optional<std::string> {
      if (cell.size() != kind.size() + shape.size() + 1 || cell.rfind(kind, 0) != 0 || cell.back() != '_')
        return std::nullopt;
      const std::string code = cell.substr(kind.size(), shape.size());
      for (std::size_t i = 0; i < shape.size(); ++i) {
        const char c = code[i];
        if (shape[i] == 'P' ? c != 'P' && c != 'N' : c != '0' && c != '1') return std::nullopt;
      }
      return code;
    };
    std::string want;  // pins the cell must have
    if (auto c = code_of("$_DFF_", "P")) {
      ff.clock_falling = (*c)[0] == 'N';
      want = "CDQ";
    } else if (auto c = code_of("$_DFFE_", "PP")) {
      ff.clock_falling = (*c)[0] == 'N';
      ff.enable_active_low = (*c)[1] == 'N';
      want = "CDEQ";
    } else if (auto c = code_of("$_SDFF_", "PP0")) {
      ff.clock_falling = (*c)[0] == 'N';
      ff.reset_active_low = (*c)[1] == 'N';
      ff.reset_value = (*c)[2] - '0';
      want = "CDRQ";
    } else if (auto c = code_of("$_SDFFE_", "PP0P"); c || (c = code_of("$_SDFFCE_", "PP0P"))) {
      ff.clock_falling = (*c)[0] == 'N';
      ff.reset_active_low = (*c)[1] == 'N';
      ff.reset_value = (*c)[2] - '0';
      ff.enable_active_low = (*c)[3] == 'N';
      ff.reset_needs_enable = cell.rfind("$_SDFFCE_", 0) == 0;
      want = "CDERQ";
    } else {
      fail(l.line, refusal(cell));
    }
    for (char p : want)
      if (!pins.count(std::string(1, p))) fail(l.line, cell + " without pin " + std::string(1, p));
    if (pins.size() != want.size()) fail(l.line, cell + " has unexpected pins");
    ff.clock = pins["C"];
    ff.d = pins["D"];
    ff.q = pins["Q"];
    if (pins.count("E")) ff.enable = pins["E"];
    if (pins.count("R")) ff.reset = pins["R"];
    return ff;
  }

  // Why a cell is not mapped, and what removes it.
  static std::string refusal(const std::string& cell) {
    const std::string head = "unsupported cell '" + cell + "'; ";
    auto starts = [&](const char* p) { return cell.rfind(p, 0) == 0; };
    // $_DFF_PP0_, $_DFFE_PN1P_: a reset value after the clock and reset
    // polarities is an asynchronous reset.
    auto value_at = [&](std::size_t i) { return cell.size() > i && (cell[i] == '0' || cell[i] == '1'); };
    const bool async_reset =
        (starts("$_DFF_") && cell.size() == 10 && value_at(8)) || (starts("$_DFFE_") && cell.size() == 12 && value_at(9));
    if (async_reset || starts("$_DFFSR") || starts("$_ALDFF") || cell == "$adff" || cell == "$adffe" || cell == "$dffsr" || cell == "$dffsre" || cell == "$aldff" ||
        cell == "$aldffe")
      return head +
             "a flip-flop with an asynchronous set or reset: the registers have only synchronous ones; make it "
             "synchronous with yosys 'async2sync' (the set or reset then acts at the next clock edge). " +
             kRecipe;
    if (cell == "$assert" || cell == "$assume" || cell == "$cover" || cell == "$live" || cell == "$fair")
      return head + "a formal property, which has no hardware; remove formal cells with yosys 'chformal -remove'. " +
             kRecipe;
    if (!starts("$")) return head + "an instance of a module (the hierarchy is not flattened); " + kFlattenRemedy;
    return head + "only D flip-flops with no reset or a synchronous one, with or without an enable, are mapped";
  }
  static constexpr const char* kRecipe =
      "tools/velmo-synth writes BLIF velmo-fit takes (README, \"Your own design\")";
  static constexpr const char* kFlattenRemedy =
      "flatten the design with yosys 'synth -flatten', as tools/velmo-synth does (README, \"Your own design\")";

  // Every net has exactly one driver; every used net is driven. yosys leaves
  // its constant nets undefined ("-impltf"): they become constant LUTs.
  void check(BLIF_DESIGN& d) {
    std::map<std::string, int> driver_line;
    std::vector<BLIF_LUT> implicit;
    std::set<std::string> undriven_seen;
    auto drive = [&](const std::string& net, int line) {
      auto [it, fresh] = driver_line.emplace(net, line);
      if (!fresh)
        fail(line, "net '" + net + "' has a second driver (first at line " + std::to_string(it->second) + ")");
    };
    for (const auto& i : d.inputs) drive(i, m_input_lines.at(i));
    for (const auto& l : d.luts) drive(l.output, l.line);
    for (const auto& f : d.ffs) drive(f.q, f.line);
    auto used = [&](const std::string& net, int line) {
      if (driver_line.count(net)) return;
      if (net == "$true" || net == "$false" || net == "$undef") {
        implicit.push_back(BLIF_LUT{{}, net, net == "$true" ? 1u : 0u, line});
        driver_line.emplace(net, line);
        return;
      }
      if (!m_allow_undriven) fail(line, "net '" + net + "' is used but never driven");
      if (undriven_seen.insert(net).second) d.undriven.emplace_back(net, line);
    };
    for (const auto& l : d.luts)
      for (const auto& i : l.inputs) used(i, l.line);
    for (const auto& f : d.ffs) {
      used(f.d, f.line);
      used(f.clock, f.line);
      if (!f.enable.empty()) used(f.enable, f.line);
      if (!f.reset.empty()) used(f.reset, f.line);
    }
    for (const auto& o : d.outputs) used(o, m_output_lines.at(o));
    d.luts.insert(d.luts.end(), implicit.begin(), implicit.end());
  }

  std::istream& m_in;
  std::string m_file;
  bool m_allow_undriven;
  int m_line = 0;
  std::optional<LOGICAL_LINE> m_pushed;
  LOGICAL_LINE m_last{{}, 0};  // the last logical line read
  std::map<std::string, int> m_input_lines, m_output_lines;  // where each name was declared
};

}  // namespace

BLIF_DESIGN read_blif(std::istream& in, const std::string& file_name, bool allow_undriven) {
  return READER(in, file_name, allow_undriven).read();
}

BLIF_DESIGN read_blif_file(const std::string& path, bool allow_undriven) {
  input::LIMITED_FILE in(path);
  if (!in.is_open()) throw BLIF_ERROR(path, 0, std::string("cannot open the file: ") + std::strerror(errno));
  // An input cut at the limit ends anywhere: what the reader made of its
  // last line is not the fault.
  try {
    BLIF_DESIGN design = read_blif(in, path, allow_undriven);
    if (!in.too_large()) return design;
  } catch (const BLIF_ERROR&) {
    if (!in.too_large()) throw;
  }
  throw BLIF_ERROR(path, 0, input::too_large_text());
}

}  // namespace host::testing
