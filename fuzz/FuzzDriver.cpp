// The libFuzzer entry of one fuzz executable; TARVIK11_FUZZ_ENTRY names its entry function.
#include "FuzzEntries.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return TARVIK11_FUZZ_ENTRY(data, size);
}
