#include "http/http_request_context.h"

#include <gtest/gtest.h>

namespace {

class StoppingInterruptor : public Interruptor {
  public:
    void CheckForInterruption() override { throw StopRequest(); }
};

TEST(HTTPRequestContext, RunsWithItsOwnInterruptorUntilARequestPutsInItsStop) {
    HTTPRequestContext context;
    EXPECT_NO_THROW(context.ActiveInterruptor().CheckForInterruption());
    StoppingInterruptor stop;
    context.SetInterruptor(stop);
    EXPECT_THROW(context.ActiveInterruptor().CheckForInterruption(), StopRequest);
    EXPECT_EQ(context.Throttle().rate, 0u);
    EXPECT_TRUE(context.Throttle().group.empty());
    EXPECT_FALSE(context.Throttle().dynamic.enabled);
}

}  // namespace
