#include <gtest/gtest.h>
#include "report/number_format.h"
TEST(NumberFormat, Placeholder) { EXPECT_EQ(queuecalc::formatNumber(2.5e-5), "2.5e-005"); }
