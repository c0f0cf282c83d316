// Fuzz target: the input is machine profile text. Whatever the profile loads
// (the whole of it, or the part before a malformed line), the program runs on
// it from discovery to the result file and must end with nothing held and a
// sound report.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "sim/control.h"
#include "whole_run.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    wholerun::ResetMachineAndPool();
    sim::ProfileError error;
    const bool loaded =
        sim::LoadProfile(std::string(reinterpret_cast<const char*>(data), size), &error);
    fuzzcheck::RequireSoundRun(wholerun::RunWholeProgram());
    // Text that does not load is kept out of the corpus.
    return loaded ? 0 : -1;
}
