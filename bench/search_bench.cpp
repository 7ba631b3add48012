// The registry search on the in-memory registry: time, registry calls and
// peak heap per key, for trees of 10, 1,000 and 100,000 keys below the Java
// runtime key. Every key holds a JavaHome value and one other value, so the
// search reads, matches and appends at every key.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "launcher/launcher.h"
#include "platform/portable.h"
#include "registry/regHelper.h"

namespace {
// Heap in use and its peak, for the peak-memory counter.
std::size_t heapNow = 0;
std::size_t heapPeak = 0;
}  // namespace

void* operator new(std::size_t size) {
    void* memory = std::malloc(size == 0 ? 1 : size);
    if (memory == nullptr) throw std::bad_alloc();
    heapNow += malloc_usable_size(memory);
    if (heapNow > heapPeak) heapPeak = heapNow;
    return memory;
}
void operator delete(void* memory) noexcept {
    if (memory != nullptr) heapNow -= malloc_usable_size(memory);
    std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
    operator delete(memory);
}

namespace {

const std::string jre = "Software\\JavaSoft\\Java Runtime Environment";

// A tree of count keys below the runtime key, ten children per key, filled
// breadth-first, named like version keys.
void buildTree(int count) {
    portable::reset();
    std::vector<std::string> paths{jre};
    for (std::size_t parent = 0; static_cast<int>(paths.size()) <= count; ++parent) {
        for (int child = 0; child < 10 && static_cast<int>(paths.size()) <= count; ++child) {
            const std::string path = paths[parent] + "\\1." + std::to_string(paths.size());
            portable::setString(path, "JavaHome", u"C:\\Program Files\\Java\\jre");
            portable::setString(path, "RuntimeLib", u"C:\\Program Files\\Java\\jre\\bin\\client\\jvm.dll");
            paths.push_back(path);
        }
    }
}

void searchTree(benchmark::State& state) {
    const int keys = static_cast<int>(state.range(0));
    buildTree(keys);
    const std::uint64_t callsBefore = portable::registryCallCount();
    const std::size_t heapBefore = heapNow;
    heapPeak = heapNow;
    std::u16string home;
    for (auto _ : state) {
        home = findInstalledJavaHome();
        benchmark::DoNotOptimize(home);
    }
    const double runs = static_cast<double>(state.iterations());
    state.counters["keys"] = keys;
    state.counters["ns_per_key"] =
        benchmark::Counter(runs * keys, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["calls_per_key"] = static_cast<double>(portable::registryCallCount() - callsBefore) / (runs * keys);
    state.counters["peak_heap_KiB"] = static_cast<double>(heapPeak - heapBefore) / 1024.0;
    if (home.empty()) state.SkipWithError("no Java home found");
}

BENCHMARK(searchTree)->Arg(10)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
