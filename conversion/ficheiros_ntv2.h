// DGT's NTv2 grids as kelvara keeps them (grelhas/gera_dgt.py writes them
// from DGT's GeoTIFFs): their names in the grid folder, and reading them.
//
// File layout, little-endian: "kelvara ntv2 1\n" and a NUL (16 bytes); the
// columns and rows (two int32); the longitude of the west nodes, the
// latitude of the south nodes, the longitude and latitude spacing (four
// float64, arc-seconds, longitude positive east); 8 bytes of zero; then for
// each node from the south-west one, rows going north, each row going east,
// the latitude and the longitude shift (two float32, arc-seconds, positive
// north and east).
#pragma once

#include <string>

#include "falha.h"
#include "ntv2.h"
#include "rotas.h"

namespace kelvara {

// The grid of a datum (d73 or lisboa) in the folder `pasta`.
std::string ficheiro_ntv2(datum d, const std::string& pasta);

// Reads a grid file. Throws `grelhas_em_falta` (ficheiros_grelha.h) when
// it is not there, and falha naming it when it cannot be read or is not
// laid out as above: another header, a size that is not the header's, a
// spacing or an extent that is not a grid's, or a shift that is not a
// number or exceeds a minute of arc.
grelha_ntv2 le_ntv2(const std::string& nome);

}  // namespace kelvara
