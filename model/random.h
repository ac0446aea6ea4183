// The program's only source of randomness: one std::mt19937, seeded once.
// Both of the runtime-style generators the search relies on ("rand" and the
// long-range "lrand") are the engine's output shifted right by one bit, so the
// draws are the same on every platform.
#pragma once

#include <random>

// The engine; tests may copy and restore it to replay a sequence of draws.
std::mt19937& random_engine();

// Reseeds the engine (the run does this once, with its fixed seed).
void seed_random(unsigned seed);

// A value in 0..bound-1 (the draw modulo bound); 0 without drawing for bound 0.
int random_below(int bound);

// low + (r mod 10000) * 0.0001 * (high - low) for a fresh draw r, evaluated in
// double in that order; low itself, without drawing, when low == high.
double random_uniform(double low, double high);
