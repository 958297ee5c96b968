#pragma once
// Partition states of blackboxed runs: the shell state of one partition,
// the switch of every blackboxed partition between full contents and shell,
// and the process-wide data torn down and rebuilt around the switch.
#include <set>

#include "jov/jov_design.h"
#include "velmo_bbic_keep_set.h"
#include "velmo_bbic_shell_routing.h"
#include "velmo_export.h"

// What was torn down with the partitions' global data.
enum class GLOBAL_DATA_TO_REBUILD : int { REBUILD_PLACE_DB = 0 };
using VELMO_BBIC_REBUILD_SET = std::set<GLOBAL_DATA_TO_REBUILD>;

// Builds the partition's shell state from its active (full) state, makes
// it active and read-only.
void create_bbic_states_for_partition(JOV_PARTITION* partition, const VELMO_BBIC_KEEP_SET& keep_set,
                                      const VELMO_BBIC_KEPT_ROUTING& kept);
// Switches every partition that has a shell to `target`; with `full` the
// global data is torn down and rebuilt and blackboxing ends.
void set_active_state_for_all_bbic_partitions(JOV_PARTITION::STATE_ENUM target, bool full);
VELMO_BBIC_REBUILD_SET clear_global_data();
void rebuild_global_data_from_partition_state(const VELMO_BBIC_REBUILD_SET& rebuild, bool from_partition_models);
void relink_partitions_to_boxes();
// Gives each nested partition's active netlist to the box carrying its
// instance name (first found wins) and the top's to the chip database
// entry; internal errors name `source_file`.
void velmo_bbic_relink_boxes(JOV_DESIGN& design, const char* source_file);
void process_hybrid_r5t_and_w3j3_models(bool from_partition_models);
// The blackboxing-active flag (set when blackboxing starts).
void velmo_bbic_set_active(bool on);

// The full contents active again (at the "final" snapshot for good), and
// the shells active again.
VELMO_API void velmo_bbic_restore_state();
// Makes the preserved parent that the final restore made writable
// read-only again (once; nothing when none was made writable).
void velmo_bbic_restore_read_only_parent();
VELMO_API void velmo_bbic_empty_state();
