#pragma once
// The clock-domain worst negative slack readings the incremental optimisers
// share: one domain's WNS, and the cost they minimise (the sum of the
// negative domain WNS values).
#include <algorithm>
#include <climits>
#include <cstdint>

#include "sta/sta_analysis.h"

// The analysis's mark for a domain without slack.
inline constexpr std::int32_t VELMO_STA_NO_SLACK = static_cast<std::int32_t>(0x80000001u);

// The domain's WNS, or `none` when the analysis has no such domain.
inline std::int32_t velmo_get_domain_wns(const KEM_NETLIST* kem, const HOV_INCR_WNS_DOMAIN& domain,
                                         std::int32_t none) {
  const auto map = sta_get_wns_map(kem);
  auto it = map.find(domain);
  return it == map.end() ? none : it->second.wns;
}

// The sum of the negative domain WNS values (domains without slack skipped),
// added in 64 bits and clamped to 32; 0 when nothing fails.
inline std::int32_t velmo_get_wns_cost(const KEM_NETLIST* kem) {
  std::int64_t sum = 0;
  for (const auto& [domain, values] : sta_get_wns_map(kem))
    if (values.wns != VELMO_STA_NO_SLACK && values.wns < 0) sum += values.wns;
  return static_cast<std::int32_t>(std::max<std::int64_t>(sum, INT_MIN));
}
