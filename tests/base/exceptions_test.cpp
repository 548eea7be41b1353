#include "base/exceptions.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>
#include <vector>

#include "base/data_pipeline.h"
#include "support/capturing_critical_log.h"

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

namespace {

class SiteRefused : public DebuggableException {};

// Runs `thrower` and captures what it throws.
template <class Thrower>
std::unique_ptr<CaughtException> CaptureFrom(Thrower thrower) {
    try {
        thrower();
    } catch (...) {
        return CaptureCurrentException();
    }
    return nullptr;
}

// Rethrows a holder and returns the text of what comes out, checking its type.
template <class Expected>
std::string RethrownText(const CaughtException& caught) {
    try {
        caught.Rethrow();
    } catch (const Expected& exception) {
        return exception.what();
    } catch (...) {
        ADD_FAILURE() << "rethrown as another type";
    }
    return "";
}

}  // namespace

TEST(ExceptionTexts, CurrentExceptionTextOfEachKind) {
    auto textOf = [](auto thrower) {
        try {
            thrower();
        } catch (...) {
            return CurrentExceptionText();
        }
        return std::string("nothing thrown");
    };
    EXPECT_EQ(textOf([] { throw NoMoreData(); }), "class NoMoreData");
    EXPECT_EQ(textOf([] { throw ExceptionPL("abc"); }), "abc");
    EXPECT_EQ(textOf([] { throw std::runtime_error("plain"); }), "plain");
    EXPECT_EQ(textOf([] { throw 42; }), "No diagnostic message available");
    EXPECT_EQ(CurrentExceptionText(), "No diagnostic message available");
    EXPECT_STREQ(ExceptionCannotBeCopied().what(), "class ExceptionCannotBeCopied");
}

TEST(CapturedExceptions, StdExceptionsAreCopiedWithTheirText) {
    auto caught = CaptureFrom([] { throw SiteRefused(); });
    ASSERT_NE(caught, nullptr);
    EXPECT_STREQ(caught->What(), "class (anonymous namespace)::SiteRefused");
    EXPECT_EQ(RethrownText<CopiedStdException>(*caught), "class (anonymous namespace)::SiteRefused");
}

TEST(CapturedExceptions, ARegisteredTypeIsTakenBeforeStdException) {
    RegisterExceptionType(CatchCurrentException);
    RegisterExceptionType(CaptureExceptionOfType<SiteRefused>);
    auto caught = CaptureFrom([] { throw SiteRefused(); });
    EXPECT_NE(dynamic_cast<CaughtExceptionOfType<SiteRefused>*>(caught.get()), nullptr);
    RethrownText<SiteRefused>(*caught);
}

TEST(CapturedExceptions, UnknownThrowsBecomeExceptionCannotBeCopied) {
    auto caught = CaptureFrom([] { throw 42; });
    EXPECT_NE(dynamic_cast<CaughtExceptionOfType<ExceptionCannotBeCopied>*>(caught.get()), nullptr);
    EXPECT_EQ(RethrownText<ExceptionCannotBeCopied>(*caught), "class ExceptionCannotBeCopied");
}

namespace {
int countingCaptureCalls = 0;
std::unique_ptr<CaughtException> CountingCapture() {
    ++countingCaptureCalls;
    throw;
}
}  // namespace

TEST(CapturedExceptions, RegisteringTwiceKeepsOneEntry) {
    RegisterExceptionType(CountingCapture);
    RegisterExceptionType(CountingCapture);
    CaptureFrom([] { throw 1; });
    EXPECT_EQ(countingCaptureCalls, 1);
}

TEST(CapturedExceptions, RethrowOnAnotherThread) {
    auto caught = CaptureFrom([] { throw ExceptionPL("from the worker"); });
    std::string seen;
    std::thread([&] {
        try {
            caught->Rethrow();
        } catch (const std::exception& exception) {
            seen = exception.what();
        }
    }).join();
    EXPECT_EQ(seen, "from the worker");
}

TEST(RequirementFailures, MessageAndLogEntry) {
    CapturingCriticalLog log;
    try {
        RaiseRequirementFailure("a\\b/parser", 12, "x > 0");
        FAIL() << "no exception";
    } catch (const RequirementFailure& failure) {
        EXPECT_STREQ(failure.what(), "Requirement failure at parser:12 ( x > 0 )");
    }
    EXPECT_EQ(log.entries, std::vector<std::string>{"REQUIREMENT FAILURE: x > 0 (parser:12)"});

    LogRequirementFailure("c:\\src\\main.cpp", 3, "ok");
    EXPECT_EQ(log.entries.back(), "REQUIREMENT FAILURE: ok (main.cpp:3)");
}

TEST(RequirementFailures, DisabledLogStillThrows) {
    CapturingCriticalLog log(false);
    EXPECT_THROW(RaiseRequirementFailure("parser", 12, "x > 0"), RequirementFailure);
    EXPECT_TRUE(log.entries.empty());
}

TEST(RequirementFailures, MacroNamesTheConditionAndPlace) {
    int x = 0;
    try {
        KVR_REQUIRE(x > 0);
        FAIL() << "no exception";
    } catch (const RequirementFailure& failure) {
        EXPECT_EQ(std::string(failure.what()), "Requirement failure at exceptions_test.cpp:" +
                                                   std::to_string(__LINE__ - 4) + " ( x > 0 )");
    }
    EXPECT_NO_THROW(KVR_REQUIRE(x == 0));
}
