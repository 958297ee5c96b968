#include "mem/mem_segment.h"

MEM_SEGMENT* MEM_SEGMENT::get_default() {
  static MEM_SEGMENT segment;
  return &segment;
}
