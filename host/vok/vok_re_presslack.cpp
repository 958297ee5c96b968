#include "vok/vok_re_presslack.h"

#include <unordered_set>

VOK_RE_PRESSLACK_CONTAINER VOK_RE_PRESSLACK_UTIL::merge_partition_slacks(
    std::vector<const std::vector<VOK_RE_PRESSLACK>*> lists, const VOK_RE_ROUTING& root) {
  (void)root;
  VOK_RE_PRESSLACK_CONTAINER out;
  std::unordered_set<std::uint32_t> seen;
  for (const auto* list : lists)
    if (list != nullptr)
      for (const VOK_RE_PRESSLACK& r : *list)
        if (seen.insert(r.gid).second) out.add(r);
  return out;
}
