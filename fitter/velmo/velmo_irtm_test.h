#pragma once
// The post-route incremental retimer.
//
// IRTM_UTIL is the retimer's timing service: slacks of timing nodes and
// domains, the WNS cost of the design, gid locations and names, the pipeline
// slot in front of a LAB input, the incremental delay of a routing hop, and
// whether an atom or a net is off limits for retiming. One instance lives as
// long as one retiming manager (IRTM_UTIL::s_instance).
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "clk/clk_block_db.h"
#include "kem/kem_netlist.h"
#include "place_db/place_db.h"
#include "sta/sta_analysis.h"
#include "yeb/yeb_timing_model.h"
#include "zel/zel_atom_mod_manager.h"
#include "zel/zel_zota_util.h"
#include "zmp_hash_lite_sys.h"

class WEXAN_ENV;
class DEV_DEVICE;
class DEV_DIE_INFO;
class WUMP_PLACE_INFO;
class WUMP_ROUTE_INFO;
class HOV_INCR;
class VOK_ATOM_NODE;
class VOK_ATOM_ITERM;
class VOK_ATOM_OTERM;

// "No slack is known"; every minimum over slacks ignores it.
inline constexpr std::int32_t IRTM_NO_SLACK = static_cast<std::int32_t>(0x80000001u);

// Seconds to picoseconds, rounded half away from zero.
std::int32_t irtm_seconds_to_ps(double seconds);

class IRTM_UTIL : public ZOTA::UTIL {
public:
  IRTM_UTIL(WEXAN_ENV* env, KEM_NETLIST* kem);
  ~IRTM_UTIL();
  IRTM_UTIL(const IRTM_UTIL&) = delete;
  IRTM_UTIL& operator=(const IRTM_UTIL&) = delete;

  static IRTM_UTIL* s_instance;

  void update_multi_corner_info();
  std::int32_t get_min_node_slack(const KEM_NODE* node) const;
  std::int32_t get_domain_wns(const HOV_INCR_WNS_DOMAIN& domain) const;
  // The sum of the negative domain WNS values (NO_SLACK entries skipped),
  // added in 64 bits and clamped to 32; 0 when nothing fails.
  std::int32_t get_wns_cost() const;
  std::string get_gid_string(std::uint32_t gid) const;
  bool get_gid_location(std::uint32_t gid, PLACE_DB::LOCATION* location) const;
  std::int32_t get_lab_zota_gid(const VOK_ATOM_ITERM* iterm) const;
  std::int32_t get_max_re_hop_delay(std::uint32_t gid, int routing_element_id) const;
  bool is_timing_dont_touch(const VOK_ATOM_NODE* atom);
  bool lab_contains_timing_dont_touch(const std::pair<std::uint32_t, std::uint32_t>& xy);
  bool is_fed_by_partition(const VOK_ATOM_ITERM* iterm) const;
  bool feeds_partition(const VOK_ATOM_OTERM* oterm);
  bool is_retimable_comb(const VOK_ATOM_NODE* atom);
  bool is_retimable_arith(const VOK_ATOM_NODE* atom);
  static std::int32_t yeb_max(const YEB_CELL_DELAY& delay);

  // Accessors for the retimer's other parts.
  WEXAN_ENV* get_env() const { return m_env; }
  KEM_NETLIST* get_kem_netlist() const { return m_kem; }
  const DEV_DIE_INFO* get_die_info() const { return m_die; }
  bool get_all_corners() const { return m_all_corners; }
  int get_current_corner_index() const { return m_current_corner; }
  const std::vector<int>& get_corners() const { return m_corners; }
  std::int32_t get_min_lut_input_delay() const { return m_min_lut_input_delay; }
  HOV_INCR* get_hov_incr() const { return m_hov_incr.get(); }
  void set_hov_incr(HOV_INCR* incr);

private:
  // 1.
  WEXAN_ENV* m_env;
  const DEV_DEVICE* m_device;
  const DEV_DIE_INFO* m_die;
  const WUMP_PLACE_INFO* m_place_info;
  const WUMP_ROUTE_INFO* m_route_info;
  // 2-5.
  bool m_all_corners;
  int m_current_corner = -1;
  KEM_NETLIST* m_kem;
  std::unique_ptr<HOV_INCR> m_hov_incr;
  // 6-8.
  std::vector<std::shared_ptr<YEB_TIMING_MODEL>> m_models;
  std::vector<int> m_corners;
  std::int32_t m_min_lut_input_delay = 0;
  // 9.
  const CLK_BLOCK_DB* m_block_db;
  // 10. The feeds-partition cache is keyed by the output's logical port
  // (atom id, port type, index): one atom's outputs may answer differently.
  ZMP_HASH_LITE<int, bool> m_dont_touch_cache;
  std::map<std::tuple<int, int, int>, bool> m_feeds_partition_cache;
  std::map<std::pair<std::uint32_t, std::uint32_t>, bool> m_lab_dont_touch_cache;
  // 11.
  std::uint64_t m_restriction_mask = 0x2000000000ull;
  ZEL_ATOM_MOD_MANAGER* m_amm;
};

