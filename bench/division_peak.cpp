#include "division_peak.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>
#define QUEUECALC_BENCH_X86 1
#endif

namespace queuecalc {
namespace bench {

namespace {

const int kChains = 12;

// Each chain runs x <- y / x, which stays near its start for ever (x, y/x,
// x, ..), so no value drifts towards the subnormal range. The empty asm
// statements keep the compiler from merging the scalar chains into vector
// instructions or folding anything.
double scalarRounds(long rounds) {
    double x[kChains];
    for (int i = 0; i < kChains; ++i) x[i] = 1.0 + 0.0371 * i;
    const double y = 1.0000001;
    for (long n = 0; n < rounds; ++n) {
        for (int i = 0; i < kChains; ++i) {
            x[i] = y / x[i];
#ifdef QUEUECALC_BENCH_X86
            __asm__("" : "+x"(x[i]));
#endif
        }
    }
    double sum = 0;
    for (int i = 0; i < kChains; ++i) sum += x[i];
    return sum;
}

#ifdef QUEUECALC_BENCH_X86
double sse2Rounds(long rounds) {
    __m128d x[kChains];
    for (int i = 0; i < kChains; ++i) x[i] = _mm_set_pd(1.0 + 0.0371 * i, 1.3 - 0.0213 * i);
    const __m128d y = _mm_set1_pd(1.0000001);
    for (long n = 0; n < rounds; ++n) {
        for (int i = 0; i < kChains; ++i) {
            x[i] = _mm_div_pd(y, x[i]);
            __asm__("" : "+x"(x[i]));
        }
    }
    __m128d sum = _mm_setzero_pd();
    for (int i = 0; i < kChains; ++i) sum = _mm_add_pd(sum, x[i]);
    return _mm_cvtsd_f64(sum);
}

__attribute__((target("avx2"))) double avx2Rounds(long rounds) {
    __m256d x[kChains];
    for (int i = 0; i < kChains; ++i)
        x[i] =
            _mm256_set_pd(1.0 + 0.0371 * i, 1.3 - 0.0213 * i, 1.7 + 0.0097 * i, 1.9 - 0.0311 * i);
    const __m256d y = _mm256_set1_pd(1.0000001);
    for (long n = 0; n < rounds; ++n) {
        for (int i = 0; i < kChains; ++i) {
            x[i] = _mm256_div_pd(y, x[i]);
            __asm__("" : "+x"(x[i]));
        }
    }
    __m256d sum = _mm256_setzero_pd();
    for (int i = 0; i < kChains; ++i) sum = _mm256_add_pd(sum, x[i]);
    return _mm256_cvtsd_f64(sum);
}
#endif

}  // namespace

const char* divisionKindName(DivisionKind kind) {
    switch (kind) {
        case DivisionKind::Sse2: return "SSE2 divpd";
        case DivisionKind::Avx2: return "AVX2 vdivpd";
        case DivisionKind::Scalar: break;
    }
    return "scalar divsd";
}

bool divisionKindAvailable(DivisionKind kind) {
#ifdef QUEUECALC_BENCH_X86
    if (kind == DivisionKind::Avx2) return __builtin_cpu_supports("avx2");
    return true;
#else
    return kind == DivisionKind::Scalar;
#endif
}

DivisionKind widestDivisionKind() {
    if (divisionKindAvailable(DivisionKind::Avx2)) return DivisionKind::Avx2;
    if (divisionKindAvailable(DivisionKind::Sse2)) return DivisionKind::Sse2;
    return DivisionKind::Scalar;
}

long divisionsPerRound(DivisionKind kind) {
    switch (kind) {
        case DivisionKind::Sse2: return 2 * kChains;
        case DivisionKind::Avx2: return 4 * kChains;
        case DivisionKind::Scalar: break;
    }
    return kChains;
}

double divideRounds(DivisionKind kind, long rounds) {
#ifdef QUEUECALC_BENCH_X86
    if (kind == DivisionKind::Avx2) return avx2Rounds(rounds);
    if (kind == DivisionKind::Sse2) return sse2Rounds(rounds);
#endif
    return scalarRounds(rounds);
}

double measureDivisionRate(DivisionKind kind, unsigned threads, double seconds) {
    typedef std::chrono::steady_clock Clock;
    const long roundsPerCheck = 100000;
    std::atomic<unsigned> ready(0);
    std::vector<double> rates(threads, 0.0);
    std::vector<double> sinks(threads, 0.0);
    const auto work = [&](unsigned index) {
        ++ready;
        while (ready.load() < threads) {
        }
        const Clock::time_point start = Clock::now();
        long rounds = 0;
        double elapsed = 0;
        do {
            sinks[index] += divideRounds(kind, roundsPerCheck);
            rounds += roundsPerCheck;
            elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        } while (elapsed < seconds);
        rates[index] = static_cast<double>(rounds) * divisionsPerRound(kind) / elapsed;
    };
    std::vector<std::thread> others;
    for (unsigned i = 1; i < threads; ++i) others.emplace_back(work, i);
    work(0);
    for (std::thread& t : others) t.join();
    double total = 0;
    for (double rate : rates) total += rate;
    return total;
}

}  // namespace bench
}  // namespace queuecalc
