#pragma once
// Port translation: hangs the single-in single-out wire chains between the
// top-level ports of periphery blocks and the core fabric into the routing
// trees, and the routing-graph walks and port lookups it is built on.
#include <cstdint>
#include <list>
#include <vector>

#include "zmp_dense_hash.h"

class WEXAN_ENV;
class WUMP_DIE_INFO;
class WUMP_PLACE_INFO;
class WUMP_ROUTE_INFO;
class VOK_CHIP_DB_ENTRY;
class VOK_ATOM_NETLIST;
class VOK_ATOM_NODE;
class GESK_TREE;
class W3J3_PORT_MAP_DB;
class DEV_DEVICE;

// Port types of block-port lookups: 1 input, 2 output, 3 either.
enum BLC_PORT_TYPE : int { BLC_PORT_INPUT = 1, BLC_PORT_OUTPUT = 2, BLC_PORT_BIDIR = 3 };

// An output iterator that inserts gids into a set.
class VELMO_GID_SET_INSERTER {
public:
  explicit VELMO_GID_SET_INSERTER(ZMP::DENSE_HASH_SET<unsigned>& set) : m_set(&set) {}
  VELMO_GID_SET_INSERTER& operator=(unsigned gid) {
    m_set->insert(gid);
    return *this;
  }
  VELMO_GID_SET_INSERTER& operator*() { return *this; }
  VELMO_GID_SET_INSERTER& operator++() { return *this; }
  VELMO_GID_SET_INSERTER operator++(int) { return *this; }

private:
  ZMP::DENSE_HASH_SET<unsigned>* m_set;
};

class VELMO_PORT_TRANSLATION_MGR {
public:
  explicit VELMO_PORT_TRANSLATION_MGR(WEXAN_ENV* env);
  VELMO_PORT_TRANSLATION_MGR(const VELMO_PORT_TRANSLATION_MGR&) = delete;
  VELMO_PORT_TRANSLATION_MGR& operator=(const VELMO_PORT_TRANSLATION_MGR&) = delete;

  // The translation pass over the design's routing trees.
  void perform_port_translation();

  // The chain from a port along fan-outs (forwards) or fan-ins (backwards),
  // farthest element first and the start last; empty when the walk was
  // abandoned, the start alone when there is nothing to translate.
  std::list<unsigned> walk_forwards(unsigned gid) const;
  std::list<unsigned> walk_backwards(unsigned gid) const;
  // The one top-level placement block at the coordinate of an instance.
  unsigned get_place_block_gid_from_jev_info(std::int32_t instance_id) const;
  // One top-level port gid per type-1 port-map entry of a terminal.
  template <class OUT_IT, class TERM> void append_top_level_port_gids(OUT_IT out, const TERM* term, BLC_PORT_TYPE type) const;
  // The walk itself: appends the path from `start` (which comes first) to
  // `path`. `begin`/`end` give a gid's fan in the walk direction.
  template <class ITER>
  void siso_walk_from_port_re_gid(std::vector<unsigned>& path, unsigned start,
                                  const ZMP::DENSE_HASH_SET<unsigned>& stop_set,
                                  ITER (WUMP_ROUTE_INFO::*begin)(unsigned) const,
                                  ITER (WUMP_ROUTE_INFO::*end)(unsigned) const) const;
  // Whether the pass handles the terminals of an atom.
  bool process_atom_of_type(const VOK_ATOM_NODE* atom) const;
  // One debug line describing a routing element.
  void print_re_gid_description(unsigned gid) const;

private:
  void translate_ports_for_vok_re_routing();

  bool m_verbose;
  bool m_ignore_te_test_atoms;
  WUMP_DIE_INFO* m_die_info;
  WUMP_PLACE_INFO* m_place_info;
  WUMP_ROUTE_INFO* m_route_info;
  VOK_CHIP_DB_ENTRY* m_chip_db_entry;
  VOK_ATOM_NETLIST* m_atom_netlist;
  GESK_TREE* m_instance_tree;
  W3J3_PORT_MAP_DB* m_port_map_db;
  const DEV_DEVICE* m_device;
};
