// include/kiv/random.h: uniform and normal random numbers.
#ifndef KIV_RANDOM_H
#define KIV_RANDOM_H

#include <kiv/export.h>

namespace kiv {

// Each thread owns its generator (xoshiro256**), created on first use from a
// fixed seed, so a program that never reseeds draws the same numbers on every
// run, and calls from different threads never race.

/// Returns the next uniform number on the open interval (0, 1).
KIV1MATH_API double Rand();
/// Returns the next standard normal number (mean 0, variance 1).
KIV1MATH_API double Randn();
/// Reseeds the calling thread's generator; the same seed repeats the same
/// sequence of Rand and Randn draws.
KIV1MATH_API void RandSeed(unsigned long long seed);

}  // namespace kiv

#endif  // KIV_RANDOM_H
