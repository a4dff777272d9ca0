// Cost of the toolkit operations that the equilibrium solvers call in their innermost loops.
// Each benchmark also reports the heap allocations per call (expected: 0).

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "curves.hpp"
#include "finite_differences.hpp"
#include "interpolation.hpp"
#include "optimize.hpp"

namespace {
std::atomic<long> allocations{0};
}  // namespace

// Counting replacements of the global allocation functions (malloc/free underneath).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace {

using namespace quorl;

void report_allocations(benchmark::State& state, long before) {
    state.counters["allocs_per_call"] =
        benchmark::Counter(static_cast<double>(allocations.load() - before) / static_cast<double>(state.iterations()));
}

void BM_interp1_t_at(benchmark::State& state) {
    const std::vector<double> x{0.0, 0.012, 0.025, 0.041, 0.05};
    const std::vector<double> y{42.0, 38.5, 33.0, 29.5, 27.0};
    const interp1_t table = create_interp1_t(x, y, "pchip", "extrap");
    double xi = -0.004;
    const long before = allocations.load();
    for (auto _ : state) {
        benchmark::DoNotOptimize(table.at(xi));
        xi += 0.0001;
        if (xi > 0.056) xi = -0.004;
    }
    report_allocations(state, before);
}
BENCHMARK(BM_interp1_t_at);

void BM_curve_at_1(benchmark::State& state) {
    array2d points(2, 4);
    const double z[4] = {0.10, 0.11, 0.115, 0.118};
    const double r[4] = {0.20, 0.25, 0.30, 0.35};
    for (int j = 1; j <= 4; ++j) {
        points(1, j) = z[j - 1];
        points(2, j) = r[j - 1];
    }
    const curve_t edge = new_curve(points);
    double s = edge.s_begin;
    const double ds = (edge.s_end - edge.s_begin) / 97.0;
    double out[2];
    const long before = allocations.load();
    for (auto _ : state) {
        edge.at_1(s, out);
        benchmark::DoNotOptimize(out);
        s += ds;
        if (s > edge.s_end) s = edge.s_begin;
    }
    report_allocations(state, before);
}
BENCHMARK(BM_curve_at_1);

void BM_integral_11(benchmark::State& state) {
    std::vector<double> x(11);
    std::vector<double> f(11);
    for (int i = 0; i < 11; ++i) {
        x[i] = 0.2 + 0.015 * i + 0.0004 * i * i;
        f[i] = 2.0 * 3.141592653589793 * x[i] * (1.1 + 0.05 * i);
    }
    const long before = allocations.load();
    for (auto _ : state) {
        benchmark::DoNotOptimize(f.data());
        benchmark::DoNotOptimize(integral(f, x));
    }
    report_allocations(state, before);
}
BENCHMARK(BM_integral_11);

// root_scalar from a start value on x - 10: 58 evaluations of a trivial function, so the time
// per call over 58 is the finder's own cost per evaluation.
void BM_root_scalar_58_evaluations(benchmark::State& state) {
    solver_info_t info;
    double shift = 10.0;
    const long before = allocations.load();
    for (auto _ : state) {
        benchmark::DoNotOptimize(shift);
        benchmark::DoNotOptimize(root_scalar([shift](double x) { return x - shift; }, {.x0 = 0.0, .info = &info}));
    }
    report_allocations(state, before);
}
BENCHMARK(BM_root_scalar_58_evaluations);

}  // namespace

BENCHMARK_MAIN();
