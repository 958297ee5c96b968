#include "velmo_dup_reg_for_retiming.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "cfg/cfg.h"
#include "gen/gen_profile.h"
#include "cmp/cmp_facade.h"
#include "msg/msg_internal_error.h"
#include "pelk/pelk_symbol.h"
#include "pelk/puve_enum_string.h"
#include "r5t/r5t_interface.h"
#include "siv/siv_atom_mod_utility.h"
#include "velmo_debug.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_atom_term.h"
#include "wexan/wexan_atom_mod_drc.h"
#include "wexan/wexan_design.h"
#include "wexan/wexan_env.h"
#include "zel/zel_atom_dumper.h"
#include "zel/zel_atom_util.h"

namespace {

constexpr int kMetadataNamespace = 4;
constexpr int kCoreRegisterType = 392;
constexpr int kDupOperation = 41;
constexpr int kAtomModAlgorithm = 7;
constexpr std::uint64_t kIgnoredReasons =
    (std::uint64_t{1} << 10) | (std::uint64_t{1} << 25) | (std::uint64_t{1} << 26) | (std::uint64_t{1} << 27) |
    (std::uint64_t{1} << 28) | (std::uint64_t{1} << 31);

[[noreturn]] void l_internal_error(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "VELMO", "velmo_dup_reg_for_retiming", line);
}

// The profiling bin of the pass, closed on every exit.
class SCOPED_BIN {
public:
  SCOPED_BIN() { GEN_PROFILE_BINS::open_with_tag(nullptr, "VELMO_dup_regs_for_retiming", 2147483647, "VELMO"); }
  ~SCOPED_BIN() { GEN_PROFILE_BINS::close("VELMO_dup_regs_for_retiming"); }
  SCOPED_BIN(const SCOPED_BIN&) = delete;
  SCOPED_BIN& operator=(const SCOPED_BIN&) = delete;
};

const char* l_yn(bool b) { return b ? "Y" : "N"; }

std::string l_path(const VOK_ATOM_NODE* atom) { return atom ? atom->get_string_hpath() : std::string("<null>"); }

std::string l_text(const VELMO_DRR_ATOM_INFO& i) {
  char buf[512];
  const std::string clock = i.m_clock_oterm ? i.m_clock_oterm->get_my_node()->get_string_hpath() : "<null>";
  std::snprintf(buf, sizeof buf, "clock_oterm=%s invert=%s vis=%s compl=%s multi=%s aclr=%s/%s part=%s/%s", clock.c_str(),
                l_yn(i.m_invert), l_yn(i.m_visited), l_yn(i.m_complete), l_yn(i.m_multiple_clocks), l_yn(i.m_feeds_aclr),
                l_yn(i.m_feeds_non_aclr), l_yn(i.m_crosses_partition), l_yn(i.m_within_partition));
  return buf;
}

std::string l_port(const VOK_ATOM_ITERM* t) { return puve_enum_to_string<DB_INPUT_PORT_TYPE>(t->get_port_type(), 1); }

bool l_is_comb(const VOK_ATOM_NODE* a) { return a->is_lcell_comb() || a->is_logic_module(); }

bool l_is_boundary(const VOK_ATOM_NODE* a) { return a->get_basic_type() == 3 || a->get_basic_type() == 284; }

bool l_is_aclr_load(const VOK_ATOM_ITERM* t) {
  const int p = static_cast<int>(t->get_port_type());
  if (p == 6) return !ZEL_ATOM_UTIL::is_clear_iterm_sclear(t);
  return p == 39 || p == 40;
}

bool l_is_clock_port(int p) { return p == 7 || p == 35 || p == 36 || p == 581 || p == 582; }

VOK_ATOM_OTERM* l_data_out(const VOK_ATOM_NODE* reg) { return reg->get_output_term_by_type(DB_OUTPUT_PORT_REG, 0); }

// The fan-out input terms of the register's data output in the given mode,
// gathered before anything moves.
std::vector<VOK_ATOM_ITERM*> l_fanout(const VOK_ATOM_NODE* reg, VOK_TRAVERSE mode) {
  std::vector<VOK_ATOM_ITERM*> out;
  VOK_ATOM_OTERM* q = l_data_out(reg);
  if (q == nullptr) return out;
  for (VOK_ATOM_ITERM* t : q->fanout(mode))
    if (t != nullptr && t->get_my_node() != nullptr) out.push_back(t);
  return out;
}

}  // namespace

void VELMO_DRR_ATOM_INFO::check_clocks(const VOK_ATOM_NODE* atom) {
  static const bool s_bport_clock = cfg_is_on("dup_regs_for_retiming_bport_clock", false);
  const VOK_TRAVERSE mode = s_bport_clock ? VOK_TRAVERSE_AS_STORED : VOK_TRAVERSE_HIERARCHICAL;
  VOK_ATOM_OTERM* first = nullptr;
  bool invert = false;
  bool multiple = false;
  for (const VOK_ATOM_ITERM* t : atom->citerms()) {
    if (!l_is_clock_port(static_cast<int>(t->get_port_type()))) continue;
    VOK_ATOM_OTERM* src = t->get_source(mode);
    if (src == nullptr) continue;
    if (first == nullptr) {
      first = src;
      invert = t->is_inverted();
    } else if (src != first || t->is_inverted() != invert) {
      multiple = true;
      break;
    }
  }
  m_clock_oterm = first;
  m_visited = m_complete = true;
  m_invert = first != nullptr && invert;
  m_multiple_clocks = multiple;
  m_feeds_aclr = m_feeds_non_aclr = m_crosses_partition = m_within_partition = false;
}

namespace {

// What sink `t` of a combinational atom adds to the atom's record `info`:
// the record `sub` of the sink's atom `a` (null for a term without an atom),
// the load kind of a sequential sink, and whether the connection stays
// within its partition.
void l_fold_sink(VELMO_DRR_ATOM_INFO* info, const VOK_ATOM_ITERM* t, const VOK_ATOM_NODE* a,
                 const VELMO_DRR_ATOM_INFO* sub) {
  if (a != nullptr) {
    if (sub->m_multiple_clocks) {
      info->m_multiple_clocks = true;
      if (info->m_clock_oterm == nullptr) {
        info->m_clock_oterm = sub->m_clock_oterm;
        info->m_invert = sub->m_invert;
      }
    } else if (sub->m_clock_oterm != nullptr) {
      if (info->m_clock_oterm == nullptr) {
        info->m_clock_oterm = sub->m_clock_oterm;
        info->m_invert = sub->m_invert;
      } else if (info->m_clock_oterm != sub->m_clock_oterm || info->m_invert != sub->m_invert) {
        info->m_multiple_clocks = true;
      }
    }
    info->m_feeds_aclr = info->m_feeds_aclr || sub->m_feeds_aclr;
    info->m_feeds_non_aclr = info->m_feeds_non_aclr || sub->m_feeds_non_aclr;
    info->m_crosses_partition = info->m_crosses_partition || sub->m_crosses_partition;
    info->m_within_partition = info->m_within_partition || sub->m_within_partition;
    if (!l_is_comb(a)) {
      if (l_is_aclr_load(t))
        info->m_feeds_aclr = true;
      else
        info->m_feeds_non_aclr = true;
    }
  }
  if (t != nullptr && t->get_source(VOK_TRAVERSE_HIERARCHICAL) == t->get_source(VOK_TRAVERSE_AS_STORED))
    info->m_within_partition = true;
  else
    info->m_crosses_partition = true;
}

// A load the hierarchical walk reached through a partition boundary: its
// source through the boundary ports is not its source in its own netlist.
// A copy made for it would be rewired across the boundary, which only the
// partition strategy does (through the boundary's ports): it stays on the
// register.
bool l_reached_through_boundary(const VOK_ATOM_ITERM* t) {
  return t->get_source(VOK_TRAVERSE_HIERARCHICAL) != t->get_source(VOK_TRAVERSE_AS_STORED);
}

// A combinational atom whose fan-out is being walked: its output terms and
// the sinks of the current one, with the positions reached.
struct DRR_WALK_FRAME {
  const VOK_ATOM_NODE* atom;
  VELMO_DRR_ATOM_INFO* info;
  std::vector<VOK_ATOM_OTERM*> oterms;
  std::size_t next_oterm = 0;
  std::vector<VOK_ATOM_ITERM*> sinks;
  std::size_t next_sink = 0;
};

}  // namespace

// A depth-first walk of the fan-out, on an explicit stack so that a deep
// combinational chain cannot exhaust the call stack. Atoms are visited, and
// records folded, in the order of the natural recursion.
VELMO_DRR_ATOM_INFO* velmo_drr_get_info_for_atom(const VOK_ATOM_NODE* atom, VELMO_DRR_INFO_CACHE& cache, bool extra) {
  std::vector<DRR_WALK_FRAME> stack;
  // Starts on one atom: its finished record, or null when its walk was
  // pushed on the stack.
  auto open = [&](const VOK_ATOM_NODE* a) -> VELMO_DRR_ATOM_INFO* {
    if (extra) msg_vdebug_impl(2, "Checking atom %s", l_path(a).c_str());
    VELMO_DRR_ATOM_INFO* info = &cache[static_cast<unsigned>(a->get_id())];
    if (info->m_visited) {
      if (extra)
        msg_vdebug_impl(2, info->m_complete ? "    completed: returning %s" : "    incomplete: returning %s",
                        l_text(*info).c_str());
      return info;
    }
    if (l_is_comb(a)) {
      if (extra) msg_vdebug_impl(2, "    recursing");
      info->m_visited = true;
      DRR_WALK_FRAME frame{a, info, {}, 0, {}, 0};
      for (VOK_ATOM_OTERM* o : a->coterms()) frame.oterms.push_back(o);
      stack.push_back(std::move(frame));
      return nullptr;
    }
    if (extra) msg_vdebug_impl(2, "    hit terminal");
    info->check_clocks(a);
    if (extra) msg_vdebug_impl(2, "    %s returning %s", l_path(a).c_str(), l_text(*info).c_str());
    return info;
  };

  VELMO_DRR_ATOM_INFO* done = open(atom);  // the record of the walk that finished last
  if (done != nullptr) return done;
  while (!stack.empty()) {
    DRR_WALK_FRAME& f = stack.back();
    if (done != nullptr) {  // the sink the frame descended into is finished
      const VOK_ATOM_ITERM* t = f.sinks[f.next_sink];
      l_fold_sink(f.info, t, t->get_my_node(), done);
      ++f.next_sink;
      done = nullptr;
    }
    bool descended = false;
    while (!descended) {
      if (f.next_sink < f.sinks.size()) {
        const VOK_ATOM_ITERM* t = f.sinks[f.next_sink];
        const VOK_ATOM_NODE* a = t != nullptr ? t->get_my_node() : nullptr;
        const VELMO_DRR_ATOM_INFO* sub = a != nullptr ? open(a) : nullptr;
        if (a != nullptr && sub == nullptr) {
          descended = true;  // `f` may have moved with the push
          break;
        }
        l_fold_sink(f.info, t, a, sub);
        ++f.next_sink;
      } else if (f.next_oterm < f.oterms.size()) {
        f.sinks.clear();
        for (VOK_ATOM_ITERM* t : f.oterms[f.next_oterm++]->fanout(VOK_TRAVERSE_HIERARCHICAL)) f.sinks.push_back(t);
        f.next_sink = 0;
      } else {
        if (!f.info->m_visited) l_internal_error("m_visited", __LINE__);
        f.info->m_complete = true;
        if (extra) msg_vdebug_impl(2, "    %s returning %s", l_path(f.atom).c_str(), l_text(*f.info).c_str());
        done = f.info;
        stack.pop_back();
        break;
      }
    }
  }
  return done;
}

std::vector<VOK_ATOM_NODE*> drr_duplicate_for_iterms(VOK_ATOM_NODE* reg,
                                                     const VELMO_DRR_ITERM_COLLECTIONS& iterm_collections,
                                                     SIV_ATOM_MOD_UTILITY* amu, bool verbose) {
  std::vector<VOK_ATOM_NODE*> copies;
  for (const auto& iterm_vec : iterm_collections) {
    if (iterm_vec.empty()) l_internal_error("!iterm_vec.empty()", __LINE__);
    VOK_ATOM_NODE* new_atom = nullptr;
    const bool is_legal = amu->duplicate_atom(reg, &new_atom, nullptr);
    if (!is_legal) l_internal_error("is_legal", __LINE__);
    if (new_atom == nullptr) l_internal_error("new_atom", __LINE__);
    WEXAN_ENV::get_env()->get_design()->copy_atom_location_constraints(reg, new_atom, false, false);
    if (verbose) msg_vdebug_impl(2, "duplicated %s to %s", l_path(reg).c_str(), l_path(new_atom).c_str());
    VOK_ATOM_OTERM* out = l_data_out(new_atom);
    for (VOK_ATOM_ITERM* t : iterm_vec) {
      amu->reconnect_iterm(t, out, nullptr);
      if (verbose)
        msg_vdebug_impl(2, "    Moved iterm %s:%s to %s", l_path(t->get_my_node()).c_str(), l_port(t).c_str(),
                        l_path(new_atom).c_str());
    }
    copies.push_back(new_atom);
  }
  return copies;
}

namespace {
// The debug texts of the single-copy strategies' common end.
struct SPLIT_TEXTS {
  const char* none_moved;  // (register path)
  const char* none_stay;   // (register path)
  const char* moving;      // (register path, number of moved loads)
};

// The end the aclear and clock strategies share: without a load to move
// nothing happens; without a load that stays the register itself serves the
// moved loads (no copy, and no later strategy works on it); otherwise one copy
// takes the moved loads and both counts grow.
std::vector<VOK_ATOM_NODE*> l_split_off(VOK_ATOM_NODE* reg, const std::string& path, VOK_ATOM_NODE*& local_reg,
                                        const VELMO_DRR_ITERM_COLLECTIONS& collections, bool stays,
                                        const SPLIT_TEXTS& texts, std::uint32_t& per_reg_count, std::uint32_t& total,
                                        SIV_ATOM_MOD_UTILITY* amu, bool verbose) {
  const std::list<VOK_ATOM_ITERM*>& moved = collections.front();
  if (moved.empty()) {
    if (verbose) msg_vdebug_impl(2, texts.none_moved, path.c_str());
    return {};
  }
  if (!stays) {
    if (verbose) msg_vdebug_impl(2, texts.none_stay, path.c_str());
    local_reg = nullptr;
    return {};
  }
  if (verbose) msg_vdebug_impl(2, texts.moving, path.c_str(), static_cast<unsigned>(moved.size()));
  std::vector<VOK_ATOM_NODE*> copies = drr_duplicate_for_iterms(reg, collections, amu, verbose);
  ++total;
  ++per_reg_count;
  return copies;
}
}  // namespace

std::vector<VOK_ATOM_NODE*> drr_duplicate_for_cross_partition_transfers(
    VOK_ATOM_NODE* reg, VOK_ATOM_NODE*& local_reg, std::uint32_t& per_reg_count, std::uint32_t per_reg_limit,
    std::uint32_t& total, std::uint32_t total_limit, VELMO_DRR_INFO_CACHE& cache, SIV_ATOM_MOD_UTILITY* amu,
    bool verbose, bool extra) {
  static const bool s_on = cfg_is_on("dup_regs_for_retiming_for_partitions", true);
  static const bool s_per_port = cfg_is_on("dup_regs_for_retiming_per_boundary_port", true);
  static const bool s_transitive = cfg_is_on("dup_regs_for_retiming_transitive_partition", true);
  static bool s_max_dups_warning_issued = false;
  local_reg = reg;
  if (!s_on) return {};
  const std::string path = l_path(reg);
  if (total >= total_limit) {
    if (!s_max_dups_warning_issued) {
      msg_vdebug_impl(2, "Hit total dup for partitions limit of %u", total_limit);
      s_max_dups_warning_issued = true;
    }
    return {};
  }
  if (verbose) msg_vdebug_impl(2, "Checking %s for cross-partition transfers", path.c_str());
  VELMO_DRR_ITERM_COLLECTIONS collections;
  bool local = false;
  for (VOK_ATOM_ITERM* t : l_fanout(reg, VOK_TRAVERSE_AS_STORED)) {
    const VOK_ATOM_NODE* a = t->get_my_node();
    if (extra) msg_vdebug_impl(2, "    checking iterm %s:%s", l_path(a).c_str(), l_port(t).c_str());
    bool boundary = l_is_boundary(a);
    if (!boundary && s_transitive) {
      const VELMO_DRR_ATOM_INFO* info = velmo_drr_get_info_for_atom(a, cache, extra);
      if (extra) msg_vdebug_impl(2, "    info: %s", l_text(*info).c_str());
      boundary = info->m_crosses_partition;
    }
    if (!boundary) {
      local = true;
      continue;
    }
    if (!s_per_port && !collections.empty()) {
      if (collections.size() != 1) l_internal_error("iterm_collections.size() == 1", __LINE__);
      collections.front().push_back(t);
      continue;
    }
    if (per_reg_count >= per_reg_limit) {
      msg_vdebug_impl(2, "%s: Hit per-atom limit of %u", path.c_str(), per_reg_limit);
      break;
    }
    if (total >= total_limit) {
      msg_vdebug_impl(2, "%s: Hit total dup for partitions limit of %u", path.c_str(), total_limit);
      s_max_dups_warning_issued = true;
      break;
    }
    collections.push_back({t});
    ++per_reg_count;
    ++total;
  }
  if (!local) {
    if (verbose) msg_vdebug_impl(2, "%s: No local transfers found", path.c_str());
    local_reg = nullptr;
    if (collections.empty()) {
      if (verbose) msg_vdebug_impl(2, "%s: no partition boundaries detected", path.c_str());
      return {};
    }
    if (collections.size() == 1) {
      if (verbose) msg_vdebug_impl(2, "%s: Only 1 duplicate for partitions and no local transfers found", path.c_str());
      return {};
    }
  } else if (collections.empty()) {
    if (verbose) msg_vdebug_impl(2, "%s: no partition boundaries detected", path.c_str());
    return {};
  }
  if (verbose)
    msg_vdebug_impl(2, "Duplicating %s %u times for partitions", path.c_str(), static_cast<unsigned>(collections.size()));
  return drr_duplicate_for_iterms(reg, collections, amu, verbose);
}

std::vector<VOK_ATOM_NODE*> drr_duplicate_for_aclears(VOK_ATOM_NODE* reg, VOK_ATOM_NODE*& local_reg,
                                                      std::uint32_t& per_reg_count, std::uint32_t per_reg_limit,
                                                      std::uint32_t& total, std::uint32_t total_limit,
                                                      VELMO_DRR_INFO_CACHE& cache, SIV_ATOM_MOD_UTILITY* amu,
                                                      bool verbose, bool extra) {
  static const bool s_on = cfg_is_on("dup_regs_for_retiming_for_aclears", true);
  static bool s_max_dups_warning_issued = false;
  local_reg = reg;
  if (!s_on) return {};
  if (total >= total_limit) {
    if (!s_max_dups_warning_issued) {
      if (verbose) msg_vdebug_impl(2, "Hit total dup for aclears limit of %u", total);
      s_max_dups_warning_issued = true;
    }
    return {};
  }
  if (per_reg_count >= per_reg_limit) {
    if (verbose) msg_vdebug_impl(2, "Hit per-reg dup limit of %u", per_reg_count);
    return {};
  }
  const std::string path = l_path(reg);
  VELMO_DRR_ITERM_COLLECTIONS collections(1);
  std::list<VOK_ATOM_ITERM*>& moved = collections.front();
  bool stays = false;
  if (verbose) msg_vdebug_impl(2, "Checking %s for aclears", path.c_str());
  for (VOK_ATOM_ITERM* t : l_fanout(reg, VOK_TRAVERSE_HIERARCHICAL)) {
    const VOK_ATOM_NODE* a = t->get_my_node();
    if (extra) msg_vdebug_impl(2, "    checking iterm %s:%s", l_path(a).c_str(), l_port(t).c_str());
    // A load across a partition boundary stays (see above).
    bool move = false;
    if (!l_reached_through_boundary(t)) {
      if (l_is_comb(a)) {
        const VELMO_DRR_ATOM_INFO* info = velmo_drr_get_info_for_atom(a, cache, extra);
        if (extra) msg_vdebug_impl(2, "    got lcell/lm info %s", l_text(*info).c_str());
        move = info->m_feeds_aclr;
      } else {
        move = l_is_aclr_load(t);
      }
    }
    if (move) {
      moved.push_back(t);
      if (verbose) msg_vdebug_impl(2, "    %s: %s iterm feeds aclear", path.c_str(), l_path(a).c_str());
    } else {
      stays = true;
      if (verbose) msg_vdebug_impl(2, "    %s: %s iterm feeds non-aclear", path.c_str(), l_path(a).c_str());
    }
  }
  static constexpr SPLIT_TEXTS kTexts{"    %s has no iterms feeding aclear", "    %s has no iterms feeding non-aclear",
                                      "    %s has %u iterms feeding aclear"};
  return l_split_off(reg, path, local_reg, collections, stays, kTexts, per_reg_count, total, amu, verbose);
}

std::vector<VOK_ATOM_NODE*> drr_duplicate_for_diff_clocks(VOK_ATOM_NODE* reg, VOK_ATOM_NODE*& local_reg,
                                                          std::uint32_t& per_reg_count, std::uint32_t per_reg_limit,
                                                          std::uint32_t& total, std::uint32_t total_limit,
                                                          VELMO_DRR_INFO_CACHE& cache, SIV_ATOM_MOD_UTILITY* amu,
                                                          bool verbose, bool extra) {
  static const bool s_on = cfg_is_on("dup_regs_for_retiming_for_diff_clocks", true);
  [[maybe_unused]] static bool s_max_dups_warning_issued = false;
  local_reg = reg;
  if (!s_on) return {};
  if (total >= total_limit) {
    if (verbose) msg_vdebug_impl(2, "Hit total dup for diff clocks limit of %u", total);
    s_max_dups_warning_issued = true;
    return {};
  }
  if (per_reg_count >= per_reg_limit) {
    if (verbose) msg_vdebug_impl(2, "Hit per-reg dup limit of %u", per_reg_count);
    return {};
  }
  const std::string path = l_path(reg);
  if (verbose) msg_vdebug_impl(2, "Checking %s for different clocks", path.c_str());
  const VOK_ATOM_ITERM* clk = reg->get_input_term_by_type(DB_INPUT_PORT_CLK, 0);
  const VOK_ATOM_OTERM* clock = clk ? clk->get_source(VOK_TRAVERSE_AS_STORED) : nullptr;
  if (clock == nullptr) {
    if (verbose) msg_vdebug_impl(2, "%s: No clock iterm", path.c_str());
    return {};
  }
  const bool invert = clk->is_inverted();
  VELMO_DRR_ITERM_COLLECTIONS collections(1);
  std::list<VOK_ATOM_ITERM*>& moved = collections.front();
  bool stays = false;
  for (VOK_ATOM_ITERM* t : l_fanout(reg, VOK_TRAVERSE_HIERARCHICAL)) {
    const VOK_ATOM_NODE* a = t->get_my_node();
    if (verbose) msg_vdebug_impl(2, "    checking iterm %s:%s", l_path(a).c_str(), l_port(t).c_str());
    if (l_reached_through_boundary(t)) {
      stays = true;
      if (verbose) msg_vdebug_impl(2, "    %s: iterm %s lies across a partition boundary", path.c_str(), l_path(a).c_str());
      continue;
    }
    const VELMO_DRR_ATOM_INFO* info = velmo_drr_get_info_for_atom(a, cache, extra);
    if (extra) msg_vdebug_impl(2, "    info: %s", l_text(*info).c_str());
    if (!info->m_multiple_clocks && info->m_clock_oterm == clock && info->m_invert == invert) {
      stays = true;
      if (verbose) msg_vdebug_impl(2, "    %s: iterm %s feeds same clock", path.c_str(), l_path(a).c_str());
    } else {
      moved.push_back(t);
      if (verbose) msg_vdebug_impl(2, "    %s: iterm %s feeds different clock", path.c_str(), l_path(a).c_str());
    }
  }
  static constexpr SPLIT_TEXTS kTexts{"    %s has no iterms feeding different clocks",
                                      "    %s has no iterms feeding same-clock registers",
                                      "    %s has %u iterms feeding different clock"};
  return l_split_off(reg, path, local_reg, collections, stays, kTexts, per_reg_count, total, amu, verbose);
}

void VELMO_DUP_REG_FOR_RETIMING::dup_regs_for_retiming() {
  SCOPED_BIN bin;
  static const std::uint32_t s_per_reg_limit =
      static_cast<std::uint32_t>(cfg_get_int_value("dup_regs_for_retiming_max_dups_per_reg", 50));
  static const std::uint32_t s_partition_limit =
      static_cast<std::uint32_t>(cfg_get_int_value("dup_regs_for_retiming_max_total_dups_for_partition", 3000));
  static const std::uint32_t s_aclear_limit =
      static_cast<std::uint32_t>(cfg_get_int_value("dup_regs_for_retiming_max_total_dups_for_aclears", 3000));
  static const std::uint32_t s_clock_limit =
      static_cast<std::uint32_t>(cfg_get_int_value("dup_regs_for_retiming_max_total_dups_for_diff_clocks", 3000));
  static const bool s_verbose = cfg_is_on("dup_regs_for_retiming_verbose", false);
  static const bool s_extra = cfg_is_on("dup_regs_for_retiming_extra_verbose", false);
  static const bool s_dump = cfg_is_on("dup_regs_for_retiming_dump_netlist", false);

  VOK_ATOM_NETLIST* netlist = m_env->get_atom_netlist();
  R5T_INTERFACE* r5t = R5T_INTERFACE::get_or_create_instance();
  // The pass owns its modification utility.
  std::unique_ptr<SIV_ATOM_MOD_UTILITY> amu(m_env->create_atom_mod_utility_for_algorithm(kAtomModAlgorithm, nullptr));
  if (!amu) l_internal_error("amu", __LINE__);
  const WEXAN_ATOM_MOD_DRC* drc = m_env->get_atom_mod_drc();
  if (drc == nullptr) l_internal_error("siv", __LINE__);

  VELMO_DRR_INFO_CACHE cache;
  const std::string base = m_env->get_cmp()->get_dump_name();
  ZEL_ATOM_DUMPER dumper(m_env->get_chip_db_entry());
  if (s_dump) dumper.dump_current_atom_netlist(base + ".dup_regs_for_retiming_pre_netlist", true);

  const PELK key = PELK::intern(kMetadataNamespace, "RETIMER_NO_TOUCH");
  const PELK locked = PELK::intern(kMetadataNamespace, "LOCKED");
  std::uint64_t reasons = 0;
  std::vector<VOK_ATOM_NODE*> candidates;
  for (VOK_ATOM_NODE* atom : netlist->nodes(VOK_TRAVERSE_HIERARCHICAL)) {
    if (!atom->is_ff() || atom->get_atom_type() != kCoreRegisterType) continue;
    if (r5t->get_atom_metadata(atom->get_id(), key) == locked) {
      if (s_verbose) msg_vdebug_impl(2, "skipping %s due to r5t", l_path(atom).c_str());
      continue;
    }
    drc->atom_mod_allowed_for_operation(atom->get_id(), kDupOperation, nullptr, &reasons, nullptr, false);
    const std::uint64_t reduced = reasons & ~kIgnoredReasons;
    if (reduced != 0) {
      if (s_verbose) {
        msg_vdebug_impl(2, "skipping %s due to siv", l_path(atom).c_str());
        std::vector<WEXAN_ATOM_MOD_DRC_MESSAGE*> messages;
        drc->atom_mod_allowed_for_operation(atom->get_id(), kDupOperation, "DRR", &reasons, &messages, false);
        std::string bits;
        for (int b = 0; b <= 38; ++b)
          if ((reduced >> b) & 1u) bits += " " + std::to_string(b);
        msg_vdebug_impl(2, "   bits set after mask:%s", bits.c_str());
        for (WEXAN_ATOM_MOD_DRC_MESSAGE* m : messages) {
          msg_vdebug_impl(2, "    %s", m->get_text().c_str());
          delete m;
        }
      }
      continue;
    }
    const VOK_ATOM_OTERM* q = l_data_out(atom);
    if (q == nullptr || q->has_fanout_less_than(2, VOK_TRAVERSE_HIERARCHICAL)) continue;
    candidates.push_back(atom);
  }
  if (s_verbose && !candidates.empty())
    msg_vdebug_impl(2, "Found %u atoms to process", static_cast<unsigned>(candidates.size()));

  std::uint32_t partition_total = 0, aclear_total = 0, clock_total = 0, max_per_reg = 0;
  for (VOK_ATOM_NODE* reg : candidates) {
    if (s_extra) msg_vdebug_impl(2, "Considering %s for duplication", l_path(reg).c_str());
    std::uint32_t count = 0;
    VOK_ATOM_NODE* local = reg;
    drr_duplicate_for_cross_partition_transfers(local, local, count, s_per_reg_limit, partition_total,
                                                s_partition_limit, cache, amu.get(), s_verbose, s_extra);
    if (count >= s_per_reg_limit) {
      msg_vdebug_impl(2, "Hit per-reg dup limit of %u", count);
      continue;
    }
    if (local == nullptr) {
      if (s_extra) msg_vdebug_impl(2, "    %s: no local transfer atoms", l_path(reg).c_str());
      continue;
    }
    VOK_ATOM_NODE* given = local;
    drr_duplicate_for_aclears(local, local, count, s_per_reg_limit, aclear_total, s_aclear_limit, cache, amu.get(),
                              s_verbose, s_extra);
    if (count >= s_per_reg_limit) {
      msg_vdebug_impl(2, "Hit per-reg dup limit of %u", count);
      continue;
    }
    if (local == nullptr) {
      if (s_extra) msg_vdebug_impl(2, "%s: no registers feeding non-aclears", l_path(given).c_str());
      continue;
    }
    drr_duplicate_for_diff_clocks(local, local, count, s_per_reg_limit, clock_total, s_clock_limit, cache, amu.get(),
                                  s_verbose, s_extra);
    if (count > max_per_reg) max_per_reg = count;
    if (count >= s_per_reg_limit) msg_vdebug_impl(2, "Hit per-reg dup limit of %u", count);
  }
  if (s_dump) dumper.dump_current_atom_netlist(base + ".dup_regs_for_retiming_post_netlist", true);
  msg_vdebug_impl(2, "Num dup registers for partitions:  %u", partition_total);
  msg_vdebug_impl(2, "Num dup registers for aclears:     %u", aclear_total);
  msg_vdebug_impl(2, "Num dup registers for diff clocks: %u", clock_total);
  msg_vdebug_impl(2, "Total dup registers for retiming: total dups: %u; max per reg: %u.",
                  partition_total + aclear_total + clock_total, max_per_reg);
}
