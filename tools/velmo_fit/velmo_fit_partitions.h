#pragma once
// velmo-fit's handling of partitioned designs: the earlier compile the
// settings describe, the snapshot of each stage, the blackboxing entries of
// the component around the stages, the check that preserved partitions kept
// their placement and routing, and the report's "partitions".
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "dev/dev_family.h"
#include "jov/jov_design.h"
#include "jov/jov_enum.h"
#include "testing/partition_settings.h"
#include "vok/vok_re_routing.h"

class VOK_ATOM_BLACKBOX;
class VOK_ATOM_NETLIST;

namespace velmo_fit {

class PARTITION_RUN {
public:
  explicit PARTITION_RUN(std::vector<host::testing::PARTITION_SETTING> partitions)
      : m_partitions(std::move(partitions)) {}
  bool active() const { return !m_partitions.empty(); }
  // Why a partitioned design cannot run the stage list ("" when it can):
  // before place, a blackboxed partition's full contents have no placement
  // of this compile, so the whole design's timing cannot be reported and
  // the preserved partitions cannot be checked.
  std::string stage_list_refusal(const std::vector<std::string>& stages) const;
  // That reason without the stage list ("" for a design without
  // partitions): a fit of a partitioned design runs place.
  std::string place_needed() const;
  // Plays the earlier compile on the configured device and prints one line
  // per partition; false with a reason when the host could not fit it.
  bool prepare(std::string* why);
  // Finds the component's blackboxing entries among its exports
  // (demangled signature -> symbol): the shut-down for every design, the
  // rest for a partitioned one; false when one is missing.
  bool bind(void* lib, const std::map<std::string, std::string>& exports);
  // Sets the design's current snapshot for the stage about to run.
  void stage_starting(const std::string& stage) const;
  // After start-up: velmo_bbic_initialize for the device family.
  // Prints per blackboxed partition what its shell keeps.
  bool after_startup(int family);
  // The component's report guard (full contents shown, read-only) around
  // the host's reporting. The host does not rely on it to show the whole
  // design (velmo_bbic_reporting off makes it do nothing): inside it, the
  // host makes every partition's full contents active itself. While shells
  // are active the design's routing gets the preserved partitions' full
  // routing for the guard's lifetime, and the timing netlist is marked for
  // a rebuild on both sides.
  void report_guard_begin();
  void report_guard_end();
  // The guard and the full contents alone, for a reader of the netlist: the
  // routing and the timing netlist are left as they are (report_guard_end
  // ends it).
  void netlist_guard_begin();
  // Whether a blackboxed partition is on its shell now.
  bool shells_active() const;
  // Before shut-down, for every design: velmo_bbic_shutdown.
  void before_shutdown() const;
  // Preserved partitions against their placement and routing after the
  // earlier compile; one line per difference.
  std::vector<std::string> check_preserved() const;
  // The check with its result line ("Preserved partitions: unchanged" or
  // "CHANGED") and a line per difference (the first ten); true when
  // nothing changed.
  bool print_preserved_check() const;
  // "partitions": name, parent, preserved, atoms (own atoms, ports and boxes
  // not counted).
  nlohmann::ordered_json report() const;

private:
  std::vector<host::testing::PARTITION_SETTING> m_partitions;
  std::map<int, unsigned> m_locations;            // preserved atom id -> location gid
  std::map<std::string, std::string> m_routing;  // preserved partition -> its routing
  struct SHELL {
    int atoms = 0;
    int routing_nodes = 0;
  };
  std::map<std::string, SHELL> m_shells;  // blackboxed partition -> what its shell kept
  bool (*m_initialize)(JOV_ENUM_IMPL<JOV_SNAPSHOT_BASE>, bool, DEV_FAMILY_ENUM) = nullptr;
  void (*m_shutdown)() = nullptr;
  void (*m_guard_make)(void*, JOV_DESIGN&) = nullptr;
  void (*m_guard_end)(void*) = nullptr;
  // The host's own switch to the full contents inside the guard, and what
  // it puts back: each partition's active state, and the box that held each
  // active netlist.
  void show_full_contents();
  void hide_full_contents();
  std::vector<std::pair<JOV_PARTITION*, JOV_PARTITION::STATE_SELECTOR>> m_states_before_view;
  std::vector<std::pair<VOK_ATOM_BLACKBOX*, VOK_ATOM_NETLIST*>> m_boxes_before_view;
  alignas(void*) unsigned char m_guard[sizeof(void*)] = {};  // the guard object (one owning pointer)
  bool m_guard_built = false;
  std::unique_ptr<VOK_RE_ROUTING> m_routing_before_guard;  // the design's routing while the guard shows full routing
};

}  // namespace velmo_fit
