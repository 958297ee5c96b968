#pragma once
// Preserved router-slack records gathered over partitions: a container in
// insertion order and the merge of the partitions' records.
#include <vector>

#include "common/host_api.h"
#include "jov/jov_design.h"

class VOK_RE_ROUTING;

// data: one record, led by its routing-element gid (the partition states'
// record type).
using VOK_RE_PRESSLACK = JOV_PRESERVED_SLACK;

class HOST_API VOK_RE_PRESSLACK_CONTAINER {
public:
  void add(const VOK_RE_PRESSLACK& record) { m_records.push_back(record); }
  const std::vector<VOK_RE_PRESSLACK>& records() const { return m_records; }
  std::size_t size() const { return m_records.size(); }
  bool empty() const { return m_records.empty(); }
  void clear() { m_records.clear(); }

private:
  std::vector<VOK_RE_PRESSLACK> m_records;
};

class HOST_API VOK_RE_PRESSLACK_UTIL {
public:
  // data: the partitions' records in list order, each list in its own order.
  // A gid met again keeps its first record (partitions do not share routing
  // elements; a shared one is counted once). The root routing is not read.
  static VOK_RE_PRESSLACK_CONTAINER merge_partition_slacks(std::vector<const std::vector<VOK_RE_PRESSLACK>*> lists,
                                                           const VOK_RE_ROUTING& root);
};
