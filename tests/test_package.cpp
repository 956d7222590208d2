#include <gtest/gtest.h>

#include "package/Package.h"

TEST(PackageRecord, TemplateStartsInBuilderRole) {
    PackageView view(PackageRecord());
    EXPECT_TRUE(view.IsTemplate());
}
