#pragma once
// The atom netlist of the stand-in host: netlists, atoms (VOK_ATOM_NODE and
// its concrete classes), the atom factory, MAC records and LUT masks.
//
// Codes of the stand-in atom kinds (basic type / atom type / default element):
//   core register          47 / 392 / 643   is_ff
//   pipeline register      47 / 401 / 643   is_ff, ZOTA-marked
//   I/O register           47 / 393 / 643   is_ff, is_peripheral (register kind 396-398)
//   comb / arithmetic cell 247 / 247 / 644, 557   is_lcell_comb
//   logic module           247 / 248 / 644  is_logic_module
//   LUT-RAM, RAM           250, 251 / same / 644, 1337
//   MAC, FP MAC            252, 253 / same / 1336   is_mac; is_fp_mac only
//   pad, ibuf, obuf        260-262 / same
//   IOPLL, CMU FPLL        422 (also 145), 339 / same / 581
//   clock buffer, clock gate, sector clock gate   270, 271, 1850
//   UIB/UFI/ESRAM blocks, PR block, tile control  290-298
//   port atom              284 / 284        is_port and a direction
//   black box              3 / 50           is_box
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/host_api.h"
#include "common/host_call_log.h"
#include "omz/omz_instance_name.h"
#include "vok/vok_atom_term.h"

class VOK_ATOM_BLACKBOX;
template <bool RO> class VOK_ATOM_ITERATOR;
template <bool RO> class VOK_ATOM_RANGE;
class VOK_ATOM_VALID_ITERM_RANGE;
class VOK_ATOM_VALID_OTERM_RANGE;

// Atom kinds of the stand-in (the row of the codes table an atom was made from).
enum class VOK_ATOM_KIND : std::int32_t {
  CORE_REGISTER,
  PIPELINE_REGISTER,
  IO_REGISTER,
  COMB_CELL,
  ARITH_CELL,
  LOGIC_MODULE,
  LUTRAM,
  RAM,
  MAC,
  FP_MAC,
  PAD,
  IBUF,
  OBUF,
  IOPLL,
  CMU_FPLL,
  CLKBUF,
  CLK_GATE,
  SECTOR_CLK_GATE,
  CLK_BURST,
  CLK_DIVIDER,
  UFIND4H_UIB,
  UFI_ESRAM,
  UFI_UIB,
  UIBSSM,
  UIB_IO_PHY,
  UIB_RDRC,
  UIB_WDRC,
  PRBLOCK,
  TILE_CTRL,
  INPUT_PORT,
  OUTPUT_PORT,
  BIDIR_PORT,
  BLACKBOX,
};

// Operations an atom can be asked to perform on itself. (Host enumeration;
// unrelated to the atom type 401 of pipeline registers.)
enum VOK_ATOM_OPERATION : std::int32_t {
  VOK_ATOM_OPERATION_FORCE_ZOTA = 401,  // put a register into pipeline-register (ZOTA) mode
};

// Basic MAC modes (0-34); the named ones are those the stand-in gives a
// meaning to.
enum VOK_MAC_MODE_ENUM : int {
  VOK_MAC_MODE_NONE = -1,
  VOK_MAC_MODE_M9X9 = 0,
  VOK_MAC_MODE_M18X18_COMPACT = 1,
  VOK_MAC_MODE_M18X18_FULL = 2,
  VOK_MAC_MODE_M18X18_PARTIAL = 3,
  VOK_MAC_MODE_M18X18_SYSTOLIC = 4,
  VOK_MAC_MODE_M27X27 = 9,
  VOK_MAC_MODE_M18X18_PLUS36 = 34,
};

// The MAC record: mode 0-34, signedness, widths, clocks and enables.
struct VOK_MAC_INFO {
  int mode = 0;
  bool signed_x = false;
  bool signed_y = false;
  int width_x = 0;
  int width_y = 0;
  int width_result = 0;
  int clocks[3] = {0, 0, 0};   // clock source index per register bank (0 = none)
  int enables[3] = {0, 0, 0};  // enable index per register bank (0 = none)
  // Per-port data, keyed by port type (read by ZEL_MAC_UNIFIED_UTIL). A port
  // without a recorded width is as wide as its run of terms from index 0.
  std::map<int, int> input_widths;
  std::map<int, int> input_natural_widths;  // 0 when absent
  std::map<int, bool> input_signed;         // unsigned when absent
  std::map<int, int> output_widths;
  std::map<int, int> input_clocks;   // 0 = none
  std::map<int, int> input_enables;  // 0 = none
  int clk_param_type = 0;  // 0: ports carry clocks; otherwise clock enables
  // Merge-related settings. Per-stage clocks and enables of an input port's
  // pipeline registers are keyed by (port, stage), stage >= 1; stage 0 is
  // the port's own register above.
  std::map<std::pair<int, int>, int> stage_clocks;
  std::map<std::pair<int, int>, int> stage_enables;
  std::map<int, int> output_clocks;  // by output port type; 0 = none
  bool preadder_used = false;
  bool preadder_subtract[2] = {false, false};  // per operand
  bool coefficient_used = false;
  int clear_type = 0;
  int operand_sources[2] = {0, 0};  // per operand
  bool chainout_adder = false;
  bool chainout_accum = false;
  int mult_elements = 0;  // 0: as the mode gives
};

// A LUT mask: raw bits. Index convention (complemented index): bit j holds the
// function's value for the natural inputs ~j within n bits; see host::lut_eval.
class HOST_API VOK_LUTMASK {
public:
  VOK_LUTMASK() = default;
  explicit VOK_LUTMASK(std::uint64_t bits) : m_bits(bits) {}
  std::uint64_t get_value() const { return m_bits; }
  // Stores the low 2^n bits of mask (n <= 6), repeated over all 64 bits so
  // the mask reads the same as a function of 6 inputs (the unused ones don't
  // matter).
  void set_value(int n, std::uint64_t mask);
  // The raw pattern of variable i (i < n <= 6): 0xAAAA... for i = 0,
  // 0xCCCC... for i = 1, and so on.
  static std::uint64_t imask(int n, int i);
  // True when the two cofactors of variable i are equal (convention-free).
  bool is_independent_of(int i) const;
  bool operator==(const VOK_LUTMASK& o) const { return m_bits == o.m_bits; }

  // data: the widest LUT (in inputs) the netlist optimisers may build masks
  // for; a process-wide setting, 6 unless an optimiser sets it.
  static int max_num_inputs;

private:
  std::uint64_t m_bits = 0;
};

namespace host {
// The LUT's output for natural inputs `in` (bit i = input i): bit ~in of the
// mask within n bits.
// n = 8: the 8-input layout (atom bit 44): input 7 = 0 reads the high 32
// bits over inputs (0, 1, 5, 6, 4) as index bits 0-4, input 7 = 1 the low 32
// bits over inputs 0-4, each with the complemented index.
HOST_API bool lut_eval(std::uint64_t mask, int n, unsigned in);
}  // namespace host

// Kinds of typed atom parameters (see yos/yos_interface.h).
enum class VOK_PARAMETER_TYPE : std::int32_t { UINT, BOOL, INT, ENUM, TIME };

class HOST_API VOK_ATOM_NODE {
public:
  virtual ~VOK_ATOM_NODE();
  VOK_ATOM_NODE(const VOK_ATOM_NODE&) = delete;
  VOK_ATOM_NODE& operator=(const VOK_ATOM_NODE&) = delete;

  // ---- ids. New atoms take s_next_id++ (process-wide, reset to 0 by the
  // host's reset).
  static int s_next_id;
  int get_id() const { return m_id; }
  // data: sets s_next_id; an internal error while id manipulation is
  // forbidden.
  static void reset_next_id(int id);
  // data: applies the current value of configuration variable
  // "forbid_atom_id_manipulation" (default off) to the ban.
  static void forbid_id_manipulation();
  static bool is_id_manipulation_forbidden();

  // ---- codes
  int get_basic_type() const { return m_basic_type; }
  int get_atom_type() const { return m_atom_type; }
  int get_register_kind() const { return m_register_kind; }
  void set_register_kind(int kind) { m_register_kind = kind; }
  int get_default_dev_element() const { return m_default_dev_element; }
  VOK_ATOM_KIND get_kind() const { return m_kind; }

  // ---- predicates. The component supplies the defaults (false) of these;
  // the concrete classes override those that apply.
  inline virtual bool is_ff() const;
  inline virtual bool is_lcell_comb() const;
  inline virtual bool is_mac() const;
  inline virtual bool is_ram() const;
  inline virtual bool is_lutram() const;
  inline virtual bool is_clk_burst() const;
  inline virtual bool is_clk_divider() const;
  inline virtual bool is_clk_gate() const;
  inline virtual bool is_io_ibuf() const;
  inline virtual bool is_io_pad() const;
  inline virtual bool is_bidir() const;
  inline virtual bool is_port() const;
  inline virtual bool is_ufind4h_uib() const;
  inline virtual bool is_ufi_esram() const;
  inline virtual bool is_ufi_uib() const;
  inline virtual bool is_uibssm() const;
  inline virtual bool is_uib_io_phy() const;
  inline virtual bool is_uib_rdrc() const;
  inline virtual bool is_uib_wdrc() const;
  inline virtual bool is_logic_module() const;
  inline virtual bool is_prblock() const;
  inline virtual bool is_tile_ctrl() const;
  inline virtual bool is_jtag_ela() const;  // stand-in atoms answer by their I/O role
  // Host predicates (false here; answered by the concrete classes).
  virtual bool is_fp_mac() const;
  virtual bool is_io_obuf() const;
  virtual bool is_pin() const;
  virtual bool is_peripheral() const;
  virtual bool is_clkbuf() const;
  virtual bool is_pll() const;
  virtual bool is_input() const;
  virtual bool is_output() const;
  // I/O roles of an atom (data: set by builders; false by default): DDIO
  // input, output and output-enable cells, delay-chain cells, 12-lane I/O
  // cells, JTAG ELA atoms, and I/O registers buried in their pin.
  enum IO_ROLE : unsigned {
    IO_ROLE_DDIO_IN = 1,
    IO_ROLE_DDIO_OUT = 2,
    IO_ROLE_DDIO_OE = 4,
    IO_ROLE_DELAY_CHAIN = 8,
    IO_ROLE_IO_12_LANE = 16,
    IO_ROLE_JTAG_ELA = 32,
    IO_ROLE_BURIED_IO_REGISTER = 64,
  };
  void set_io_roles(unsigned roles) { m_io_roles = roles; }
  unsigned get_io_roles() const { return m_io_roles; }
  virtual bool is_ddio_in() const { return (m_io_roles & IO_ROLE_DDIO_IN) != 0; }
  virtual bool is_ddio_out() const { return (m_io_roles & IO_ROLE_DDIO_OUT) != 0; }
  virtual bool is_ddio_oe() const { return (m_io_roles & IO_ROLE_DDIO_OE) != 0; }
  virtual bool is_delay_chain() const { return (m_io_roles & IO_ROLE_DELAY_CHAIN) != 0; }
  virtual bool is_io_12_lane() const { return (m_io_roles & IO_ROLE_IO_12_LANE) != 0; }
  // Basic type 3 only.
  bool is_box() const { return m_basic_type == 3; }

  // ---- operations: performs op on the atom; false when the atom cannot.
  virtual bool apply_operation(VOK_ATOM_OPERATION op);
  // Marked as a pipeline register (pipeline-register kind, or forced).
  bool is_zota_marked() const { return m_zota_marked; }

  // ---- terms
  std::size_t get_iterm_slot_count() const { return m_iterms.size(); }
  std::size_t get_oterm_slot_count() const { return m_oterms.size(); }
  VOK_ATOM_ITERM* get_iterm_slot(std::size_t i) const { return m_iterms.at(i); }
  VOK_ATOM_OTERM* get_oterm_slot(std::size_t i) const { return m_oterms.at(i); }
  const VOK_TERM_SLOTS<VOK_ATOM_ITERM>& get_iterm_slots() const { return m_iterms; }
  const VOK_TERM_SLOTS<VOK_ATOM_OTERM>& get_oterm_slots() const { return m_oterms; }
  // null when the atom has no such term.
  VOK_ATOM_ITERM* get_input_term_by_type(DB_INPUT_PORT_TYPE type, int index) const;
  VOK_ATOM_OTERM* get_output_term_by_type(DB_OUTPUT_PORT_TYPE type, int index) const;
  // data: whether the atom has the port type (the stand-in's atoms have the
  // ports they hold a term of).
  bool implements(DB_INPUT_PORT_TYPE type) const;
  bool implements(DB_OUTPUT_PORT_TYPE type) const;
  // algorithm: creates a term in a new slot; an existing (type, index) is an
  // internal error.
  VOK_ATOM_ITERM* add_input_term(DB_INPUT_PORT_TYPE type, int index);
  VOK_ATOM_OTERM* add_output_term(DB_OUTPUT_PORT_TYPE type, int index);
  // algorithm: disconnects and destroys the term; its slot becomes null.
  void remove_input_term(VOK_ATOM_ITERM* iterm);
  void remove_output_term(VOK_ATOM_OTERM* oterm);
  // The occupied slots, through the component's valid-term iterators.
  inline VOK_ATOM_VALID_ITERM_RANGE iterms() const;
  inline VOK_ATOM_VALID_ITERM_RANGE citerms() const;
  inline VOK_ATOM_VALID_OTERM_RANGE oterms() const;
  inline VOK_ATOM_VALID_OTERM_RANGE coterms() const;

  // ---- netlist and names
  VOK_ATOM_NETLIST* get_parent_netlist() const { return m_parent; }
  const OMZ_INSTANCE_NAME* get_instance_name() const { return m_name; }
  // data: the process-wide number of the atom's short hierarchical name
  // (atoms of one name, in any netlist, share it).
  unsigned get_instance_name_id() const;
  // The short hierarchical path.
  std::string get_string_hpath() const;
  // Gives the atom a name of its own.
  void set_name(const std::string& path);
  // Shares a name owned elsewhere (a partition's box).
  void set_shared_name(OMZ_INSTANCE_NAME* name);

  // ---- flags
  bool is_modifiable() const { return m_modifiable; }
  void set_modifiable(bool on) { m_modifiable = on; }
  // The removal flag that VOK_ATOM_NETLIST::remove_flagged_nodes acts on,
  // and the release of an atom out of any netlist (deletes it; its terms
  // leave their connections).
  bool is_flagged_for_removal() const { return m_flagged_for_removal; }
  void set_flagged_for_removal(bool on) { m_flagged_for_removal = on; }
  void release() { delete this; }
  bool powers_up() const { return m_powers_up; }
  void set_powers_up(bool high) { m_powers_up = high; }
  bool test_bit(int bit) const { return bit >= 0 && bit < 64 && ((m_bits >> bit) & 1u) != 0; }
  void set_bit(int bit, bool on);
  // data: whether the bit may be set on this atom (every bit by default;
  // tests mark bits illegal).
  bool bit_is_legal(int bit) const { return bit >= 0 && bit < 64 && ((m_illegal_bits >> bit) & 1u) == 0; }
  void set_bit_legal(int bit, bool legal) {
    if (bit < 0 || bit >= 64) return;
    if (legal)
      m_illegal_bits &= ~(std::uint64_t{1} << bit);
    else
      m_illegal_bits |= std::uint64_t{1} << bit;
  }

  // ---- location: m_location_index is a gid, 0xFFFFFFFF when unplaced
  // (returned as -1); element 0 when unplaced, else the site kind. Placing
  // or unplacing an atom keeps its parent netlist's index of placed atoms
  // (VOK_ATOM_NETLIST::get_atoms_at_gid) current.
  int get_location_index() const { return static_cast<int>(m_location_index); }
  std::uint32_t get_location_gid() const { return m_location_index; }
  int get_location_element() const { return m_location_element; }
  bool is_placed() const { return m_location_element != 0; }
  void set_location(std::uint32_t gid, int element);
  void clear_location();
  float get_analytic_x() const { return m_analytic_x; }
  float get_analytic_y() const { return m_analytic_y; }
  void set_analytic_xy(float x, float y) {
    m_analytic_x = x;
    m_analytic_y = y;
  }

  // ---- LUT mask and MAC record
  const VOK_LUTMASK& get_lutmask() const { return m_lutmask; }
  VOK_LUTMASK& get_lutmask() { return m_lutmask; }
  const VOK_MAC_INFO& get_mac_info() const { return m_mac; }
  VOK_MAC_INFO& get_mac_info() { return m_mac; }

  // ---- parameters (the store behind yos_current_interface())
  // False when the atom has no such parameter.
  bool get_parameter(VOK_PARAMETER_TYPE type, int id, std::int64_t* value) const;
  void set_parameter(VOK_PARAMETER_TYPE type, int id, std::int64_t value) {
    m_parameters[{type, id}] = value;
  }
  // The atom no longer has the parameter (undo of a first setting).
  void erase_parameter(VOK_PARAMETER_TYPE type, int id) { m_parameters.erase({type, id}); }

protected:
  VOK_ATOM_NODE(VOK_ATOM_KIND kind, int basic_type, int atom_type, int default_element);

  VOK_ATOM_KIND m_kind;
  bool m_zota_marked = false;

private:
  friend class VOK_ATOM_NETLIST;
  friend class VOK_ATOM_FACTORY;

  int m_id;
  int m_basic_type;
  int m_atom_type;
  int m_register_kind = 0;
  int m_default_dev_element;
  VOK_TERM_SLOTS<VOK_ATOM_ITERM> m_iterms;
  VOK_TERM_SLOTS<VOK_ATOM_OTERM> m_oterms;
  VOK_ATOM_NETLIST* m_parent = nullptr;
  OMZ_INSTANCE_NAME* m_name = nullptr;
  bool m_owns_name = false;
  std::uint32_t m_location_index = 0xFFFFFFFFu;
  int m_location_element = 0;
  float m_analytic_x = -1.0f;
  float m_analytic_y = -1.0f;
  std::uint64_t m_bits = 0;
  std::uint64_t m_illegal_bits = 0;
  bool m_modifiable = true;
  bool m_flagged_for_removal = false;
  bool m_powers_up = false;
  unsigned m_io_roles = 0;
  VOK_LUTMASK m_lutmask;
  VOK_MAC_INFO m_mac;
  std::map<std::pair<VOK_PARAMETER_TYPE, int>, std::int64_t> m_parameters;
};

// An ordinary atom: answers the predicates from its kind row.
class HOST_API VOK_ATOM_STANDIN : public VOK_ATOM_NODE {
public:
  VOK_ATOM_STANDIN(VOK_ATOM_KIND kind, int basic_type, int atom_type, int default_element);
  ~VOK_ATOM_STANDIN() override;

  bool is_ff() const override;
  bool is_lcell_comb() const override;
  bool is_mac() const override;
  bool is_ram() const override;
  bool is_lutram() const override;
  bool is_clk_burst() const override;
  bool is_clk_divider() const override;
  bool is_clk_gate() const override;
  bool is_io_ibuf() const override;
  bool is_io_pad() const override;
  bool is_bidir() const override;
  bool is_port() const override;
  bool is_ufind4h_uib() const override;
  bool is_ufi_esram() const override;
  bool is_ufi_uib() const override;
  bool is_uibssm() const override;
  bool is_uib_io_phy() const override;
  bool is_uib_rdrc() const override;
  bool is_uib_wdrc() const override;
  bool is_logic_module() const override;
  bool is_prblock() const override;
  bool is_tile_ctrl() const override;
  // A JTAG ELA atom by its I/O role.
  bool is_jtag_ela() const override { return (get_io_roles() & IO_ROLE_JTAG_ELA) != 0; }
  bool is_fp_mac() const override;
  bool is_io_obuf() const override;
  bool is_pin() const override;
  bool is_peripheral() const override;
  bool is_clkbuf() const override;
  bool is_pll() const override;
  bool is_input() const override;
  bool is_output() const override;

  // FORCE_ZOTA marks a register as a pipeline register.
  bool apply_operation(VOK_ATOM_OPERATION op) override;
};

// A black box: basic type 3, atom type 50, and a child netlist whose port
// atoms stand for its terminals. Owns its child unless told otherwise (a
// partition's netlist is owned by the partition state).
class HOST_API VOK_ATOM_BLACKBOX : public VOK_ATOM_NODE {
public:
  VOK_ATOM_BLACKBOX();
  ~VOK_ATOM_BLACKBOX() override;

  VOK_ATOM_NETLIST* get_child_netlist() { return m_child; }
  const VOK_ATOM_NETLIST* get_child_netlist() const { return m_child; }
  // Replaces the child (deleting an owned old one) and makes this box the
  // child's parent box (taking the child from another box holding it); the
  // box terminals link to the child's port atoms of the same ids.
  void set_child_netlist(VOK_ATOM_NETLIST* child, bool owned = true);
  // Gives the child up without deleting it; returns it.
  VOK_ATOM_NETLIST* release_child_netlist();
  bool owns_child_netlist() const { return m_owns_child; }

  // ---- ports. Port i is the box terminal of index i; its inner side is a
  // port atom of the child netlist.
  // algorithm: adds input port `name`: a box input term (DB_INPUT_PORT_BOX,
  // index = port index) linked to the output term of `inner_port`, an input
  // port atom of the child. Returns the box term.
  VOK_ATOM_ITERM* add_input_port(const std::string& name, VOK_ATOM_NODE* inner_port);
  // algorithm: adds output port `name`: a box output term linked to the input
  // term of `inner_port`, an output port atom of the child.
  VOK_ATOM_OTERM* add_output_port(const std::string& name, VOK_ATOM_NODE* inner_port);
  // The port name of a terminal index, or "" when there is none.
  std::string get_port_by_index(int index) const;
  int get_port_count() const { return static_cast<int>(m_ports.size()); }

private:
  friend class VOK_ATOM_NETLIST;
  VOK_ATOM_NETLIST* m_child = nullptr;
  bool m_owns_child = true;
  std::vector<std::string> m_ports;
  std::vector<int> m_port_ids;  // per port index: the inner port atom's id
};

class HOST_API VOK_ATOM_FACTORY {
public:
  // algorithm: a new atom (not in any netlist) with the next id. `type` is an
  // atom type of the codes table, or 61 for the combinational LUT cell;
  // another value is an internal error. The flag is accepted for the
  // callers' sake and has no effect in the stand-in.
  static VOK_ATOM_NODE* create_node(int type, bool flag);
  // A new atom of a stand-in kind.
  static VOK_ATOM_NODE* create_node(VOK_ATOM_KIND kind);
};

class HOST_API VOK_ATOM_NETLIST {
public:
  using ATOM_LIST = std::list<VOK_ATOM_NODE*>;

  VOK_ATOM_NETLIST();
  virtual ~VOK_ATOM_NETLIST();
  VOK_ATOM_NETLIST(const VOK_ATOM_NETLIST&) = delete;
  VOK_ATOM_NETLIST& operator=(const VOK_ATOM_NETLIST&) = delete;

  // The atoms, as stored (mode 0) or hierarchically (mode 1); the
  // component's iterators.
  inline VOK_ATOM_RANGE<false> nodes(VOK_TRAVERSE mode);
  inline VOK_ATOM_RANGE<true> nodes(VOK_TRAVERSE mode) const;

  // data
  std::size_t size() const { return m_atoms.size(); }
  bool empty() const { return m_atoms.empty(); }
  bool is_modifiable() const { return m_modifiable; }
  void set_modifiable(bool on) { m_modifiable = on; }
  VOK_ATOM_BLACKBOX* get_parent_box() const { return m_parent_box; }
  // Set by the parent box's set_child_netlist.
  void set_parent_box(VOK_ATOM_BLACKBOX* box);
  // The constant-0 driver of this netlist; it belongs to no atom.
  VOK_ATOM_OTERM* get_ground_oterm() { return &m_ground; }
  const std::string& get_namespace() const { return m_namespace; }
  void set_namespace(const std::string& name_space) { m_namespace = name_space; }
  // Whether deleting the netlist deletes its atoms (default true).
  void set_own_all_nodes(bool on) { m_own_all_nodes = on; }
  VOK_ATOM_NODE* get_atom_by_id(int id) const;
  // data: the listed atoms placed at `gid`, in no particular order. Read
  // from an index of the netlist's own placed atoms that every placement,
  // unplacement, addition, removal and destruction of one of them keeps
  // current, so a lookup costs what the site holds, not the netlist. A
  // netlist that lists atoms it does not own (add_node(atom, false)) is not
  // told when they move: it answers by walking its list.
  std::vector<VOK_ATOM_NODE*> get_atoms_at_gid(std::uint32_t gid) const;
  // data: how many listed atoms are placed at `gid` (as above).
  std::size_t count_atoms_at_gid(std::uint32_t gid) const;
  // The stored lists (identical; the second serves read-only walks).
  const ATOM_LIST& get_atom_list() const { return m_atoms; }
  const ATOM_LIST& get_atom_list_ro() const { return m_atoms_ro; }

  // algorithm: appends atom to both lists and the id map. An atom already in
  // a netlist, or a duplicate id, is an internal error.
  void add_node(VOK_ATOM_NODE* atom);
  // algorithm: disconnects the atom (its inputs from their sources, its
  // outputs' fanouts left OPEN), takes it out of the netlist and deletes it.
  void remove(VOK_ATOM_NODE* atom);
  // Takes the atom out of the netlist without deleting it (its connections
  // are left as they are).
  void detach(VOK_ATOM_NODE* atom);

  // data: consistency of sources, fanout lists, ids and the placed-atom
  // index; appends one line per finding to `why`. Used by tests.
  bool sanity_check(std::string* why = nullptr) const;

  // ---- shell copies of partition netlists
  // algorithm: an internal error when the check above finds anything (the
  // level is accepted for the callers' sake).
  void sanity_check(int level) const;
  // algorithm: a new netlist with a copy of every atom in order (kind,
  // name, terminals with their states, connections in fanout order,
  // parameters, location, flags, box ports) under fresh ids from
  // VOK_ATOM_NODE::s_next_id, and the netlist's string pairs. Copied boxes
  // show no child netlist.
  VOK_ATOM_NETLIST* deep_copy() const;
  // algorithm: renumbers the atoms consecutively from `first_id` in list
  // order, telling the callback each old and new id (the id ban does not
  // apply here).
  void reindex_ids(int first_id, const std::function<void(int, int)>& callback);
  // algorithm: gives the atoms, in list order, the ids of `model`'s atoms
  // in its list order (the two lists must be equally long).
  void reindex_ids_as(const VOK_ATOM_NETLIST& model);
  // algorithm: with `adopt` false the atom is listed (and found by id)
  // without becoming the netlist's own: its parent netlist stays.
  void add_node(VOK_ATOM_NODE* atom, bool adopt);
  // data: the netlist's table of name pairs (kept with the netlist).
  std::map<std::string, std::string>& string_pairs() { return m_string_pairs; }
  // algorithm: takes every atom flagged for removal out of the netlist (not
  // deleted: the caller releases each).
  void remove_flagged_nodes();

private:
  template <bool RO> friend class VOK_ATOM_ITERATOR;
  friend class VOK_ATOM_NODE;

  // The placed-atom index: an atom of this netlist (its parent) is held at
  // its gid exactly while it is listed here and placed.
  void index_placed(VOK_ATOM_NODE* atom);
  void unindex_placed(const VOK_ATOM_NODE* atom);

  ATOM_LIST m_atoms;
  ATOM_LIST m_atoms_ro;
  struct ENTRY {
    ATOM_LIST::iterator it;
    ATOM_LIST::iterator it_ro;
  };
  // By atom id: a hash, so that a lookup costs the same on any design.
  std::unordered_map<int, ENTRY> m_id_map;
  bool m_modifiable = true;
  VOK_ATOM_BLACKBOX* m_parent_box = nullptr;
  VOK_ATOM_OTERM m_ground;
  std::string m_namespace;
  bool m_own_all_nodes = true;
  std::map<std::string, std::string> m_string_pairs;
  std::unordered_map<std::uint32_t, std::vector<VOK_ATOM_NODE*>> m_placed_at;  // by gid
  bool m_lists_foreign_atoms = false;  // some atom was listed without being adopted
};

namespace host::vok {
// data: the design's top-level netlist (created empty on first use, destroyed
// at reset).
HOST_API VOK_ATOM_NETLIST* top_netlist();
// The netlist the chip database entry presents as the design's (null: the
// top netlist above); host passes then see it as the top netlist.
HOST_API void present_netlist(VOK_ATOM_NETLIST* netlist);
// The stand-in name of an output port type ("Q", "COMBOUT", ...).
HOST_API std::string output_port_name(DB_OUTPUT_PORT_TYPE type, int index);
// Call-log arguments: "atom#17", "iterm#17.20.0" (atom, port type, index),
// "net#17.10.0" for an output term, "null".
HOST_API host::raw_arg arg(const VOK_ATOM_NODE* atom);
HOST_API host::raw_arg arg(const VOK_ATOM_ITERM* iterm);
HOST_API host::raw_arg arg(const VOK_ATOM_OTERM* oterm);
// Changes to where the atoms sit, for indexes of the design's layout. A
// change of the whole (a netlist joining or leaving a box or destroyed, a
// box added or removed, atoms renumbered or copied) moves the epoch; an
// atom placed, unplaced, added to or taken from a netlist, or destroyed is
// logged by itself (`gone`: destroyed, its address no longer read).
struct LAYOUT_CHANGE {
  const VOK_ATOM_NODE* atom;
  bool gone;
};
// The epoch and the position of the next logged change.
HOST_API void layout_now(std::uint64_t* epoch, std::uint64_t* seq);
HOST_API void note_layout_changed();
HOST_API void note_atom_layout_changed(const VOK_ATOM_NODE* atom, bool gone = false);
// The atom changes logged since position *seq of the epoch, appended to out
// in order, *seq moved past them. False when the epoch moved or the log no
// longer holds them: the reader reads the design afresh.
HOST_API bool layout_changes_since(std::uint64_t epoch, std::uint64_t* seq, std::vector<LAYOUT_CHANGE>* out);
}  // namespace host::vok

#include "vok_atom_netlist_sys.h"
