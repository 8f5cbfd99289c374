#include <gtest/gtest.h>

#include "cli/report.h"

TEST(Build, LinksTheLibrary) { EXPECT_FALSE(qev::FormatThousands(0).empty()); }
