#pragma once
// Blackboxing of preserved partitions: the queries and operations the stage
// driver uses while partitions are reduced to shells.
class VELMO_BBIC {
public:
  // True while preserved partitions are blackboxed.
  static bool any_partitions_blackboxed();
  // Splits the current routing back into the partitions.
  static void push_routing_to_partitions();
  // Makes the full partition contents active again.
  static void restore_all_blackbox_contents();
};
