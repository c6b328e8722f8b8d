// Integers and doubles as the shapefile's bytes hold them: the headers'
// sizes and codes big-endian, everything else little-endian.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace kelvara {

inline std::uint32_t le32(const unsigned char* b)
{
  std::uint32_t v;
  std::memcpy(&v, b, 4);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
  return v;
}
inline std::uint32_t be32(const unsigned char* b)
{
  std::uint32_t v;
  std::memcpy(&v, b, 4);
  if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap32(v);
  return v;
}
inline double le_real(const unsigned char* b)
{
  double v;
  std::memcpy(&v, b, 8);
  return v;
}
inline void poe_le32(unsigned char* b, std::uint32_t v) { std::memcpy(b, &v, 4); }
inline void poe_be32(unsigned char* b, std::uint32_t v)
{
  v = __builtin_bswap32(v);
  std::memcpy(b, &v, 4);
}
inline void poe_real(unsigned char* b, double v) { std::memcpy(b, &v, 8); }

}  // namespace kelvara
