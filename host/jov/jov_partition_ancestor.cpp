#include <set>

#include "jov/jov_design.h"

JOV_PARTITION* JOV_UTILS::get_lowest_common_ancestor_partition(JOV_PARTITION* a, JOV_PARTITION* b) {
  std::set<const JOV_PARTITION*> above_a;
  for (const JOV_PARTITION* p = a; p; p = p->get_parent()) above_a.insert(p);
  for (JOV_PARTITION* p = b; p; p = p->get_parent())
    if (above_a.count(p)) return p;
  return nullptr;
}
