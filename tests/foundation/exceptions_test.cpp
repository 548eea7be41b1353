#include "foundation/exceptions.h"

#include <gtest/gtest.h>

#include "foundation/data_pipeline.h"

namespace {
class SampleFailure : public DebuggableException {};
namespace inner {
class NestedFailure : public DebuggableException {};
}  // namespace inner
}  // namespace

TEST(ExceptionTexts, DebuggableExceptionNamesItsMostDerivedClass) {
    EXPECT_STREQ(NoMoreData().what(), "class NoMoreData");
    EXPECT_STREQ(SampleFailure().what(), "class (anonymous namespace)::SampleFailure");
    const DebuggableException& base = inner::NestedFailure();
    EXPECT_STREQ(base.what(), "class (anonymous namespace)::inner::NestedFailure");
}

TEST(ExceptionTexts, ExceptionPLGivesItsMessage) {
    EXPECT_STREQ(ExceptionPL("abc").what(), "abc");
    EXPECT_STREQ(ExceptionPL(static_cast<const char*>(nullptr)).what(), "");
}
