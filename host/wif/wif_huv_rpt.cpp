#include "wif/wif_huv_rpt.h"

#include "common/host_call_log.h"

void WIF_HUV_RPT::flush_huv_report() { host::log_call("WIF_HUV_RPT::flush_huv_report"); }
