#pragma once
// The root routing of a blackboxed run: rebuilt from the partitions' active
// states, and the preserved slacks gathered from them.
#include "vok/vok_re_presslack.h"
#include "zmp_hash_set_lite_sys.h"

class VOK_CHIP_DB_ENTRY;

// Rewrites the chip database entry's routing as the merge of the routing
// of every partition's active state.
void velmo_bbic_merge_re_networks();
// The preserved router slacks of the partitions whose active state has any.
VOK_RE_PRESSLACK_CONTAINER velmo_bbic_build_preserved_slacks();
// Stores the records whose routing element is not kept (all when nothing
// is kept) in the entry's container of slacks on hidden routing.
void velmo_store_preserved_slacks_on_hidden_routing(VOK_CHIP_DB_ENTRY& entry,
                                                    const ZMP_HASH_SET_LITE<unsigned int, ZMP_OPS<unsigned int, void>>& kept,
                                                    const VOK_RE_PRESSLACK_CONTAINER& slacks);
// Removes from the preserved parent's networks the routing between its
// atoms and the blackbox atoms of its re-fitted children (one such parent
// at most).
void remove_cross_partition_routing();
