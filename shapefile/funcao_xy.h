// What the record copy calls: the coordinate function, over the x and y of
// a record's vertices as they lie in its bytes, and the look at each record
// read.
#pragma once

namespace kelvara {

// x and y of n vertices, little-endian doubles interleaved as a record holds
// them, transformed from `de` into `para` (`copia_registos`): finite results,
// or it throws (the boxes are kept on that understanding).
struct funcao_xy {
  void* estado = nullptr;
  void (*chama)(void* estado, const unsigned char* de, unsigned char* para, int n) = nullptr;
};
// Called with the number of each record read (`copia_registos`).
struct funcao_registo {
  void* estado = nullptr;
  void (*chama)(void* estado, int registo) = nullptr;
};

}  // namespace kelvara
