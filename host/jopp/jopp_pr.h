#pragma once
// Partial-reconfiguration and clock-network rules of the large-periphery
// families.
#include <list>
#include <string>
#include "common/host_api.h"

class VOK_ATOM_NODE;

class HOST_API JOPP {
public:
  // Clock-network rules for register packing: a site may be reached by at
  // most MAX_CLOCKS_PER_SITE distinct clocks. Sites are keyed by a target
  // placement id, or by the block atom.
  static constexpr int MAX_CLOCKS_PER_SITE = 2;
  // algorithm: packing the register into the block keeps the block's clock
  // count within the limit (recorded with its answer).
  static bool can_use_clocks(const VOK_ATOM_NODE* reg, const VOK_ATOM_NODE* block);
  // algorithm: the same for a target site id; a refusal appends its reason
  // to `messages` when given.
  static bool can_use_clocks(const VOK_ATOM_NODE* reg, unsigned target_gid, const VOK_ATOM_NODE* block,
                             std::list<std::string>* messages);
  // algorithm: records the register's clock at the block or site (recorded).
  static void use_clocks(const VOK_ATOM_NODE* reg, const VOK_ATOM_NODE* block);
  static void use_clocks(const VOK_ATOM_NODE* reg, unsigned target_gid);
  // data: distinct clocks recorded at a site id / block atom.
  static int clocks_at_site(unsigned target_gid);
  static int clocks_at_block(int block_id);

  // recorded: initialises the partial-reconfiguration rules; scripted,
  // default true.
  static bool init_pr();
};
