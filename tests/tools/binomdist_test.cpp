// Runs the built binomdist tool as a subprocess and reads back what it writes,
// the way the calculator reads "BINOMDIST.DAT".

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#ifndef BINOMDIST_PATH
#error "BINOMDIST_PATH must name the built binomdist executable"
#endif

namespace {

__extension__ typedef unsigned __int128 Exact;  // holds C(n, k) for n <= 128

constexpr int kLastFiniteDimension = 1029;  // C(1030, 515) >= 2^1024
constexpr double kExactMatch = 0.0;         // tolerance: written values are bit-exact

struct ToolRun {
    int status;
    std::string out;
};

ToolRun runTool(const std::string& args) {
    std::string command = std::string("'") + BINOMDIST_PATH + "' " + args + " 2>/dev/null";
    std::FILE* pipe = popen(command.c_str(), "r");
    std::string out;
    char buffer[65536];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, got);
    int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

// Reads N and (N + 1)^2 doubles by formatted extraction; fails the test when
// a value is missing or anything but white space follows the last one.
std::vector<std::vector<double>> parseTable(const std::string& text, int expectedDimension) {
    std::istringstream in(text);
    int dimension = -2;
    in >> dimension;
    EXPECT_EQ(dimension, expectedDimension);
    std::vector<std::vector<double>> rows(dimension + 1, std::vector<double>(dimension + 1));
    for (auto& row : rows)
        for (double& entry : row) in >> entry;
    EXPECT_FALSE(in.fail()) << "table ends early";
    std::string rest;
    EXPECT_FALSE(in >> rest) << "unexpected text after the table: " << rest;
    return rows;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(BinomDist, WritesSmallTablesExactlyOneRowPerLine) {
    EXPECT_EQ(runTool("-1").out, "-1\n");
    EXPECT_EQ(runTool("0").out, "0\n1\n");
    EXPECT_EQ(runTool("4").out, "4\n1 0 0 0 0\n1 1 0 0 0\n1 2 1 0 0\n1 3 3 1 0\n1 4 6 4 1\n");
}

TEST(BinomDist, MatchesTheCorrectlyRoundedExactCoefficientsUpToDimension128) {
    // Oracle: Pascal's rule in 128-bit integers, converted by the compiler's
    // correctly rounded integer-to-double conversion.
    const int dimension = 128;
    ToolRun run = runTool(std::to_string(dimension));
    ASSERT_EQ(run.status, 0);
    auto table = parseTable(run.out, dimension);
    std::vector<Exact> exact(dimension + 1, 0);
    exact[0] = 1;
    int mismatches = 0;
    double worstUlps = 0.0;
    for (int n = 0; n <= dimension; ++n) {
        for (int k = n; k >= 1; --k) exact[k] += exact[k - 1];
        for (int k = 0; k <= dimension; ++k) {
            double expected = static_cast<double>(exact[k]);
            double error = std::fabs(table[n][k] - expected);
            if (error > kExactMatch) ++mismatches;
            if (expected != 0.0) worstUlps = std::fmax(worstUlps, error / (std::nextafter(expected, INFINITY) - expected));
        }
    }
    EXPECT_EQ(mismatches, 0) << "worst error " << worstUlps << " ulp";
}

TEST(BinomDist, WritesCoefficientsAbove2To53AsTheNearestDouble) {
    // References: Python's exact math.comb rounded by float(), ties to even.
    ToolRun run = runTool("60");
    auto table = parseTable(run.out, 60);
    // C(60, 30) = 118264581564861424 is above 2^53 but a multiple of 16, so a
    // double holds it exactly; it is still written in the 17-digit form.
    EXPECT_EQ(table[60][30], 118264581564861424.0);
    EXPECT_NE(run.out.find(" 1.1826458156486142e+17 "), std::string::npos);
    // C(60, 26) = 69886166503903470 lies 6 above one double and 2 below the
    // next (spacing 8): it rounds up, where cutting the low bits would not.
    EXPECT_EQ(static_cast<unsigned long long>(table[60][26]), 69886166503903472ULL);
    // C(60, 25) = 51915437974328292 is a tie between two doubles: the even one wins.
    EXPECT_EQ(static_cast<unsigned long long>(table[60][25]), 51915437974328288ULL);
    // Just above 2^53 the double's digits are written, not the exact ones:
    // C(57, 25) = 9929472283517787, a tie that rounds up to even.
    std::string row57 = runTool("57").out;
    EXPECT_NE(row57.find(" 9929472283517788 "), std::string::npos);
    EXPECT_EQ(row57.find("9929472283517787"), std::string::npos);
}

TEST(BinomDist, WritesTheLastFiniteDimensionAndRefusesTheNext) {
    const std::string path = ::testing::TempDir() + "binomdist_last.dat";
    ASSERT_EQ(runTool(std::to_string(kLastFiniteDimension) + " '" + path + "'").status, 0);
    auto table = parseTable(readFile(path), kLastFiniteDimension);
    int nonFinite = 0;
    for (const auto& row : table)
        for (double entry : row) nonFinite += std::isfinite(entry) ? 0 : 1;
    EXPECT_EQ(nonFinite, 0);
    // References: Python's float(math.comb(n, k)).
    EXPECT_EQ(table[1000][500], 0x1.9d4965077dfecp+994);
    EXPECT_EQ(table[1029][514], 0x1.9739f88dc9682p+1023);
    std::remove(path.c_str());

    const std::string refused = ::testing::TempDir() + "binomdist_refused.dat";
    std::remove(refused.c_str());
    EXPECT_NE(runTool(std::to_string(kLastFiniteDimension + 1) + " '" + refused + "'").status, 0);
    EXPECT_FALSE(std::ifstream(refused).is_open()) << "a refused dimension must not create the file";
}

TEST(BinomDist, RefusesArgumentsThatAreNotADimension) {
    for (const char* args : {"-2", "abc", "12x", "1.5", "' 5'", "''", "", "3 a b", "99999999999999999999"}) {
        ToolRun run = runTool(args);
        EXPECT_NE(run.status, 0) << "arguments: " << args;
        EXPECT_EQ(run.out, "") << "arguments: " << args;
    }
}

TEST(BinomDist, WritesTheSameTableToAFileAsToStandardOutput) {
    const std::string path = ::testing::TempDir() + "binomdist_same.dat";
    ASSERT_EQ(runTool("64 '" + path + "'").status, 0);
    EXPECT_EQ(readFile(path), runTool("64").out);
    std::remove(path.c_str());
}

}  // namespace
