#include "dev/dev_grid.h"

#include <algorithm>

namespace {
bool listed(const std::vector<int>& v, int x) { return std::find(v.begin(), v.end(), x) != v.end(); }
}  // namespace

DEV_GRID::DEV_GRID(const DeviceSpec& spec)
    : m_nx(std::max(spec.nx, 3)),
      m_ny(std::max(spec.ny, 3)),
      m_pins_per_pad_tile(std::clamp(spec.pins_per_pad_tile, 1, MAX_PINS_PER_PAD_TILE)) {
  m_kinds.resize(static_cast<size_t>(m_nx) * static_cast<size_t>(m_ny));
  for (int y = 0; y < m_ny; ++y) {
    for (int x = 0; x < m_nx; ++x) {
      const bool left_right = x == 0 || x == m_nx - 1;
      DEV_TILE_KIND k;
      if (left_right && (y == 0 || y == m_ny - 1)) k = DEV_TILE_KIND::PLL;
      else if (y == m_ny - 1) k = DEV_TILE_KIND::PERIPHERY;
      else if (left_right || y == 0) k = DEV_TILE_KIND::PAD;
      else if (listed(spec.dsp_columns, x)) k = (y % 2 == 1 && y + 1 <= m_ny - 2) ? DEV_TILE_KIND::DSP : DEV_TILE_KIND::DSP_UPPER;
      else if (listed(spec.ram_columns, x)) k = DEV_TILE_KIND::RAM;
      else k = DEV_TILE_KIND::LAB;
      m_kinds[tile(x, y)] = k;
    }
  }
  m_first_site.reserve(m_kinds.size() + 1);
  for (int y = 0; y < m_ny; ++y) {
    for (int x = 0; x < m_nx; ++x) {
      m_first_site.push_back(static_cast<unsigned>(m_sites.size()));
      auto add = [&](int z, int element) {
        m_sites.push_back(DEV_SITE{static_cast<std::uint16_t>(x), static_cast<std::uint16_t>(y),
                                   static_cast<std::uint16_t>(z), static_cast<std::uint16_t>(element)});
      };
      switch (tile_kind(x, y)) {
        case DEV_TILE_KIND::PLL: add(0, dev_kind::PLL); break;
        case DEV_TILE_KIND::PERIPHERY: add(0, periphery_kind(x)); break;
        case DEV_TILE_KIND::PAD: {
          static const int pin_sites[SITES_PER_PIN] = {dev_kind::SITE_PARENT, dev_kind::PAD,       dev_kind::IO_IN,
                                                       dev_kind::IO_OUT,      dev_kind::IO_IN_REG, dev_kind::IO_OUT_REG};
          for (int p = 0; p < m_pins_per_pad_tile; ++p)
            for (int s = 0; s < SITES_PER_PIN; ++s) add(p * SITES_PER_PIN + s, pin_sites[s]);
          break;
        }
        case DEV_TILE_KIND::DSP: add(0, dev_kind::DSP); break;
        case DEV_TILE_KIND::DSP_UPPER: break;
        case DEV_TILE_KIND::RAM: add(0, dev_kind::RAM); break;
        case DEV_TILE_KIND::LAB:
          for (int z = 0; z < LAB_SITES; ++z) add(z, z % 3 == 0 ? dev_kind::LUT : dev_kind::FF);
          break;
      }
    }
  }
  m_first_site.push_back(static_cast<unsigned>(m_sites.size()));
}

int DEV_GRID::periphery_kind(int x) const {
  static const int kinds[3] = {dev_kind::UIB, dev_kind::ESRAM, dev_kind::HSSI};
  return kinds[x % 3];
}

int DEV_GRID::site_count(int x, int y) const {
  if (!in_grid(x, y)) return 0;
  return static_cast<int>(m_first_site[tile(x, y) + 1] - m_first_site[tile(x, y)]);
}

unsigned DEV_GRID::site_gid(int x, int y, int z) const {
  if (z < 0 || z >= site_count(x, y)) return ILLEGAL_GID;
  return m_first_site[tile(x, y)] + static_cast<unsigned>(z);
}
