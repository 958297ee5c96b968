#pragma once
// algorithm: DUX, the post-route netlist-edit engine.
//
// Edits apply at once and append undo records; a checkpoint id is the log's
// length (0: nothing recorded). implement() checks legality, re-routes every
// connection touched since the last implement with the incremental router
// and always brings the timing netlist and the incremental analysis up to
// date (the atoms its edits touched are tainted whatever the environment's
// tainting switch says). restore_checkpoint() undoes the edits after a
// checkpoint in reverse, routing and pipeline-register clock placements
// included; a deleted atom comes back as the same object under its old id,
// and the incremental analysis is brought up to date. Both keep the
// routing's terminal maps current edit by edit, so a round trip costs what
// the edit's nets and timing cone cost, not the design.
//
// Implement statuses: 10 success; 1 a site of the wrong kind or already
// occupied; 2 more than two clock (driver, inversion) pairs in one LAB; 0 the
// row-segment clock budget of the pipeline registers exceeded; 7 a dont-touch
// atom touched; 4 a connection could not be routed. 3, 5, 6, 8 and 9 come
// only from a script ("DUX::implement" queue of ints).
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "common/host_api.h"
#include "korrin/korrin_incremental_router.h"
#include "pelk/pelk_symbol.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_re_logical_port.h"
#include "juk_forest_detail_sys.h"
#include "zmp_dense_hash.h"

class WEXAN_ENV;
class VOK_RE_ROUTING;

enum DUX_STATE : int { DUX_STATE_0 = 0, DUX_STATE_1 = 1 };

class HOST_API DUX_RESULT {
public:
  enum : std::uint8_t { SUCCESS = 10 };
  std::uint8_t get_status() const { return m_status; }
  bool succeeded() const { return m_status == SUCCESS; }
  const KORRIN::IR_RESULT* get_ir_result() const { return m_ir.get(); }
  // implement: the atoms deleted and created since the last implement.
  // restore_checkpoint: the atoms the restore removed (in `deleted`) and
  // those it brought back (in `created`). `restored` lists atoms whose
  // parameters, location or connections the restore changed.
  const std::vector<int>& get_deleted_ids() const { return m_deleted; }
  const std::vector<int>& get_created_ids() const { return m_created; }
  const std::vector<int>& get_restored_ids() const { return m_restored; }

private:
  friend class DUX;
  std::uint8_t m_status = SUCCESS;
  std::unique_ptr<KORRIN::IR_RESULT> m_ir;
  std::vector<int> m_deleted;
  std::vector<int> m_created;
  std::vector<int> m_restored;
};

// The pipeline-register clock legality of one engine: per row segment (10
// LABs of a row) the clock (driver atom id, inversion) pairs of the
// registers placed into routing slots through NORBO_ZOTA_MANAGER::place.
class HOST_API DUX_ZOTA_LEGALITY {
public:
  using PAIR = std::pair<int, bool>;
  // The row segment of a slot gid: (y, x / 10); (-1, -1) for another gid.
  static std::pair<int, int> row_segment_of(unsigned gid);
  // The clock pair of a register (driver atom id -1 when unclocked).
  static PAIR clock_pair_of(const VOK_ATOM_NODE* reg);
  // The distinct pairs of a segment with the placed registers.
  std::set<PAIR> pairs_in(std::pair<int, int> segment) const;
  // Registers placed through the handle, by atom id: their slot gid.
  const std::map<int, unsigned>& placements() const { return m_placed; }
  PAIR pair_of(int atom_id) const { return m_pair.at(atom_id); }
  class DUX* owner() const { return m_owner; }

private:
  friend class DUX;
  std::map<int, unsigned> m_placed;
  std::map<int, PAIR> m_pair;
  class DUX* m_owner = nullptr;
};

struct DUX_IMPLEMENT_ARGS {
  bool stop_at_first_failure = false;
  // Per sink to re-route: one budget per hop of the pipeline chain ending at
  // it, index 0 nearest the driver (the incremental router's rule).
  ZMP::DENSE_HASH<VOK_ATOM_ITERM*, std::vector<KORRIN::DELAY_BUDGET>> delay_budgets;
  void clear() {
    stop_at_first_failure = false;
    delay_budgets = {};
  }
};

class HOST_API DUX {
public:
  // recorded: (1, true) by the retimer, (1, 1) by the resynthesiser, (1,
  // false) by the hold re-route pass; all behave alike.
  DUX(int state, bool flag, WEXAN_ENV* env);
  ~DUX();
  DUX(const DUX&) = delete;
  DUX& operator=(const DUX&) = delete;

  // data: stored; implement updates timing either way.
  void set_implement_skip_ista(bool on) { m_skip_ista = on; }
  bool get_implement_skip_ista() const { return m_skip_ista; }

  std::uint64_t get_checkpoint_id() const { return m_log.size(); }
  void clear_checkpoint_data();
  DUX_RESULT restore_checkpoint(std::uint64_t id);

  // ---- edits
  // `mode` set: the connection is a global one (a global code stays, an
  // ordinary one becomes 2, generic global); clear: a global code becomes 0.
  // An undo restores the term's code with the rest of its state.
  void connect(const VOK_ATOM_LOGICAL_PORT& source, const VOK_ATOM_LOGICAL_PORT& input, bool inverted, int mode);
  void connect_to_constant(const VOK_ATOM_LOGICAL_PORT& input, bool value);
  // A null term does nothing.
  void disconnect(VOK_ATOM_ITERM* iterm, bool flag);
  void reroute(VOK_ATOM_ITERM* iterm);
  // A new atom of the basic type (47 register, 247 combinational cell) with
  // one output of the symbol's port type, in the model atom's netlist (the
  // top netlist without one), named "<model path>~<name>" or `name`.
  VOK_ATOM_NODE* create_atom(int basic_type, PELK output_port, const std::string& name, VOK_ATOM_NODE* model,
                             int implementation);
  // The same in the given netlist (the top netlist without one), named
  // `name` as it is.
  VOK_ATOM_NODE* create_atom(int basic_type, PELK output_port, const std::string& name, VOK_ATOM_NETLIST* netlist,
                             int implementation);
  void delete_atom(VOK_ATOM_NODE* atom);
  void set_location(VOK_ATOM_NODE* atom, unsigned gid);
  // The gid of a free site of the atom's kind in the LAB at (x, y) (the hint
  // first when it is one); 0xFFFFFFFF for none or off-device coordinates.
  unsigned find_location_at_xy(VOK_ATOM_NODE* atom, std::pair<int, int> xy, unsigned hint) const;
  // Clearing parameter 5 (bypass) of a bypassed LAB register also makes it
  // power up low and clears parameter 240, in the same undo record.
  void set_atom_parameter(VOK_ATOM_NODE* atom, int parameter, bool value);
  void set_powers_up(VOK_ATOM_NODE* atom, bool value);
  void set_lutmask(VOK_ATOM_NODE* atom, const VOK_LUTMASK& mask);
  DUX_ZOTA_LEGALITY* get_zota_legality() { return &m_legality; }

  // With budgets, a sink whose present delay is below its budget's minimum
  // is re-routed too.
  DUX_RESULT implement(const DUX_IMPLEMENT_ARGS& args = {});
  // algorithm: for each leaf of a re-route forest (payload: an input term),
  // depth + 1 budgets into `budgets` (one per term from the root down to the
  // leaf), each with the current slow-corner delay of the connection into
  // that term as its minimum and no maximum. False when a node has no term.
  bool get_current_delays_for_iterm_forest(const JUK::FOREST<int, VOK_ATOM_ITERM*>& forest,
                                           ZMP::DENSE_HASH<VOK_ATOM_ITERM*, std::vector<KORRIN::DELAY_BUDGET>>& budgets);
  // data: a check run at the start of every implement (tests; empty: none).
  static void set_implement_observer(std::function<void()> observer);

  // Used by NORBO_ZOTA_MANAGER::place: records a slot placement.
  void record_zota_placement(int atom_id, unsigned gid, const DUX_ZOTA_LEGALITY::PAIR& pair);

private:
  struct TREE_NODE {
    std::int32_t value;  // wire gid / -1 virtual / 0 terminal
    VOK_ATOM_LOGICAL_PORT port;
    int name_space = 0;
    int parent = -1;    // index in the snapshot; -1 for a root
    int pair_of = -1;   // a pair root: the index of its D node
  };
  struct TREE_SNAP {
    VOK_ATOM_LOGICAL_PORT key;
    std::vector<TREE_NODE> nodes;  // empty: the net had no routing
  };
  struct ENTRY {
    std::function<void(DUX_RESULT&)> undo;
    std::vector<TREE_SNAP> trees;
    VOK_ATOM_NODE* deleted = nullptr;  // kept alive while the deletion stands
    VOK_ATOM_NODE* created = nullptr;
  };

  VOK_RE_ROUTING& routing() const;
  VOK_ATOM_NETLIST* top() const;
  // create_atom's work once the netlist and the name are known.
  VOK_ATOM_NODE* add_atom(int basic_type, PELK output_port, const std::string& name, VOK_ATOM_NETLIST* netlist);
  ENTRY& push(std::function<void(DUX_RESULT&)> undo);
  void touch(const VOK_ATOM_NODE* atom);
  // As touch, for an atom only the routing of whose connections changes.
  void touch_routed(const VOK_ATOM_NODE* atom);
  void snapshot_net(ENTRY& e, const VOK_ATOM_OTERM* oterm);
  void snapshot_atom_nets(ENTRY& e, const VOK_ATOM_NODE* atom);
  void restore_tree(const TREE_SNAP& snap);
  void rip_up_sink(const VOK_ATOM_ITERM* iterm);
  void rip_up_atom(const VOK_ATOM_NODE* atom);
  void queue_atom_connections(const VOK_ATOM_NODE* atom);
  void undo_entry(ENTRY& e, DUX_RESULT& result);
  void release_entry(ENTRY& e);
  int legality_status() const;
  // The budgets handed to the router for a sink: its own, else (a pipeline
  // register's data input) the first hop's of the chains below it.
  static const std::vector<KORRIN::DELAY_BUDGET>* budgets_for(const DUX_IMPLEMENT_ARGS& args, VOK_ATOM_ITERM* t,
                                                              std::vector<KORRIN::DELAY_BUDGET>& derived);
  // The slow-corner delay of the connection into a term (0 when untimed).
  static int current_delay_into(const VOK_ATOM_ITERM* t);

  WEXAN_ENV* m_env;
  bool m_skip_ista = false;
  std::vector<ENTRY> m_log;
  std::set<int> m_touched;       // atoms touched since the last implement
  bool m_only_routed = true;     // ... and of them only the routing changed
  std::set<int> m_relocated;     // atoms whose location changed
  std::vector<VOK_ATOM_LOGICAL_PORT> m_to_route;  // sinks to (re-)route
  // The nets whose routing changed since the timing last followed (outputs,
  // and inputs standing for their nets), handed to the timing netlist so
  // that it reads again only those nets whole.
  std::vector<VOK_ATOM_LOGICAL_PORT> m_rerouted;
  void note_rerouted(const TREE_SNAP& snap);
  // The nets m_rerouted names (an input stands for the net feeding it).
  std::set<const VOK_ATOM_OTERM*> rerouted_nets() const;
  void update_timing(bool clean);
  // The timing after edits that changed only routing, read again net by net
  // in place (the timing netlist's cells stay as they are).
  void update_routed_timing();
  std::vector<int> m_created_since;
  std::vector<int> m_deleted_since;
  DUX_ZOTA_LEGALITY m_legality;
};

class HOST_API DUX_UTIL {
public:
  // algorithm: the terms a re-route of `iterm` reaches through pipeline
  // registers: the term is the root; under a term whose atom is a pipeline
  // register hang the fanouts of its output, in fanout order. Empty for a
  // null term.
  static JUK::FOREST<int, VOK_ATOM_ITERM*> get_iterm_forest_for_reroute(VOK_ATOM_ITERM* iterm);
};
