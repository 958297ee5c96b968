#pragma once
// data: the placement grid generated from the DeviceSpec.
//
// Tiles (x = 0..nx-1, y = 0..ny-1):
//  - the four corners hold a PLL (site z = 0);
//  - the left, right and bottom edges hold pins_per_pad_tile I/O pins per
//    tile (the device setting; at least 1, at most MAX_PINS_PER_PAD_TILE); pin
//    p uses sites z = 6p .. 6p+5: site parent (162), pad, input buffer (646), output
//    buffer (647), input register (653), output register (654);
//  - the top row holds one periphery block per tile (UIB, ESRAM, HSSI in turn
//    by x mod 3), site z = 0;
//  - inner tiles of a DSP column hold a DSP block (1336) two rows high, its
//    site on the lower row (y odd); of a RAM column a RAM block (1337);
//  - every other inner tile is a LAB: 10 ALEs x 6 sites, z = 0..59, LUT sites
//    at z mod 3 = 0 (644), register sites at z mod 3 in {1, 2} (643).
// Placement gids index the site table, which lists tiles row by row (y, then
// x) and each tile's sites by z.
#include <cstdint>
#include <vector>
#include "common/host_api.h"
#include "dev/dev_spec.h"

// Element kinds of the stand-in device. 700-702 and 1000-1012 are the
// stand-in's own codes.
namespace dev_kind {
inline constexpr int SITE_PARENT = 162;
inline constexpr int LAB_FEEDBACK = 279;
inline constexpr int LAB_RE = 282;
inline constexpr int BLOCK_OUTPUT = 283;
inline constexpr int PERIPHERY_OUTPUT = 284;
inline constexpr int GLOBAL_CLOCK = 318;
inline constexpr int PLL = 581;
inline constexpr int FF = 643;
inline constexpr int LUT = 644;
inline constexpr int IO_IN = 646;
inline constexpr int IO_OUT = 647;
inline constexpr int IO_IN_REG = 653;
inline constexpr int IO_OUT_REG = 654;
inline constexpr int ICD_PORT = 659;
inline constexpr int H_WIRE = 700;
inline constexpr int V_WIRE = 701;
inline constexpr int BLOCK_INPUT = 702;
inline constexpr int PERIPHERY_INTERFACE = 703;  // a periphery port's interface chain element
// A pin's clock input, between its periphery output and the global clock
// roots (port walks never follow it).
inline constexpr int PIN_CLOCK_INPUT = 1339;
inline constexpr int PAD = 1000;
inline constexpr int UIB = 1010;
inline constexpr int ESRAM = 1011;
inline constexpr int HSSI = 1012;
inline constexpr int DSP = 1336;
inline constexpr int RAM = 1337;
inline constexpr int PMUX = 1929;
}  // namespace dev_kind

enum class DEV_TILE_KIND : std::uint8_t { PLL, PAD, PERIPHERY, LAB, DSP, DSP_UPPER, RAM };

struct DEV_SITE {
  std::uint16_t x;
  std::uint16_t y;
  std::uint16_t z;
  std::uint16_t element;
};

class HOST_API DEV_GRID {
public:
  static constexpr unsigned ILLEGAL_GID = 0xFFFFFFFFu;
  static constexpr int LAB_SITES = 60;
  static constexpr int MAX_PINS_PER_PAD_TILE = 16;
  static constexpr int SITES_PER_PIN = 6;

  explicit DEV_GRID(const DeviceSpec& spec);

  int nx() const { return m_nx; }
  int ny() const { return m_ny; }
  int pins_per_pad_tile() const { return m_pins_per_pad_tile; }
  bool in_grid(int x, int y) const { return x >= 0 && y >= 0 && x < m_nx && y < m_ny; }
  DEV_TILE_KIND tile_kind(int x, int y) const { return m_kinds[tile(x, y)]; }
  // UIB, ESRAM or HSSI for a periphery tile.
  int periphery_kind(int x) const;
  const std::vector<DEV_SITE>& sites() const { return m_sites; }
  // Placement gid of site z of tile (x, y); ILLEGAL_GID when there is none.
  unsigned site_gid(int x, int y, int z) const;
  int site_count(int x, int y) const;

private:
  size_t tile(int x, int y) const { return static_cast<size_t>(y) * static_cast<size_t>(m_nx) + static_cast<size_t>(x); }
  int m_nx;
  int m_ny;
  int m_pins_per_pad_tile;
  std::vector<DEV_TILE_KIND> m_kinds;
  std::vector<unsigned> m_first_site;  // per tile, plus one past the end
  std::vector<DEV_SITE> m_sites;
};
