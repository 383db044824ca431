#pragma once
// Bit-for-bit equality of two values (signed zeros and NaN payloads told apart).

#include <cstring>

namespace testsupport {

template <class T>
bool sameBits(const T& x, const T& y) {
    return std::memcmp(&x, &y, sizeof x) == 0;
}

}  // namespace testsupport
