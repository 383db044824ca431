#pragma once
// The machine's division limit: independent double divisions, as many as the
// divider can start, on one or on several cores at once.

namespace queuecalc {
namespace bench {

enum class DivisionKind {
    Scalar,  // divsd, one double per instruction
    Sse2,    // divpd, two doubles
    Avx2,    // vdivpd on 256 bits, four doubles
};

const char* divisionKindName(DivisionKind kind);
bool divisionKindAvailable(DivisionKind kind);

// AVX2 where the processor has it, otherwise SSE2.
DivisionKind widestDivisionKind();

// Runs `rounds` rounds of one division in each of 12 independent chains of
// the given kind (12 in flight hide the divider's latency on every current
// x86 core) and returns a value that depends on all of them. A round is 12
// instructions: 12, 24 or 48 divisions.
double divideRounds(DivisionKind kind, long rounds);
long divisionsPerRound(DivisionKind kind);

// Divisions per second of `threads` threads dividing together for about
// `seconds`.
double measureDivisionRate(DivisionKind kind, unsigned threads, double seconds);

}  // namespace bench
}  // namespace queuecalc
