// libFuzzer entry: every input is a scan (see ScanCase.h); any difference from the
// carving model is a crash, like the sanitizers' findings.
#include <cstdio>
#include <cstdlib>

#include "ScanCase.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string findings = reclaima::fuzz::CheckScan(data, size);
    if (!findings.empty()) {
        std::fprintf(stderr, "the engine differs from the carving model:%s\n", findings.c_str());
        std::abort();
    }
    return 0;
}
