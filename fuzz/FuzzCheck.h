#pragma once
#include <functional>
#include <string>

// What a fuzz entry does when one of its own checks fails (sanitizers catch memory faults).
using FuzzFailureHandler = std::function<void(const std::string& what)>;

// Installs the handler for failed checks; an empty handler restores the default, which
// prints the message and aborts (libFuzzer then saves the input as a crash).
void setFuzzFailureHandler(FuzzFailureHandler handler);
// Reports what through the handler when ok is false; returns ok.
bool fuzzExpect(bool ok, const std::string& what);
