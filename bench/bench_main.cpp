#include "support.hpp"

int main(int argc, char** argv) {
    bench::fixtures();  // made once, before anything is timed
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
