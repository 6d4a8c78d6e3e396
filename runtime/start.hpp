// Process start-up and the one real-to-integer conversion of the program.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace runtime {

// Runs before anything else (before screen_open). Sets the floating-point
// environment to round-to-nearest, clears the runtime's state (generator,
// clock source) and records the command line. No argument is interpreted.
void runtime_start(int argc, char** argv);

// The command line recorded by runtime_start (empty before it ran).
std::span<char* const> runtime_arguments();

// The executable's file name without directory and without its last
// extension ("/usr/bin/intro.bin" gives "intro"); empty before runtime_start.
std::string_view runtime_program_name();

// Nearest integer, a value exactly halfway taking the even neighbour
// (8.5 -> 8, 9.5 -> 10, -2.5 -> -2). Computed with floor and compares only,
// so it does not depend on the floating-point rounding mode that other code
// may change. NaN gives 0; values outside the 32-bit range saturate.
std::int32_t round_even(double value);

}  // namespace runtime
