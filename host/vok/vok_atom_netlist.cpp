#include "vok/vok_atom_netlist.h"
#include "vok/vok_atom_netlist_boxes.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <unordered_set>
#include <vector>
#include <set>
#include <string>

#include "cfg/cfg.h"
#include "common/host_control.h"
#include "common/host_world.h"
#include "msg/msg_internal_error.h"

namespace {

[[noreturn]] void fail(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "VOK", "vok_atom_netlist", line);
}

struct VOK_STATE {
  std::unique_ptr<VOK_ATOM_NETLIST> top = std::make_unique<VOK_ATOM_NETLIST>();
  bool id_manipulation_forbidden = false;
  VOK_ATOM_NETLIST* presented = nullptr;  // the chip database entry's netlist, when set
};
VOK_STATE& state() { return host_world_slot<VOK_STATE>(); }

// The next atom id lives outside the world (it is a static member the
// component reads); the reset puts it back to 0.
const bool s_next_id_reset_registered = [] {
  host_register_reset_hook("vok.s_next_id", [] { VOK_ATOM_NODE::s_next_id = 0; });
  return true;
}();

// Predicates of a kind row.
enum : std::uint64_t {
  P_FF = 1ull << 0,
  P_LCELL_COMB = 1ull << 1,
  P_MAC = 1ull << 2,
  P_RAM = 1ull << 3,
  P_LUTRAM = 1ull << 4,
  P_CLK_BURST = 1ull << 5,
  P_CLK_DIVIDER = 1ull << 6,
  P_CLK_GATE = 1ull << 7,
  P_IO_IBUF = 1ull << 8,
  P_IO_PAD = 1ull << 9,
  P_BIDIR = 1ull << 10,
  P_PORT = 1ull << 11,
  P_UFIND4H_UIB = 1ull << 12,
  P_UFI_ESRAM = 1ull << 13,
  P_UFI_UIB = 1ull << 14,
  P_UIBSSM = 1ull << 15,
  P_UIB_IO_PHY = 1ull << 16,
  P_UIB_RDRC = 1ull << 17,
  P_UIB_WDRC = 1ull << 18,
  P_LOGIC_MODULE = 1ull << 19,
  P_PRBLOCK = 1ull << 20,
  P_TILE_CTRL = 1ull << 21,
  P_FP_MAC = 1ull << 22,
  P_IO_OBUF = 1ull << 23,
  P_PIN = 1ull << 24,
  P_PERIPHERAL = 1ull << 25,
  P_CLKBUF = 1ull << 26,
  P_PLL = 1ull << 27,
  P_INPUT = 1ull << 28,
  P_OUTPUT = 1ull << 29,
  P_ZOTA = 1ull << 30,  // made as a pipeline register
};

struct KIND_ROW {
  VOK_ATOM_KIND kind;
  int basic_type;
  int atom_type;
  int default_element;
  int register_kind;
  std::uint64_t predicates;
};

// Indexed by VOK_ATOM_KIND. Default element 0 stands for "none" and for the
// pad and periphery sites, which have no element kind of their own here.
constexpr KIND_ROW KIND_ROWS[] = {
    {VOK_ATOM_KIND::CORE_REGISTER, 47, 392, 643, 0, P_FF},
    {VOK_ATOM_KIND::PIPELINE_REGISTER, 47, 401, 643, 0, P_FF | P_ZOTA},
    {VOK_ATOM_KIND::IO_REGISTER, 47, 393, 643, 396, P_FF | P_PERIPHERAL},
    {VOK_ATOM_KIND::COMB_CELL, 247, 247, 644, 0, P_LCELL_COMB},
    {VOK_ATOM_KIND::ARITH_CELL, 247, 247, 557, 0, P_LCELL_COMB},
    {VOK_ATOM_KIND::LOGIC_MODULE, 247, 248, 644, 0, P_LOGIC_MODULE},
    {VOK_ATOM_KIND::LUTRAM, 250, 250, 644, 0, P_LUTRAM},
    {VOK_ATOM_KIND::RAM, 251, 251, 1337, 0, P_RAM},
    {VOK_ATOM_KIND::MAC, 252, 252, 1336, 0, P_MAC},
    {VOK_ATOM_KIND::FP_MAC, 253, 253, 1336, 0, P_FP_MAC},
    {VOK_ATOM_KIND::PAD, 260, 260, 0, 0, P_IO_PAD | P_PIN},
    {VOK_ATOM_KIND::IBUF, 261, 261, 0, 0, P_IO_IBUF},
    {VOK_ATOM_KIND::OBUF, 262, 262, 0, 0, P_IO_OBUF},
    {VOK_ATOM_KIND::IOPLL, 422, 422, 581, 0, P_PLL},
    {VOK_ATOM_KIND::CMU_FPLL, 339, 339, 581, 0, P_PLL},
    {VOK_ATOM_KIND::CLKBUF, 270, 270, 0, 0, P_CLKBUF},
    {VOK_ATOM_KIND::CLK_GATE, 271, 271, 0, 0, P_CLK_GATE},
    {VOK_ATOM_KIND::SECTOR_CLK_GATE, 1850, 1850, 0, 0, P_CLK_GATE},
    {VOK_ATOM_KIND::CLK_BURST, 272, 272, 0, 0, P_CLK_BURST},
    {VOK_ATOM_KIND::CLK_DIVIDER, 273, 273, 0, 0, P_CLK_DIVIDER},
    {VOK_ATOM_KIND::UFIND4H_UIB, 290, 290, 0, 0, P_UFIND4H_UIB | P_PERIPHERAL},
    {VOK_ATOM_KIND::UFI_ESRAM, 291, 291, 0, 0, P_UFI_ESRAM | P_PERIPHERAL},
    {VOK_ATOM_KIND::UFI_UIB, 292, 292, 0, 0, P_UFI_UIB | P_PERIPHERAL},
    {VOK_ATOM_KIND::UIBSSM, 293, 293, 0, 0, P_UIBSSM | P_PERIPHERAL},
    {VOK_ATOM_KIND::UIB_IO_PHY, 294, 294, 0, 0, P_UIB_IO_PHY | P_PERIPHERAL},
    {VOK_ATOM_KIND::UIB_RDRC, 295, 295, 0, 0, P_UIB_RDRC | P_PERIPHERAL},
    {VOK_ATOM_KIND::UIB_WDRC, 296, 296, 0, 0, P_UIB_WDRC | P_PERIPHERAL},
    {VOK_ATOM_KIND::PRBLOCK, 297, 297, 0, 0, P_PRBLOCK | P_PERIPHERAL},
    {VOK_ATOM_KIND::TILE_CTRL, 298, 298, 0, 0, P_TILE_CTRL | P_PERIPHERAL},
    {VOK_ATOM_KIND::INPUT_PORT, 284, 284, 0, 0, P_PORT | P_INPUT},
    {VOK_ATOM_KIND::OUTPUT_PORT, 284, 284, 0, 0, P_PORT | P_OUTPUT},
    {VOK_ATOM_KIND::BIDIR_PORT, 284, 284, 0, 0, P_PORT | P_BIDIR},
    {VOK_ATOM_KIND::BLACKBOX, 3, 50, 0, 0, 0},
};
constexpr std::size_t KIND_COUNT = sizeof(KIND_ROWS) / sizeof(KIND_ROWS[0]);
static_assert(KIND_COUNT == static_cast<std::size_t>(VOK_ATOM_KIND::BLACKBOX) + 1, "one row per kind");

const KIND_ROW& row_of(VOK_ATOM_KIND kind) {
  const auto i = static_cast<std::size_t>(kind);
  if (i >= KIND_COUNT) fail("known atom kind", __LINE__);
  return KIND_ROWS[i];
}

}  // namespace

// ---------------------------------------------------------------- VOK_LUTMASK

int VOK_LUTMASK::max_num_inputs = 6;

void VOK_LUTMASK::set_value(int n, std::uint64_t mask) {
  if (n < 0 || n > 6) fail("0 <= n && n <= 6", __LINE__);
  const int width = 1 << n;
  if (width < 64) {
    mask &= (std::uint64_t{1} << width) - 1;
    for (int w = width; w < 64; w *= 2) mask |= mask << w;
  }
  m_bits = mask;
}

std::uint64_t VOK_LUTMASK::imask(int n, int i) {
  static constexpr std::uint64_t PATTERNS[6] = {0xAAAAAAAAAAAAAAAAull, 0xCCCCCCCCCCCCCCCCull, 0xF0F0F0F0F0F0F0F0ull,
                                                0xFF00FF00FF00FF00ull, 0xFFFF0000FFFF0000ull, 0xFFFFFFFF00000000ull};
  if (n < 1 || n > 6 || i < 0 || i >= n) fail("0 <= i && i < n && n <= 6", __LINE__);
  return PATTERNS[i];
}

bool VOK_LUTMASK::is_independent_of(int i) const {
  const std::uint64_t pattern = imask(6, i);
  return ((m_bits & pattern) >> (1 << i)) == (m_bits & ~pattern);
}

bool host::lut_eval(std::uint64_t mask, int n, unsigned in) {
  if (n == 8) {
    // An 8-input cell (atom bit 44): input 7 = 0 reads the high half over
    // inputs (0, 1, 5, 6, 4) at index bits 0-4, input 7 = 1 the low half
    // over inputs 0-4; both with the complemented index.
    const auto bit = [&](int i) { return (in >> i) & 1u; };
    if (bit(7) == 0) {
      const unsigned idx = bit(0) | bit(1) << 1 | bit(5) << 2 | bit(6) << 3 | bit(4) << 4;
      return ((mask >> (32 + (~idx & 31u))) & 1u) != 0;
    }
    return ((mask >> (~in & 31u)) & 1u) != 0;
  }
  if (n < 0 || n > 6) fail("0 <= n && n <= 6 || n == 8", __LINE__);
  const unsigned all = (1u << n) - 1u;
  return ((mask >> (~in & all)) & 1u) != 0;
}

// ---------------------------------------------------------------- VOK_ATOM_NODE

int VOK_ATOM_NODE::s_next_id = 0;

VOK_ATOM_NODE::VOK_ATOM_NODE(VOK_ATOM_KIND kind, int basic_type, int atom_type, int default_element)
    : m_kind(kind),
      m_id(s_next_id++),
      m_basic_type(basic_type),
      m_atom_type(atom_type),
      m_default_dev_element(default_element) {
  m_register_kind = row_of(kind).register_kind;
}

VOK_ATOM_NODE::~VOK_ATOM_NODE() {
  host::vok::note_atom_layout_changed(this, true);
  // An atom destroyed while still listed leaves its netlist's index.
  if (m_parent != nullptr) m_parent->unindex_placed(this);
  for (std::size_t i = 0; i < m_iterms.size(); ++i) delete m_iterms.at(i);
  for (std::size_t i = 0; i < m_oterms.size(); ++i) delete m_oterms.at(i);
  if (m_owns_name) delete m_name;
}

void VOK_ATOM_NODE::reset_next_id(int id) {
  if (state().id_manipulation_forbidden) fail("!VOK_ATOM_NODE::is_id_manipulation_forbidden()", __LINE__);
  s_next_id = id;
}

void VOK_ATOM_NODE::forbid_id_manipulation() {
  state().id_manipulation_forbidden = cfg_is_on("forbid_atom_id_manipulation", false);
}

bool VOK_ATOM_NODE::is_id_manipulation_forbidden() { return state().id_manipulation_forbidden; }

bool VOK_ATOM_NODE::is_fp_mac() const { return false; }
bool VOK_ATOM_NODE::is_io_obuf() const { return false; }
bool VOK_ATOM_NODE::is_pin() const { return false; }
bool VOK_ATOM_NODE::is_peripheral() const { return false; }
bool VOK_ATOM_NODE::is_clkbuf() const { return false; }
bool VOK_ATOM_NODE::is_pll() const { return false; }
bool VOK_ATOM_NODE::is_input() const { return false; }
bool VOK_ATOM_NODE::is_output() const { return false; }
bool VOK_ATOM_NODE::apply_operation(VOK_ATOM_OPERATION) { return false; }

VOK_ATOM_ITERM* VOK_ATOM_NODE::get_input_term_by_type(DB_INPUT_PORT_TYPE type, int index) const {
  for (std::size_t i = 0; i < m_iterms.size(); ++i) {
    VOK_ATOM_ITERM* t = m_iterms.at(i);
    if (t != nullptr && t->get_port_type() == type && t->get_index() == index) return t;
  }
  return nullptr;
}

VOK_ATOM_OTERM* VOK_ATOM_NODE::get_output_term_by_type(DB_OUTPUT_PORT_TYPE type, int index) const {
  for (std::size_t i = 0; i < m_oterms.size(); ++i) {
    VOK_ATOM_OTERM* t = m_oterms.at(i);
    if (t != nullptr && t->get_port_type() == type && t->get_index() == index) return t;
  }
  return nullptr;
}

bool VOK_ATOM_NODE::implements(DB_INPUT_PORT_TYPE type) const {
  for (std::size_t i = 0; i < m_iterms.size(); ++i)
    if (m_iterms.at(i) != nullptr && m_iterms.at(i)->get_port_type() == type) return true;
  return false;
}

bool VOK_ATOM_NODE::implements(DB_OUTPUT_PORT_TYPE type) const {
  for (std::size_t i = 0; i < m_oterms.size(); ++i)
    if (m_oterms.at(i) != nullptr && m_oterms.at(i)->get_port_type() == type) return true;
  return false;
}

VOK_ATOM_ITERM* VOK_ATOM_NODE::add_input_term(DB_INPUT_PORT_TYPE type, int index) {
  if (get_input_term_by_type(type, index) != nullptr) fail("!get_input_term_by_type(type, index)", __LINE__);
  auto* term = new VOK_ATOM_ITERM(this, type, index);
  m_iterms.push_back(term);
  return term;
}

VOK_ATOM_OTERM* VOK_ATOM_NODE::add_output_term(DB_OUTPUT_PORT_TYPE type, int index) {
  if (get_output_term_by_type(type, index) != nullptr) fail("!get_output_term_by_type(type, index)", __LINE__);
  auto* term = new VOK_ATOM_OTERM(this, type, index);
  m_oterms.push_back(term);
  return term;
}

void VOK_ATOM_NODE::remove_input_term(VOK_ATOM_ITERM* iterm) {
  for (std::size_t i = 0; i < m_iterms.size(); ++i) {
    if (m_iterms.at(i) == iterm) {
      m_iterms.set(i, nullptr);
      delete iterm;
      return;
    }
  }
  fail("iterm of this atom", __LINE__);
}

void VOK_ATOM_NODE::remove_output_term(VOK_ATOM_OTERM* oterm) {
  for (std::size_t i = 0; i < m_oterms.size(); ++i) {
    if (m_oterms.at(i) == oterm) {
      m_oterms.set(i, nullptr);
      delete oterm;
      return;
    }
  }
  fail("oterm of this atom", __LINE__);
}

std::string VOK_ATOM_NODE::get_string_hpath() const {
  if (m_name == nullptr) return std::string();
  std::string path;
  m_name->get_short_hpath(path, OMZ_HPATH_FORMAT_SHORT);
  return path;
}

void VOK_ATOM_NODE::set_name(const std::string& path) {
  if (m_owns_name) {
    m_name->set_path(path);
    return;
  }
  m_name = new OMZ_INSTANCE_NAME(path);
  m_owns_name = true;
}

void VOK_ATOM_NODE::set_shared_name(OMZ_INSTANCE_NAME* name) {
  if (m_owns_name) delete m_name;
  m_name = name;
  m_owns_name = false;
}

void VOK_ATOM_NODE::set_bit(int bit, bool on) {
  if (bit < 0 || bit >= 64) fail("0 <= bit && bit < 64", __LINE__);
  const std::uint64_t b = std::uint64_t{1} << bit;
  m_bits = on ? (m_bits | b) : (m_bits & ~b);
}

void VOK_ATOM_NODE::set_location(std::uint32_t gid, int element) {
  if (gid == 0xFFFFFFFFu || element == 0) {
    clear_location();
    return;
  }
  if (m_parent != nullptr) m_parent->unindex_placed(this);
  m_location_index = gid;
  m_location_element = element;
  if (m_parent != nullptr) m_parent->index_placed(this);
  host::vok::note_atom_layout_changed(this);
}

void VOK_ATOM_NODE::clear_location() {
  host::vok::note_atom_layout_changed(this);
  if (m_parent != nullptr) m_parent->unindex_placed(this);
  m_location_index = 0xFFFFFFFFu;
  m_location_element = 0;
  m_analytic_x = m_analytic_y = -1.0f;
}

bool VOK_ATOM_NODE::get_parameter(VOK_PARAMETER_TYPE type, int id, std::int64_t* value) const {
  auto it = m_parameters.find({type, id});
  if (it == m_parameters.end()) return false;
  if (value != nullptr) *value = it->second;
  return true;
}

// ---------------------------------------------------------------- VOK_ATOM_STANDIN

VOK_ATOM_STANDIN::VOK_ATOM_STANDIN(VOK_ATOM_KIND kind, int basic_type, int atom_type, int default_element)
    : VOK_ATOM_NODE(kind, basic_type, atom_type, default_element) {
  if (kind == VOK_ATOM_KIND::BLACKBOX) fail("kind != BLACKBOX", __LINE__);
  m_zota_marked = (row_of(kind).predicates & P_ZOTA) != 0;
}

VOK_ATOM_STANDIN::~VOK_ATOM_STANDIN() = default;

#define VOK_STANDIN_PREDICATE(name, bit) \
  bool VOK_ATOM_STANDIN::name() const { return (row_of(m_kind).predicates & (bit)) != 0; }
VOK_STANDIN_PREDICATE(is_ff, P_FF)
VOK_STANDIN_PREDICATE(is_lcell_comb, P_LCELL_COMB)
VOK_STANDIN_PREDICATE(is_mac, P_MAC)
VOK_STANDIN_PREDICATE(is_ram, P_RAM)
VOK_STANDIN_PREDICATE(is_lutram, P_LUTRAM)
VOK_STANDIN_PREDICATE(is_clk_burst, P_CLK_BURST)
VOK_STANDIN_PREDICATE(is_clk_divider, P_CLK_DIVIDER)
VOK_STANDIN_PREDICATE(is_clk_gate, P_CLK_GATE)
VOK_STANDIN_PREDICATE(is_io_ibuf, P_IO_IBUF)
VOK_STANDIN_PREDICATE(is_io_pad, P_IO_PAD)
VOK_STANDIN_PREDICATE(is_bidir, P_BIDIR)
VOK_STANDIN_PREDICATE(is_port, P_PORT)
VOK_STANDIN_PREDICATE(is_ufind4h_uib, P_UFIND4H_UIB)
VOK_STANDIN_PREDICATE(is_ufi_esram, P_UFI_ESRAM)
VOK_STANDIN_PREDICATE(is_ufi_uib, P_UFI_UIB)
VOK_STANDIN_PREDICATE(is_uibssm, P_UIBSSM)
VOK_STANDIN_PREDICATE(is_uib_io_phy, P_UIB_IO_PHY)
VOK_STANDIN_PREDICATE(is_uib_rdrc, P_UIB_RDRC)
VOK_STANDIN_PREDICATE(is_uib_wdrc, P_UIB_WDRC)
VOK_STANDIN_PREDICATE(is_logic_module, P_LOGIC_MODULE)
VOK_STANDIN_PREDICATE(is_prblock, P_PRBLOCK)
VOK_STANDIN_PREDICATE(is_tile_ctrl, P_TILE_CTRL)
VOK_STANDIN_PREDICATE(is_fp_mac, P_FP_MAC)
VOK_STANDIN_PREDICATE(is_io_obuf, P_IO_OBUF)
VOK_STANDIN_PREDICATE(is_pin, P_PIN)
VOK_STANDIN_PREDICATE(is_peripheral, P_PERIPHERAL)
VOK_STANDIN_PREDICATE(is_clkbuf, P_CLKBUF)
VOK_STANDIN_PREDICATE(is_pll, P_PLL)
// A pad is an input when it drives its input buffer and an output when its
// output buffer drives it (both for a bidirectional pad).
bool VOK_ATOM_STANDIN::is_input() const {
  if (m_kind == VOK_ATOM_KIND::PAD) return get_output_term_by_type(DB_OUTPUT_PORT_DATA, 0) != nullptr;
  return (row_of(m_kind).predicates & P_INPUT) != 0;
}
bool VOK_ATOM_STANDIN::is_output() const {
  if (m_kind == VOK_ATOM_KIND::PAD) return get_input_term_by_type(DB_INPUT_PORT_BOX, 0) != nullptr;
  return (row_of(m_kind).predicates & P_OUTPUT) != 0;
}
#undef VOK_STANDIN_PREDICATE

bool VOK_ATOM_STANDIN::apply_operation(VOK_ATOM_OPERATION op) {
  if (op != VOK_ATOM_OPERATION_FORCE_ZOTA || !is_ff()) return false;
  m_zota_marked = true;
  return true;
}

// ---------------------------------------------------------------- VOK_ATOM_BLACKBOX

VOK_ATOM_BLACKBOX::VOK_ATOM_BLACKBOX() : VOK_ATOM_NODE(VOK_ATOM_KIND::BLACKBOX, 3, 50, 0) {}

VOK_ATOM_BLACKBOX::~VOK_ATOM_BLACKBOX() {
  if (m_owns_child) delete m_child;
  else if (m_child != nullptr && m_child->get_parent_box() == this)
    m_child->set_parent_box(nullptr);
}

void VOK_ATOM_NETLIST::set_parent_box(VOK_ATOM_BLACKBOX* box) {
  m_parent_box = box;
  host::vok::note_layout_changed();
}

void VOK_ATOM_BLACKBOX::set_child_netlist(VOK_ATOM_NETLIST* child, bool owned) {
  host::vok::note_layout_changed();
  if (child == m_child) {
    m_owns_child = owned;
    return;
  }
  // A netlist held by another box moves to this one.
  if (child != nullptr && child->get_parent_box() != nullptr) child->get_parent_box()->release_child_netlist();
  if (m_child != nullptr) {
    if (m_owns_child)
      delete m_child;
    else
      m_child->set_parent_box(nullptr);
  }
  m_child = child;
  m_owns_child = owned;
  if (child == nullptr) return;
  child->set_parent_box(this);
  // The terminals link to the child's port atoms by id (a shell copy of a
  // netlist carries the full netlist's ids).
  for (VOK_ATOM_ITERM* t : iterms()) {
    const std::size_t port = static_cast<std::size_t>(t->get_index());
    VOK_ATOM_NODE* inner = port < m_port_ids.size() ? child->get_atom_by_id(m_port_ids[port]) : nullptr;
    if (inner == nullptr || inner->get_oterm_slot_count() == 0 || inner->get_oterm_slot(0) == nullptr) continue;
    if (t->get_hier_equiv() == inner->get_oterm_slot(0)) continue;
    vok_unlink_hier_equivalent(t);
    vok_unlink_hier_equivalent(inner->get_oterm_slot(0));
    vok_link_hier_equivalents(t, inner->get_oterm_slot(0));
  }
  for (VOK_ATOM_OTERM* t : oterms()) {
    const std::size_t port = static_cast<std::size_t>(t->get_index());
    VOK_ATOM_NODE* inner = port < m_port_ids.size() ? child->get_atom_by_id(m_port_ids[port]) : nullptr;
    if (inner == nullptr || inner->get_iterm_slot_count() == 0 || inner->get_iterm_slot(0) == nullptr) continue;
    if (t->get_hier_equiv() == inner->get_iterm_slot(0)) continue;
    vok_unlink_hier_equivalent(t);
    vok_unlink_hier_equivalent(inner->get_iterm_slot(0));
    vok_link_hier_equivalents(inner->get_iterm_slot(0), t);
  }
}

VOK_ATOM_NETLIST* VOK_ATOM_BLACKBOX::release_child_netlist() {
  VOK_ATOM_NETLIST* child = m_child;
  if (child != nullptr) child->set_parent_box(nullptr);
  m_child = nullptr;
  m_owns_child = true;
  return child;
}

VOK_ATOM_ITERM* VOK_ATOM_BLACKBOX::add_input_port(const std::string& name, VOK_ATOM_NODE* inner_port) {
  if (m_child == nullptr || inner_port == nullptr || inner_port->get_parent_netlist() != m_child ||
      !inner_port->is_port() || !inner_port->is_input())
    fail("an input port atom of the child netlist", __LINE__);
  VOK_ATOM_OTERM* inner = inner_port->get_oterm_slot_count() > 0 ? inner_port->get_oterm_slot(0) : nullptr;
  if (inner == nullptr) fail("inner port output term", __LINE__);
  const int index = static_cast<int>(m_ports.size());
  VOK_ATOM_ITERM* term = add_input_term(DB_INPUT_PORT_BOX, index);
  m_ports.push_back(name);
  m_port_ids.push_back(inner_port->get_id());
  vok_link_hier_equivalents(term, inner);
  return term;
}

VOK_ATOM_OTERM* VOK_ATOM_BLACKBOX::add_output_port(const std::string& name, VOK_ATOM_NODE* inner_port) {
  if (m_child == nullptr || inner_port == nullptr || inner_port->get_parent_netlist() != m_child ||
      !inner_port->is_port() || !inner_port->is_output())
    fail("an output port atom of the child netlist", __LINE__);
  VOK_ATOM_ITERM* inner = inner_port->get_iterm_slot_count() > 0 ? inner_port->get_iterm_slot(0) : nullptr;
  if (inner == nullptr) fail("inner port input term", __LINE__);
  const int index = static_cast<int>(m_ports.size());
  VOK_ATOM_OTERM* term = add_output_term(DB_OUTPUT_PORT_DATA, index);
  m_ports.push_back(name);
  m_port_ids.push_back(inner_port->get_id());
  vok_link_hier_equivalents(inner, term);
  return term;
}

std::string VOK_ATOM_BLACKBOX::get_port_by_index(int index) const {
  if (index < 0 || index >= static_cast<int>(m_ports.size())) return std::string();
  return m_ports[static_cast<std::size_t>(index)];
}

// ---------------------------------------------------------------- VOK_ATOM_FACTORY

VOK_ATOM_NODE* VOK_ATOM_FACTORY::create_node(VOK_ATOM_KIND kind) {
  if (kind == VOK_ATOM_KIND::BLACKBOX) return new VOK_ATOM_BLACKBOX();
  const KIND_ROW& row = row_of(kind);
  return new VOK_ATOM_STANDIN(kind, row.basic_type, row.atom_type, row.default_element);
}

VOK_ATOM_NODE* VOK_ATOM_FACTORY::create_node(int type, bool) {
  if (type == 61) return create_node(VOK_ATOM_KIND::COMB_CELL);
  if (type == 145) {  // the second IOPLL atom type
    const KIND_ROW& row = row_of(VOK_ATOM_KIND::IOPLL);
    return new VOK_ATOM_STANDIN(VOK_ATOM_KIND::IOPLL, 145, 145, row.default_element);
  }
  for (const KIND_ROW& row : KIND_ROWS)
    if (row.atom_type == type) return create_node(row.kind);
  fail("a known atom type", __LINE__);
}

// ---------------------------------------------------------------- VOK_ATOM_NETLIST

namespace {
// The black boxes of each netlist in list order, so that lookups through the
// hierarchy visit boxes only instead of every atom of every level. Never
// destroyed: netlists may go after static destruction has begun.
struct BOX_REGISTRY {
  std::mutex mutex;
  std::unordered_map<const VOK_ATOM_NETLIST*, std::vector<const VOK_ATOM_BLACKBOX*>> boxes;
};
BOX_REGISTRY& box_registry() {
  static BOX_REGISTRY* registry = new BOX_REGISTRY();
  return *registry;
}
}  // namespace

namespace host::vok {
namespace {
// Never destroyed: atoms may go after static destruction has begun.
struct LAYOUT_LOG {
  std::mutex mutex;
  std::uint64_t epoch = 1;
  std::uint64_t first = 0;  // the position of changes[0]
  std::vector<LAYOUT_CHANGE> changes;
};
LAYOUT_LOG& layout_log() {
  static LAYOUT_LOG* log = new LAYOUT_LOG();
  return *log;
}
// Past this many logged changes, a reader does better to read the design.
constexpr std::size_t LAYOUT_LOG_LIMIT = 8192;
void restart(LAYOUT_LOG& log) {
  ++log.epoch;
  log.first += log.changes.size();
  log.changes.clear();
}
}  // namespace
void layout_now(std::uint64_t* epoch, std::uint64_t* seq) {
  LAYOUT_LOG& log = layout_log();
  std::lock_guard<std::mutex> lock(log.mutex);
  *epoch = log.epoch;
  *seq = log.first + log.changes.size();
}
void note_layout_changed() {
  LAYOUT_LOG& log = layout_log();
  std::lock_guard<std::mutex> lock(log.mutex);
  restart(log);
}
void note_atom_layout_changed(const VOK_ATOM_NODE* atom, bool gone) {
  LAYOUT_LOG& log = layout_log();
  std::lock_guard<std::mutex> lock(log.mutex);
  if (log.changes.size() >= LAYOUT_LOG_LIMIT)
    restart(log);
  else
    log.changes.push_back({atom, gone});
}
bool layout_changes_since(std::uint64_t epoch, std::uint64_t* seq, std::vector<LAYOUT_CHANGE>* out) {
  LAYOUT_LOG& log = layout_log();
  std::lock_guard<std::mutex> lock(log.mutex);
  if (epoch != log.epoch || *seq < log.first || *seq > log.first + log.changes.size()) return false;
  out->insert(out->end(), log.changes.begin() + static_cast<std::ptrdiff_t>(*seq - log.first), log.changes.end());
  *seq = log.first + log.changes.size();
  return true;
}
void note_box_added(const VOK_ATOM_NETLIST* netlist, const VOK_ATOM_NODE* atom) {
  if (!atom->is_box()) return;
  BOX_REGISTRY& r = box_registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.boxes[netlist].push_back(static_cast<const VOK_ATOM_BLACKBOX*>(atom));
}
void note_box_removed(const VOK_ATOM_NETLIST* netlist, const VOK_ATOM_NODE* atom) {
  if (!atom->is_box()) return;
  BOX_REGISTRY& r = box_registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  auto it = r.boxes.find(netlist);
  if (it == r.boxes.end()) return;
  std::erase(it->second, static_cast<const VOK_ATOM_BLACKBOX*>(atom));
  if (it->second.empty()) r.boxes.erase(it);
}

std::vector<const VOK_ATOM_BLACKBOX*> boxes_of(const VOK_ATOM_NETLIST* netlist) {
  BOX_REGISTRY& r = box_registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  auto it = r.boxes.find(netlist);
  return it == r.boxes.end() ? std::vector<const VOK_ATOM_BLACKBOX*>() : it->second;
}
}  // namespace host::vok

VOK_ATOM_NETLIST::VOK_ATOM_NETLIST() : m_ground(nullptr, DB_OUTPUT_PORT_DATA, 0) {}

VOK_ATOM_NETLIST::~VOK_ATOM_NETLIST() {
  host::vok::note_layout_changed();
  {
    BOX_REGISTRY& r = box_registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.boxes.erase(this);
  }
  if (!m_own_all_nodes) return;
  // Drop the links between the atoms first, so that deleting them does not
  // walk fanout lists atom by atom. Hierarchy links are cut on both sides:
  // a child netlist may outlive this one.
  for (VOK_ATOM_NODE* atom : m_atoms) {
    for (std::size_t i = 0; i < atom->get_iterm_slot_count(); ++i)
      if (VOK_ATOM_ITERM* t = atom->get_iterm_slot(i)) {
        t->forget_links();
        if (t->m_hier_equiv) t->m_hier_equiv->m_hier_equiv = nullptr, t->m_hier_equiv = nullptr;
      }
    for (std::size_t i = 0; i < atom->get_oterm_slot_count(); ++i)
      if (VOK_ATOM_OTERM* t = atom->get_oterm_slot(i)) {
        t->forget_links();
        if (t->m_hier_equiv) t->m_hier_equiv->m_hier_equiv = nullptr, t->m_hier_equiv = nullptr;
      }
  }
  m_ground.forget_links();
  for (VOK_ATOM_NODE* atom : m_atoms) {
    atom->m_parent = nullptr;
    delete atom;
  }
}

VOK_ATOM_NODE* VOK_ATOM_NETLIST::get_atom_by_id(int id) const {
  auto it = m_id_map.find(id);
  return it == m_id_map.end() ? nullptr : *it->second.it;
}

void VOK_ATOM_NETLIST::add_node(VOK_ATOM_NODE* atom) {
  if (atom == nullptr) fail("atom", __LINE__);
  if (atom->m_parent != nullptr) fail("atom->get_parent_netlist() == nullptr", __LINE__);
  if (m_id_map.count(atom->get_id()) != 0) fail("unique atom id", __LINE__);
  ENTRY entry{m_atoms.insert(m_atoms.end(), atom), m_atoms_ro.insert(m_atoms_ro.end(), atom)};
  m_id_map.emplace(atom->get_id(), entry);
  atom->m_parent = this;
  index_placed(atom);
  host::vok::note_box_added(this, atom);
  if (atom->is_box())
    host::vok::note_layout_changed();
  else
    host::vok::note_atom_layout_changed(atom);
}

void VOK_ATOM_NETLIST::detach(VOK_ATOM_NODE* atom) {
  if (atom == nullptr || atom->m_parent != this) fail("atom->get_parent_netlist() == this", __LINE__);
  auto it = m_id_map.find(atom->get_id());
  if (it == m_id_map.end()) fail("atom in the id map", __LINE__);
  m_atoms.erase(it->second.it);
  m_atoms_ro.erase(it->second.it_ro);
  m_id_map.erase(it);
  unindex_placed(atom);
  atom->m_parent = nullptr;
  host::vok::note_box_removed(this, atom);
  if (atom->is_box())
    host::vok::note_layout_changed();
  else
    host::vok::note_atom_layout_changed(atom);
}

void VOK_ATOM_NETLIST::index_placed(VOK_ATOM_NODE* atom) {
  if (atom->is_placed()) m_placed_at[atom->m_location_index].push_back(atom);
}

void VOK_ATOM_NETLIST::unindex_placed(const VOK_ATOM_NODE* atom) {
  if (!atom->is_placed()) return;
  auto it = m_placed_at.find(atom->m_location_index);
  if (it == m_placed_at.end()) return;
  std::vector<VOK_ATOM_NODE*>& here = it->second;
  auto at = std::find(here.begin(), here.end(), atom);
  if (at == here.end()) return;
  *at = here.back();
  here.pop_back();
  if (here.empty()) m_placed_at.erase(it);
}

std::vector<VOK_ATOM_NODE*> VOK_ATOM_NETLIST::get_atoms_at_gid(std::uint32_t gid) const {
  if (m_lists_foreign_atoms) {
    std::vector<VOK_ATOM_NODE*> out;
    for (VOK_ATOM_NODE* a : m_atoms)
      if (a->is_placed() && a->get_location_gid() == gid) out.push_back(a);
    return out;
  }
  auto it = m_placed_at.find(gid);
  return it == m_placed_at.end() ? std::vector<VOK_ATOM_NODE*>() : it->second;
}

std::size_t VOK_ATOM_NETLIST::count_atoms_at_gid(std::uint32_t gid) const {
  if (m_lists_foreign_atoms) return get_atoms_at_gid(gid).size();
  auto it = m_placed_at.find(gid);
  return it == m_placed_at.end() ? 0 : it->second.size();
}

void VOK_ATOM_NETLIST::remove_flagged_nodes() {
  std::vector<VOK_ATOM_NODE*> flagged;
  for (VOK_ATOM_NODE* a : m_atoms)
    if (a->is_flagged_for_removal()) flagged.push_back(a);
  for (VOK_ATOM_NODE* a : flagged) detach(a);
}

void VOK_ATOM_NETLIST::remove(VOK_ATOM_NODE* atom) {
  detach(atom);
  // The terms' destructors unlink the inputs from their sources and leave
  // every input the atom drove OPEN.
  delete atom;
}

bool VOK_ATOM_NETLIST::sanity_check(std::string* why) const {
  bool ok = true;
  auto finding = [&](const std::string& text) {
    ok = false;
    if (why) *why += text + "\n";
  };
  if (m_atoms != m_atoms_ro) finding("the two atom lists differ");
  if (m_id_map.size() != m_atoms.size()) finding("id map and atom list differ in size");
  std::set<int> ids;
  auto check_fanouts = [&](const VOK_ATOM_OTERM* oterm, const std::string& name) {
    const VOK_ATOM_ITERM* prev = nullptr;
    std::size_t steps = 0;
    for (const VOK_ATOM_ITERM* t = oterm->m_first_fanout; t != nullptr; prev = t, t = t->m_next_fanout) {
      if (++steps > 100000000) {
        finding(name + ": fanout list does not end");
        return;
      }
      if (t->m_source != oterm) finding(name + ": fanout whose source is another term");
      if (t->m_prev_fanout != prev) finding(name + ": broken back link");
    }
    if (oterm->m_last_fanout != prev) finding(name + ": wrong last fanout");
  };
  // The inputs met in their own source's fanout list, for the sources of
  // this netlist (its outputs and ground), so that each input is looked up once instead of by walking its
  // source's whole list (quadratic on high-fanout nets).
  std::unordered_set<const VOK_ATOM_OTERM*> walked;
  std::unordered_set<const VOK_ATOM_ITERM*> listed;
  auto collect = [&](const VOK_ATOM_OTERM* oterm) {
    walked.insert(oterm);
    std::size_t steps = 0;
    for (const VOK_ATOM_ITERM* t = oterm->m_first_fanout; t != nullptr && ++steps <= 100000000; t = t->m_next_fanout)
      if (t->m_source == oterm) listed.insert(t);
  };
  for (const VOK_ATOM_NODE* atom : m_atoms)
    for (const VOK_ATOM_OTERM* t : atom->coterms()) collect(t);
  collect(&m_ground);
  auto in_fanout_list = [&](const VOK_ATOM_ITERM* t) {
    if (walked.count(t->m_source) != 0) return listed.count(t) != 0;
    for (const VOK_ATOM_ITERM* f = t->m_source->m_first_fanout; f != nullptr; f = f->m_next_fanout)
      if (f == t) return true;
    return false;
  };
  for (const VOK_ATOM_NODE* atom : m_atoms) {
    const std::string name = "atom#" + std::to_string(atom->get_id());
    if (!ids.insert(atom->get_id()).second) finding(name + ": duplicate id");
    if (atom->m_parent != this) finding(name + ": wrong parent netlist");
    if (get_atom_by_id(atom->get_id()) != atom) finding(name + ": id map points elsewhere");
    for (const VOK_ATOM_ITERM* t : atom->citerms()) {
      if (t->get_my_node() != atom) finding(name + ": input term of another atom");
      if (t->m_source == nullptr) continue;
      if (!t->m_connected) finding(name + ": input with a source but not connected");
      if (!in_fanout_list(t)) finding(name + ": input missing from its source's fanout list");
    }
    for (const VOK_ATOM_OTERM* t : atom->coterms()) {
      if (t->get_my_node() != atom) finding(name + ": output term of another atom");
      check_fanouts(t, name);
    }
  }
  check_fanouts(&m_ground, "ground");
  // The placed-atom index holds exactly the placed atoms this netlist owns.
  std::size_t indexed = 0;
  for (const auto& [gid, here] : m_placed_at) {
    indexed += here.size();
    for (const VOK_ATOM_NODE* a : here)
      if (a->m_parent != this || !a->is_placed() || a->m_location_index != gid || get_atom_by_id(a->get_id()) != a)
        finding("atom#" + std::to_string(a->get_id()) + ": indexed at gid " + std::to_string(gid) +
                " where it is not placed");
  }
  std::size_t placed = 0;
  for (const VOK_ATOM_NODE* atom : m_atoms) {
    if (atom->m_parent != this || !atom->is_placed()) continue;
    ++placed;
    auto it = m_placed_at.find(atom->m_location_index);
    if (it == m_placed_at.end() || std::find(it->second.begin(), it->second.end(), atom) == it->second.end())
      finding("atom#" + std::to_string(atom->get_id()) + ": placed at gid " + std::to_string(atom->m_location_index) +
              " but not indexed there");
  }
  if (indexed != placed) finding("the placed-atom index holds " + std::to_string(indexed) + " atoms, not " + std::to_string(placed));
  return ok;
}

// ---------------------------------------------------------------- host::vok

namespace host::vok {

VOK_ATOM_NETLIST* top_netlist() {
  VOK_STATE& st = state();
  return st.presented != nullptr ? st.presented : st.top.get();
}
void present_netlist(VOK_ATOM_NETLIST* netlist) { state().presented = netlist; }

std::string output_port_name(DB_OUTPUT_PORT_TYPE type, int index) {
  std::string name;
  switch (type) {
    case DB_OUTPUT_PORT_CARRY_OUT: name = "COUT"; break;
    case DB_OUTPUT_PORT_DATA: name = "DATAOUT"; break;
    case DB_OUTPUT_PORT_SUM: name = "SUMOUT"; break;
    case DB_OUTPUT_PORT_COMB: name = "COMBOUT"; break;
    case DB_OUTPUT_PORT_REG: name = "Q"; break;
    case DB_OUTPUT_PORT_CLK_GATE: name = "CLKOUT"; break;
    default: name = "OUT" + std::to_string(static_cast<int>(type)); break;
  }
  if (index != 0) name += "[" + std::to_string(index) + "]";
  return name;
}

host::raw_arg arg(const VOK_ATOM_NODE* atom) {
  return host::raw_arg{atom ? "atom#" + std::to_string(atom->get_id()) : "null"};
}

namespace {
template <class TERM> std::string term_text(const char* what, const TERM* t) {
  if (t == nullptr) return "null";
  const VOK_ATOM_NODE* atom = t->get_my_node();
  return std::string(what) + "#" + (atom ? std::to_string(atom->get_id()) : std::string("gnd")) + "." +
         std::to_string(static_cast<int>(t->get_port_type())) + "." + std::to_string(t->get_index());
}
}  // namespace

host::raw_arg arg(const VOK_ATOM_ITERM* iterm) { return host::raw_arg{term_text("iterm", iterm)}; }
host::raw_arg arg(const VOK_ATOM_OTERM* oterm) { return host::raw_arg{term_text("net", oterm)}; }

}  // namespace host::vok
