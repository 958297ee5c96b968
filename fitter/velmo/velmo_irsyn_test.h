#pragma once
// The post-route incremental LUT resynthesiser.
//
// TTBL<N> is the truth table of a function of N variables (2^N bits in
// 64-bit words): bit p of word w is the value for the assignment whose
// variable v < 6 is bit v of p and whose variable v >= 6 is bit v - 6 of w.
// Exchanging and inverting variables does not depend on how a LUT mask's
// index is read, so the same arithmetic serves every mask convention.
//
// IRSYN_MANAGER improves setup slack of one failing clock domain at a time
// by small local changes of combinational LUTs, each made through DUX and
// kept only when the domain slack of the changed LUT got better without
// breaking hold or the design's WNS cost: re-routing a LUT's most critical
// input, rotating the most critical input into another slot of the same LUT
// (the mask rewritten to match), and exchanging the critical input of a
// driving LUT B with an input of the LUT A it feeds when the composed
// function is symmetric in the two.
#include <array>
#include <cstdint>
#include <memory>
#include <set>
#include <vector>

#include "pelk/pelk_symbol.h"
#include "sta/sta_analysis.h"
#include "vok/vok_re_logical_port.h"

class CMP_FACADE;
class WEXAN_ENV;
class KEM_NETLIST;
class KEM_NODE;
class VOK_ATOM_NETLIST;
class VOK_ATOM_NODE;
class VOK_ATOM_ITERM;
class VOK_ATOM_OTERM;
class ZEL_ATOM_MOD_MANAGER;
class HOV_INCR;
class DUX;
class PLACE_DB;

// The in-word patterns of variables 0..5 (the positions where the variable is 1).
inline constexpr std::uint64_t TTBL_VAR_MASK[6] = {0xAAAAAAAAAAAAAAAAull, 0xCCCCCCCCCCCCCCCCull,
                                                   0xF0F0F0F0F0F0F0F0ull, 0xFF00FF00FF00FF00ull,
                                                   0xFFFF0000FFFF0000ull, 0xFFFFFFFF00000000ull};

template <int N> class TTBL {
public:
  static_assert(N >= 6 && N <= 12, "tables of 6 to 12 variables");
  static constexpr int WORDS = 1 << (N - 6);

  TTBL() { m_w.fill(0); }
  // Every word equal to `word` (a function of variables 0..5 only).
  static TTBL filled(std::uint64_t word) {
    TTBL t;
    t.m_w.fill(word);
    return t;
  }
  std::uint64_t word(int i) const { return m_w[static_cast<std::size_t>(i)]; }
  std::uint64_t& word(int i) { return m_w[static_cast<std::size_t>(i)]; }
  // The value for the assignment whose variable v is bit v of `assignment`.
  bool value(unsigned assignment) const {
    return ((m_w[assignment >> 6] >> (assignment & 63u)) & 1u) != 0;
  }

  // The table with the values of variables a and b exchanged.
  TTBL swap(int a, int b) const {
    if (a == b) return *this;
    if (a > b) std::swap(a, b);
    TTBL r;
    if (b < 6) {
      const std::uint64_t ma = TTBL_VAR_MASK[a], mb = TTBL_VAR_MASK[b];
      const int shift = (1 << b) - (1 << a);
      for (int i = 0; i < WORDS; ++i) {
        const std::uint64_t w = word(i);
        r.word(i) = (w & ~(ma ^ mb)) | ((w & ma & ~mb) << shift) | ((w & ~ma & mb) >> shift);
      }
    } else if (a >= 6) {
      const int ba = 1 << (a - 6), bb = 1 << (b - 6);
      for (int i = 0; i < WORDS; ++i) {
        int j = i & ~(ba | bb);
        if (i & ba) j |= bb;
        if (i & bb) j |= ba;
        r.word(i) = word(j);
      }
    } else {
      const std::uint64_t m = TTBL_VAR_MASK[a];
      const int s = 1 << a, bb = 1 << (b - 6);
      for (int i = 0; i < WORDS; ++i) {
        if (i & bb) continue;
        const std::uint64_t lo = word(i), hi = word(i | bb);
        r.word(i) = (lo & ~m) | ((hi & ~m) << s);
        r.word(i | bb) = (hi & m) | ((lo & m) >> s);
      }
    }
    return r;
  }

  // The table with variable a complemented.
  TTBL invert(int a) const {
    TTBL r;
    if (a < 6) {
      const std::uint64_t m = TTBL_VAR_MASK[a];
      const int s = 1 << a;
      for (int i = 0; i < WORDS; ++i) r.word(i) = ((word(i) & m) >> s) | ((word(i) & ~m) << s);
    } else {
      const int ba = 1 << (a - 6);
      for (int i = 0; i < WORDS; ++i) r.word(i) = word(i ^ ba);
    }
    return r;
  }

  // The cofactor for variable v = value, spread over both halves of v.
  TTBL cofactor(int v, bool value) const {
    TTBL r;
    if (v < 6) {
      const std::uint64_t m = TTBL_VAR_MASK[v];
      const int s = 1 << v;
      for (int i = 0; i < WORDS; ++i) {
        const std::uint64_t c = value ? word(i) & m : word(i) & ~m;
        r.word(i) = value ? c | (c >> s) : c | (c << s);
      }
    } else {
      const int bv = 1 << (v - 6);
      for (int i = 0; i < WORDS; ++i) r.word(i) = word(value ? (i | bv) : (i & ~bv));
    }
    return r;
  }
  bool depends_on(int v) const { return cofactor(v, false) != cofactor(v, true); }
  bool is_zero() const {
    for (std::uint64_t w : m_w)
      if (w) return false;
    return true;
  }

  friend bool operator==(const TTBL& x, const TTBL& y) { return x.m_w == y.m_w; }
  friend bool operator!=(const TTBL& x, const TTBL& y) { return !(x == y); }
  friend TTBL operator&(const TTBL& x, const TTBL& y) { return x.zip(y, [](auto p, auto q) { return p & q; }); }
  friend TTBL operator|(const TTBL& x, const TTBL& y) { return x.zip(y, [](auto p, auto q) { return p | q; }); }
  friend TTBL operator^(const TTBL& x, const TTBL& y) { return x.zip(y, [](auto p, auto q) { return p ^ q; }); }
  TTBL operator~() const {
    TTBL r;
    for (int i = 0; i < WORDS; ++i) r.word(i) = ~word(i);
    return r;
  }

private:
  template <class F> TTBL zip(const TTBL& y, F f) const {
    TTBL r;
    for (int i = 0; i < WORDS; ++i) r.word(i) = f(word(i), y.word(i));
    return r;
  }
  std::array<std::uint64_t, WORDS> m_w;
};

// Input codes of a LUT description: >= 0 a variable of the manager's table.
enum : int {
  IRSYN_CODE_ZERO = -1,    // tied, reads 0
  IRSYN_CODE_ONE = -2,     // tied, reads 1
  IRSYN_CODE_UNUSED = -3,  // not used
};

// A LUT description: its mask and, per input slot, the input code and the
// inversion flag.
struct BDIV_LUT {
  std::uint64_t mask = 0;
  int codes[8] = {IRSYN_CODE_UNUSED, IRSYN_CODE_UNUSED, IRSYN_CODE_UNUSED, IRSYN_CODE_UNUSED,
                  IRSYN_CODE_UNUSED, IRSYN_CODE_UNUSED, IRSYN_CODE_UNUSED, IRSYN_CODE_UNUSED};
  bool inv[8] = {false, false, false, false, false, false, false, false};
};

// A variable: a driving output and the smallest slack of an input it feeds.
struct IRSYN_VAR {
  VOK_ATOM_LOGICAL_PORT port;
  std::int32_t slack = 0;
};

// A pass candidate: a terminal and its slack.
struct LP_SLACK {
  VOK_ATOM_LOGICAL_PORT port;
  std::int32_t slack = 0;
};

// "No slack found" (the analyser's own "none" is 0x80000001).
inline constexpr std::int32_t IRSYN_NO_SLACK = 0x7FFFFFFF;
inline constexpr std::int32_t IRSYN_ANALYSER_NO_SLACK = static_cast<std::int32_t>(0x80000001u);

class IRSYN_MANAGER {
public:
  IRSYN_MANAGER(CMP_FACADE* cmp, WEXAN_ENV* env);
  ~IRSYN_MANAGER();
  IRSYN_MANAGER(const IRSYN_MANAGER&) = delete;
  IRSYN_MANAGER& operator=(const IRSYN_MANAGER&) = delete;

  // The domain loop; returns 1.
  int resyn();

  // ---- passes: the number of accepted changes
  int reroute_pass(int wns);
  int rotate_pass(int wns);
  int resyn_pass(int wns);
  bool reroute_one(VOK_ATOM_LOGICAL_PORT lut_input);
  bool rotate_one(VOK_ATOM_LOGICAL_PORT lut_output);
  bool resyn_one(VOK_ATOM_LOGICAL_PORT lut_output);
  // Whether an edit of the LUT would reach across a partition boundary: the
  // LUT lies in a partition's own netlist, or an input's source through the
  // boundary ports is not its source in the LUT's netlist. Such a LUT is
  // left as it is.
  bool across_boundary(const VOK_ATOM_NODE* atom) const;
  bool can_rotate(const VOK_ATOM_NODE* atom) const;
  bool can_resyn(const VOK_ATOM_NODE* atom) const { return can_rotate(atom); }
  bool is_resynthable(const VOK_ATOM_NODE* atom) const;
  bool is_var_zota(int variable) const;
  // The slots j of LUT A (normal mode) whose variable B's critical slot b
  // may take: the composition of A and B (B's output read in A's slot a) is
  // symmetric in (B's slot b, A's slot j), or symmetric with both inverted
  // (inverted[j] set). Slots marked in `skip` are passed over. Traces each
  // slot's finding.
  static std::vector<int> exchange_slots(std::uint64_t mask_a, const int codes_a[8], const bool inv_a[8], int a,
                                         std::uint64_t mask_b, const int codes_b[8], int b, const bool skip[8],
                                         bool inverted[8]);

  // ---- timing lookups (domain slacks are 0x7FFFFFFF when unknown)
  std::int32_t get_domain_wns() const;
  std::int32_t get_wns_cost() const;
  std::int32_t get_min_node_slack(const KEM_NODE* node) const;
  std::int32_t get_min_slack(const VOK_ATOM_OTERM* oterm) const;
  std::int32_t get_min_slack(const VOK_ATOM_ITERM* iterm) const;
  KEM_NODE* get_kem_node_for_oterm(const VOK_ATOM_OTERM* oterm) const;
  KEM_NODE* get_kem_node_for_iterm(const VOK_ATOM_ITERM* iterm) const;
  std::int32_t get_min_node_hold_slack(const KEM_NODE* node) const;
  std::int32_t get_min_hold_slack(const VOK_ATOM_ITERM* iterm) const;
  std::int32_t get_min_hold_slack(const VOK_ATOM_OTERM* oterm) const;
  void trace_slack_fwd_thru_zotas(const VOK_ATOM_OTERM* oterm, std::int32_t* setup, std::int32_t* hold) const;
  void trace_slack_bwd_thru_zotas(const VOK_ATOM_ITERM* iterm, std::int32_t* setup, std::int32_t* hold) const;

  // ---- acceptance of an implemented change
  bool is_solution_better(const VOK_ATOM_OTERM* oterm, std::int32_t old_slack);
  bool is_solution_better(const VOK_ATOM_ITERM* iterm, std::int32_t old_slack);

  // ---- LUT descriptions
  std::uint32_t expand_lut(const VOK_ATOM_NODE* atom, std::uint64_t* mask, int codes[8], bool inv[8],
                           std::uint32_t seed);
  int add_div_var(const VOK_ATOM_OTERM* oterm, std::int32_t slack);
  void print_lut_info(const char* label, std::uint64_t mask, const int codes[8], const bool inv[8]) const;

  // ---- netlist edits through DUX
  void connect_port_to(std::uint32_t atom_id, int slot, int code, bool inv);
  VOK_ATOM_ITERM* get_luti(std::uint32_t atom_id, int slot) const;
  static PELK get_port_sym(int slot);
  void fake_mask_set(std::uint32_t atom_id);

  void dump_netlist() const;

  // ---- mask arithmetic
  static std::uint64_t swap_mask(std::uint64_t mask, bool extended, int a, int b);
  static std::uint64_t invert_mask(std::uint64_t mask, bool extended, int a);
  static TTBL<12> compute_div_fn(std::uint64_t mask, const int map[6]);
  static TTBL<12> fn_shuffle_scatter(TTBL<12> f, const int map[6]);
  static TTBL<12> fn_shuffle_gather(TTBL<12> f, const int map[6]);
  static void divide(const TTBL<12>& f, const TTBL<12>& g, int var, int* best, TTBL<12>* out1, TTBL<12>* out2);
  static TTBL<8> bdiv_get_lut_fn(const BDIV_LUT* lut);

  // ---- state (read by the entry points' callers and checks)
  bool m_all_corners = true;
  WEXAN_ENV* m_env = nullptr;
  CMP_FACADE* m_cmp = nullptr;
  KEM_NETLIST* m_kem_netlist = nullptr;
  VOK_ATOM_NETLIST* m_atom_netlist = nullptr;
  ZEL_ATOM_MOD_MANAGER* m_siv = nullptr;
  std::unique_ptr<HOV_INCR> m_hov_incr;
  std::unique_ptr<DUX> m_dux;
  PLACE_DB* m_place_db = nullptr;
  std::vector<IRSYN_VAR> m_vars;
  int m_num_tries = 0, m_num_better = 0, m_num_worse = 0, m_num_fail = 0;
  int m_num_reroute_passes = 0, m_num_rotate_passes = 0, m_num_resyn_passes = 0;
  bool m_nonimprove_exit = true;
  int m_near_critical = 0, m_rotate_margin = 0, m_resyn_margin = 0, m_hold_margin = 0;
  bool m_dump_netlist_pre = false, m_avoid_zotas = true, m_fake_taint = true;
  std::int32_t m_wns_cost = 0;
  HOV_INCR_WNS_DOMAIN m_domain;
  std::set<std::uint32_t> m_tried;
  // LUTs whose connections or mask an accepted change altered (atom ids).
  std::set<int> m_changed_luts;

private:
  // The domain slack of a timing node under m_domain.
  std::int32_t domain_slack(const KEM_NODE* node) const;
  // The candidate window of a pass; false when the domain has no WNS entry.
  static bool window(int wns, int near_critical, std::int64_t* limit);
  // The slot whose variable has the smallest slack (lowest slot on ties); -1.
  int critical_slot(const int codes[8]) const;
  std::int32_t var_slack(int code) const;
  // Steps after the edits: implement, judge, restore. `watched` finds the
  // watched terminal's slack and acceptance again after each step.
  template <class TERM> bool attempt(std::uint64_t checkpoint, const VOK_ATOM_LOGICAL_PORT& watched,
                                     std::int32_t old_slack);
  std::vector<LP_SLACK> lut_output_candidates(int wns, bool (IRSYN_MANAGER::*test)(const VOK_ATOM_NODE*) const);
  VOK_ATOM_NODE* find_atom(std::uint32_t atom_id) const;
};
