#pragma once
// Device element kinds (16-bit values). The stand-in names the kinds it
// generates; any other value below the generic kind is still valid.
#include <cstdint>

enum DEV_ELEMENT_ENUM : std::uint16_t {
  DEV_ELEMENT_NONE = 0,
};
