#include "jov/jov_enum.h"

namespace {
const char* const kSnapshotNames[] = {"none",   "source",  "elaborated", "partitioned", "wysiwyg", "synthesized",
                                      "planned", "early_placed", "placed", "routed", "retimed", "nimbrel",
                                      "final",  "_all",    "legacy",     "live",        "invalid"};
}  // namespace

const char* const* JOV_SNAPSHOT_BASE::get_strings_and_size(int* size) {
  if (size) *size = static_cast<int>(sizeof(kSnapshotNames) / sizeof(kSnapshotNames[0]));
  return kSnapshotNames;
}
