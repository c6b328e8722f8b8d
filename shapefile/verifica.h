// The checks of an input shapefile that shapelib does not make, in words
// the user can act on: its headers before shapelib reads them, then its
// index against the .shp and its table against the index. Each throws
// `falha` naming the file and, for a record, its number.
#pragma once

#include <cstdint>
#include <string>

#include <shapefil.h>

namespace kelvara {

bool tipo_valido(int shape_type);

// A big-endian 32-bit integer, as the headers hold sizes and codes.
std::uint32_t grande_endian(const unsigned char* b);

// The 100-byte headers that .shp and .shx share: size, file code, shape
// type, and the index's declared length.
void verifica_cabecalhos(const std::string& path, const std::string& shx);

// Every index entry within the .shp and no two records sharing bytes; an
// index as long as its records; no data after the last indexed record; a
// table with as many records as the index, none cut short, and a field
// list that ends where its header says.
void verifica_indice(SHPHandle shp, const std::string& path, const std::string& shx);
void verifica_tabela(DBFHandle dbf, int registos, const std::string& path,
                     const std::string& nome_dbf);

}  // namespace kelvara
