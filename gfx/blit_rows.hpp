// Internal: the row routines of the blend modes, one set per instruction set,
// and the table that names every variant this processor can run.
//
// Every routine of a set gives the same bytes as the scalar set for any
// width, height, pitch and alignment (rows need not be 4-byte aligned); w or
// h <= 0 draws nothing. Each Blend routine handles alpha 0 itself by running
// Transparent, so a routine pointer is complete on its own. Source and target
// rows must not overlap.
#pragma once

#include <cstdint>
#include <span>

#include "gfx/blit.hpp"
#include "gfx/types.hpp"

namespace gfx::detail {

struct RowSet {
    const char* name;  // "scalar", "sse2", "avx2", "avx512"
    RowRoutine copy, transparent, blend, add, alpha;
};

RowRoutine row_set_routine(const RowSet& set, BlitMode mode);

extern const RowSet scalar_rows;
#if defined(__x86_64__) || defined(__i386__)
extern const RowSet sse2_rows;
extern const RowSet avx2_rows;
extern const RowSet avx512_rows;
#endif

struct RowVariant {
    const char* name;  // the set's name
    BlitMode mode;
    RowRoutine routine;
};

// Every compiled variant that the processor supports, the scalar set first,
// each set with all five modes. Independent of GFX_FORCE_SCALAR.
std::span<const RowVariant> blit_row_variants();

// The name of the set that blit_rows dispatches to.
const char* blit_rows_active_set();

}  // namespace gfx::detail
