// kivpicture_bench: our readers, writers, scaled load and media catalogue beside independent libraries,
// in one run. See BenchSupport.h for what is measured and how the tables read.

#include "BenchSupport.h"

namespace bench {
void RegisterReaderBenchmarks();
void RegisterWriterBenchmarks();
void RegisterZoomBenchmarks();
void RegisterCatalogBenchmarks();
void RegisterListCtrlBenchmarks();
void RegisterPanelBenchmarks();
}  // namespace bench

int main(int argc, char** argv) {
    bench::RegisterReaderBenchmarks();
    bench::RegisterWriterBenchmarks();
    bench::RegisterZoomBenchmarks();
    bench::RegisterCatalogBenchmarks();
    bench::RegisterListCtrlBenchmarks();
    bench::RegisterPanelBenchmarks();
    return bench::RunAndReport(argc, argv);
}
