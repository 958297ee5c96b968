#pragma once
// Blackboxing of preserved partitions: the mode in which preserved
// partitions are reduced, for one fitter run, to shells holding only what
// the rest of the design needs. The host starts and ends it with the
// exported entries below; the stage driver asks whether it is on.
#include <string>
#include <vector>

#include "dev/dev_family.h"
#include "jov/jov_enum.h"
#include "velmo_export.h"
#include "zmp_hash_set_lite_sys.h"

class JOV_PARTITION;
class VOK_ATOM_NETLIST;
class R5T_DIRECTIVES;
template <int TRACKER> class VELMO_BBIC_NODE_SET_TRACKING;

class VELMO_BBIC {
public:
  // Keeps every atom from the netlist's boundary up to the first registers.
  static void get_all_nodes_to_boundary_registers(VOK_ATOM_NETLIST* netlist, VELMO_BBIC_NODE_SET_TRACKING<1>& keep);
  // True while preserved partitions are blackboxed.
  static bool any_partitions_blackboxed();
  // Splits the current routing back into the partitions.
  static void push_routing_to_partitions();
  // Makes the full partition contents active again.
  static void restore_all_blackbox_contents();
};

// Decides whether this fitter run blackboxes preserved partitions and, when
// it does, switches the mode on and builds the shells; the mode of an
// earlier run in the process is off first. False only when the mode is
// refused because intermediate snapshots are committed. The snapshot is not
// consulted.
VELMO_API bool velmo_bbic_initialize(JOV_ENUM_IMPL<JOV_SNAPSHOT_BASE> snapshot, bool split_fit, DEV_FAMILY_ENUM family);
// Discards every partition's shell state and switches the mode off. The
// host calls it at the end of every fitter run.
VELMO_API void velmo_bbic_shutdown();
VELMO_API bool velmo_bbic_is_active();

// The partitions whose contents are replaced by shells in this run.
using VELMO_BBIC_PARTITION_SET = ZMP_HASH_SET_LITE<JOV_PARTITION*>;

// Builds every selected partition's shell and makes it active (runs once
// the mode is on).
void velmo_bbic_run_sequence(const VELMO_BBIC_PARTITION_SET& selected);
// Builds a keep set for every partition and discards it (test switch).
void velmo_bbic_test_blackboxify();
// Fills the table (by partition id) with the keep sets of the selected
// partitions: seeded, completed with what every shell needs and expanded.
void velmo_bbic_compute_keep_sets(const VELMO_BBIC_PARTITION_SET& selected,
                                  std::vector<VELMO_BBIC_NODE_SET_TRACKING<1>*>& table);

// Announces a workaround in the four-line form (the caller prints it once).
void velmo_bbic_print_hack_notice(const char* file, int line, unsigned tracking, const char* description);

// Debug dumps, written only with jov_bbic_debug on, each kind numbered by
// its own process-wide counter.
void velmo_bbic_dump_netlist(VOK_ATOM_NETLIST& netlist, const char* tag);
void velmo_bbic_dump_directives(VOK_ATOM_NETLIST& netlist, R5T_DIRECTIVES* directives, const char* tag);
void velmo_bbic_dump_routing(const char* tag);
