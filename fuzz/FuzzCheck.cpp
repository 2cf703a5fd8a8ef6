#include "FuzzCheck.h"

#include <cstdio>
#include <cstdlib>

namespace {

FuzzFailureHandler& handlerSlot() {
    static FuzzFailureHandler handler;
    return handler;
}

} // namespace

void setFuzzFailureHandler(FuzzFailureHandler handler) { handlerSlot() = std::move(handler); }

bool fuzzExpect(bool ok, const std::string& what) {
    if (ok)
        return true;
    if (const auto& handler = handlerSlot()) {
        handler(what);
        return false;
    }
    std::fprintf(stderr, "fuzz check failed: %s\n", what.c_str());
    std::abort();
}
