#pragma once
// Register duplication before early retiming: a register whose fan-out mixes
// loads across a partition boundary, asynchronous-clear loads or loads on
// other clocks gets copies, each taking over one class of those loads; the
// plain fan-out stays on the register.
#include <cstdint>
#include <list>
#include <vector>

#include "zmp_hash_lite_sys.h"
#include "zmp_ops.h"

class SIV_ATOM_MOD_UTILITY;
class VOK_ATOM_ITERM;
class VOK_ATOM_NODE;
class VOK_ATOM_OTERM;
class WEXAN_ENV;

// What one atom's fan-out reaches (see velmo_drr_get_info_for_atom).
struct VELMO_DRR_ATOM_INFO {
  VOK_ATOM_OTERM* m_clock_oterm = nullptr;
  bool m_visited : 1 = false;
  bool m_complete : 1 = false;
  bool m_invert : 1 = false;
  bool m_multiple_clocks : 1 = false;
  bool m_feeds_aclr : 1 = false;
  bool m_feeds_non_aclr : 1 = false;
  bool m_crosses_partition : 1 = false;
  bool m_within_partition : 1 = false;

  // The record of a non-combinational atom: its clock source and inversion.
  void check_clocks(const VOK_ATOM_NODE* atom);
};

using VELMO_DRR_INFO_CACHE = ZMP_HASH_LITE<unsigned, VELMO_DRR_ATOM_INFO>;
using VELMO_DRR_ITERM_COLLECTIONS = std::list<std::list<VOK_ATOM_ITERM*>>;

// The atom's record, computed on first request; the pointer stays valid
// while the cache lives.
VELMO_DRR_ATOM_INFO* velmo_drr_get_info_for_atom(const VOK_ATOM_NODE* atom, VELMO_DRR_INFO_CACHE& cache,
                                                 bool extra_verbose);

// One copy of the register per collection, in collection order; each
// collection's input terms move onto its copy.
std::vector<VOK_ATOM_NODE*> drr_duplicate_for_iterms(VOK_ATOM_NODE* reg,
                                                     const VELMO_DRR_ITERM_COLLECTIONS& iterm_collections,
                                                     SIV_ATOM_MOD_UTILITY* amu, bool verbose);

// The three strategies (one parameter list).
#define VELMO_DRR_STRATEGY_ARGS                                                                                   \
  VOK_ATOM_NODE *reg, VOK_ATOM_NODE *&local_reg, std::uint32_t &per_reg_count, std::uint32_t per_reg_limit,     \
      std::uint32_t &total, std::uint32_t total_limit, VELMO_DRR_INFO_CACHE &cache, SIV_ATOM_MOD_UTILITY *amu, \
      bool verbose, bool extra_verbose
std::vector<VOK_ATOM_NODE*> drr_duplicate_for_cross_partition_transfers(VELMO_DRR_STRATEGY_ARGS);
std::vector<VOK_ATOM_NODE*> drr_duplicate_for_aclears(VELMO_DRR_STRATEGY_ARGS);
std::vector<VOK_ATOM_NODE*> drr_duplicate_for_diff_clocks(VELMO_DRR_STRATEGY_ARGS);
#undef VELMO_DRR_STRATEGY_ARGS

class VELMO_DUP_REG_FOR_RETIMING {
public:
  explicit VELMO_DUP_REG_FOR_RETIMING(WEXAN_ENV* env) : m_env(env) {}
  // The pass over the environment's atom netlist.
  void dup_regs_for_retiming();

private:
  WEXAN_ENV* m_env;
};
