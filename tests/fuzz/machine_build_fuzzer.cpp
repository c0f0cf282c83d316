// Fuzz target: the input is read as a machine to build and a way to run the
// program on it (machine_builder.h). The program then runs on that machine,
// from discovery or from its entry point, to the result file; it must end
// with nothing held and a sound report.
#include <cstddef>
#include <cstdint>

#include "fuzz_check.h"
#include "machine_builder.h"
#include "whole_run.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    wholerun::ResetMachineAndPool();
    FuzzedDataProvider input(data, size);
    machinebuild::MachineBuilder builder(input);
    builder.Build();
    fuzzcheck::RequireSoundRun(builder.Run(), builder.Leeway());
    return 0;
}
