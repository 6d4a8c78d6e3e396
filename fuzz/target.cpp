// One libFuzzer target; FUZZ_ENTRY names the entry of entries.hpp it runs.
#include "fuzz/entries.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) { return FUZZ_ENTRY(data, size); }
