#pragma once
// Constants shared by more than one layer.

namespace queuecalc {

// pi, the double nearest to it (the literal has 16 significant digits and
// reads as the same double as the correctly rounded value).
constexpr double kPi = 3.141592653589793;

}  // namespace queuecalc
