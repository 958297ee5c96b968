#include "velmo_dux_status.h"

const char* const dux_status_descriptions[11] = {
    "Rowclock or zota clock overuse",
    "ALE legality failure",
    "LAB legality failure (likely LCB legality)",
    "Incremental Router does not support this type of route (yet)",
    "No-route",
    "Non-global zota clock not supported",
    "ZoTA repopulation failure, some limitations should be removed later",
    "Incremental STA don't touch on a JEV expansion of the taint list",
    "Incremental STA don't touch after full HEP expansion",
    "Incremental W3J3 not supported for tainted non-core location",
    "Success!",
};

const char* dux_status_text(unsigned status) {
  return status < 11 ? dux_status_descriptions[status] : "Unknown status";
}
