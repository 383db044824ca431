#pragma once
// The two choices of "INPUT.DAT" that select code paths, decoded once where
// the file is read. The raw values stay in ModelInput only to be echoed into
// the results file.

namespace queuecalc {

// Value 13: any negative value runs Euler alone, 0 both, any positive value
// Talbot alone.
enum class InversionChoice {
    Euler,
    Both,
    Talbot,
};

constexpr InversionChoice decodeInversionChoice(int raw) {
    return raw < 0 ? InversionChoice::Euler : raw == 0 ? InversionChoice::Both : InversionChoice::Talbot;
}
constexpr bool runsEuler(InversionChoice choice) { return choice != InversionChoice::Talbot; }
constexpr bool runsTalbot(InversionChoice choice) { return choice != InversionChoice::Euler; }

// The two inversion algorithms, for routines that run one of them.
enum class InversionAlgorithm {
    Euler,
    Talbot,
};

// Value 2: the patience (abandonment time) distribution. Any other number is
// Unspecified, which the input validation rejects at its place in the order
// of the checks.
enum class PatienceType {
    Exponential,
    Erlang,
    Lognormal,
    Unspecified,
};

constexpr PatienceType decodePatienceType(int raw) {
    return raw == 0   ? PatienceType::Exponential
           : raw == 1 ? PatienceType::Erlang
           : raw == 2 ? PatienceType::Lognormal
                      : PatienceType::Unspecified;
}

}  // namespace queuecalc
