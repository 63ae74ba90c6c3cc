// Startup's reading of the carried image: clearing the image, filling the line table and
// reading the 6,946 lines into the image. It runs before the window is first shown, so it
// should stay well under 5 ms.

#include <benchmark/benchmark.h>

#include <memory>

#include "embedded_image.h"
#include "memory_image.h"

namespace vq {
namespace {

void BM_StartupReadsTheCarriedImage(benchmark::State& state) {
    // Both live as long as the window does; startup does not allocate them.
    auto embedded = std::make_unique<EmbeddedImage>();
    auto image = std::make_unique<MemoryImage>();
    for (auto _ : state) {
        image->ClearImage();
        embedded->FillEmbeddedLines();
        embedded->ReadInto(*image);
        benchmark::DoNotOptimize(image.get());
        benchmark::ClobberMemory();
    }
    state.counters["lines"] = embedded->EmbeddedLineCount;
}
BENCHMARK(BM_StartupReadsTheCarriedImage)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vq
