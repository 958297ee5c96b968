#pragma once
// data: the die's blacklisting: a bit set of routing element ids filled from
// the test (DeviceSpec::blacklist and blacklist_gids); placement gids are
// blacklisted when the die reports them as not enabled.
#include <vector>
#include "common/host_api.h"
#include "dev/dev_die_info.h"

class HOST_API WUMP_BLACKLISTING {
public:
  WUMP_BLACKLISTING() = default;
  explicit WUMP_BLACKLISTING(const DEV_DIE_INFO* die) : m_die(die) {}

  // data: true when the bit set is not empty and holds the gid's bit (bit 31
  // of the gid ignored).
  bool is_routing_gid_blacklisted(unsigned gid) const {
    const unsigned id = gid & 0x7FFFFFFFu;
    return m_count != 0 && id < m_bits.size() && m_bits[id];
  }
  // True when the die reports the placement gid as not enabled.
  inline bool is_placement_gid_blacklisted(unsigned gid) const;

  void add_routing_gid(unsigned gid);
  bool empty() const { return m_count == 0; }
  const DEV_DIE_INFO* get_die_info() const { return m_die; }

private:
  const DEV_DIE_INFO* m_die = nullptr;
  std::vector<bool> m_bits;
  unsigned m_count = 0;
};

#include "wump_blacklisting_sys.h"
