#pragma once
// Flow types of the placer-router facade's flow bracket (begin_flow /
// end_flow). The values are the host's; the driver uses these.
enum MUVO_FLOW_TYPE : int {
  MUVO_FLOW_POST_PLACE = 4,
  MUVO_FLOW_FIXUP = 8,
  MUVO_FLOW_UNIT = 16,
  MUVO_FLOW_ROUTE = 32,
  MUVO_FLOW_PLACE = 64,
};
