// kivpicture_bench: our readers, writers and scaled load beside independent libraries, in one run. See
// BenchSupport.h for what is measured and how the tables read.

#include "BenchSupport.h"

namespace bench {
void RegisterReaderBenchmarks();
void RegisterWriterBenchmarks();
void RegisterZoomBenchmarks();
}  // namespace bench

int main(int argc, char** argv) {
    bench::RegisterReaderBenchmarks();
    bench::RegisterWriterBenchmarks();
    bench::RegisterZoomBenchmarks();
    return bench::RunAndReport(argc, argv);
}
