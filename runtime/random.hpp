// The pseudo-random numbers of the intro.
#pragma once

#include <cstdint>

namespace runtime {

// n == 0: the last number drawn (0 before the first draw), nothing drawn.
// Otherwise (NaN included): k / 32768 for the generator's next k in
// 0..32767, so the result lies in [0, 0.999969482421875]. The generator
// starts from the same fixed state in every process and is never seeded, so
// two runs draw identical sequences. Program thread only.
double random_unit(float n);

namespace detail {

// The generator itself: a 32-bit linear congruential generator whose bits
// 16..30 are the result, 0..32767.
std::int32_t random_next();
// Back to the fixed start state; the last number drawn becomes 0.
void random_reset();

}  // namespace detail
}  // namespace runtime
