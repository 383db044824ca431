#pragma once
// Points z = a + ib at which tests evaluate the waiting-time transform, kept
// as the two arrays the batch evaluation takes.

#include <vector>

namespace testsupport {

struct Points {
    std::vector<double> a;
    std::vector<double> b;
    void add(double re, double im) {
        a.push_back(re);
        b.push_back(im);
    }
};

}  // namespace testsupport
