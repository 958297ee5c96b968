#pragma once
// The placer-router facade. Every call is recorded with the flow type of the
// bracket it runs in (the last begin_flow; 0 before any); the boolean results
// are scripted under the member's name and default to true, except that
// place() and the place part of place_route_finalize() run the host's placer
// (tibex/tibex_placer.h) and return its result unless a result is scripted;
// likewise route(), run_flow_8_fixup() and the route part of
// place_route_finalize() run the host's router (korrin/korrin_router.h),
// whose failure reason host::facade::last_route_failure() keeps. release() drops
// caches only and leaves the facade usable; only the deleting destructor
// destroys it (live counter "TIBEX_VPR_FACADE").
#include <string>

#include "common/host_api.h"
#include "muvo/muvo_flow_type.h"
#include "tibex/tibex_placer.h"

class HOST_API TIBEX_VPR_FACADE {
public:
  TIBEX_VPR_FACADE();
  // recorded
  virtual ~TIBEX_VPR_FACADE();
  TIBEX_VPR_FACADE(const TIBEX_VPR_FACADE&) = delete;
  TIBEX_VPR_FACADE& operator=(const TIBEX_VPR_FACADE&) = delete;

  // recorded: place, route and finalize in one run: the host's placer, then
  // its router; scripted, default their result.
  virtual bool place_route_finalize();
  // recorded: drops the facade's caches; the facade stays usable.
  virtual void release();
  // recorded: preparations before route (also the fix-up route) and finalize.
  virtual void prepare_route();
  virtual void prepare_fixup_route();
  virtual void prepare_finalize();
  // algorithm (recorded): places the design with the host's placer;
  // scripted, default the placer's result.
  virtual bool place();
  // algorithm (recorded): routes the placed design with the host's router;
  // scripted, default the router's result.
  // After an unscripted route in the recompile flow "routed -hold_fixup":
  // the hold-fix re-route (tibex/tibex_hold_reroute.h).
  virtual bool route();
  // recorded: finalizes (the route fix-up); scripted, default true. After
  // an unscripted finalize: the hold-fix re-route (tibex/tibex_hold_reroute.h).
  virtual bool finalize();
  // recorded: the post-place operation; scripted, default true.
  virtual bool post_place_operation();
  // recorded: open and close a flow bracket of the given type.
  virtual void begin_flow(MUVO_FLOW_TYPE flow);
  virtual void end_flow(MUVO_FLOW_TYPE flow);
  // recorded: runs one named unit of the resynthesis flow.
  virtual void run_unit(const char* name);
  // algorithm (recorded): the fix-up flow of type 8: the host's router
  // completes the routing; scripted, default the router's result.
  virtual bool run_flow_8_fixup();
  // recorded: global routing; scripted, default true.
  virtual bool global_route();
  // recorded: one post-route fix-up iteration; the two flags are scripted
  // under "...:result1" and "...:result2" (default false), the result under
  // the member's name (default true).
  virtual bool post_route_fixup_iteration(bool& result1, bool& result2);

  // data: the flow type of the last begin_flow (0 before any).
  MUVO_FLOW_TYPE get_current_flow() const { return m_flow; }

private:
  bool placer_run();
  bool router_run(const char* name);
  MUVO_FLOW_TYPE m_flow = static_cast<MUVO_FLOW_TYPE>(0);
};

namespace host::facade {
// data: why the last route the facade ran failed, one line per finding
// ("" when it succeeded or none ran since the reset).
HOST_API std::string last_route_failure();
// data: the options the facade's placer runs with (default PLACER_OPTIONS
// until set; the world's reset restores them).
HOST_API void set_placer_options(const host::placement::PLACER_OPTIONS& options);
}  // namespace host::facade
