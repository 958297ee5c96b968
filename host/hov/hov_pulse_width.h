#pragma once
// The pulse-width levels of a pulse latch (atom parameter 72): level n
// stands for a pulse 2^n times the narrowest; an absent parameter reads as
// level 0.
enum HOV_PULSE_WIDTH_ENUM : int {
  HOV_PULSE_WIDTH_0 = 0,
  HOV_PULSE_WIDTH_1 = 1,
  HOV_PULSE_WIDTH_2 = 2,
};
