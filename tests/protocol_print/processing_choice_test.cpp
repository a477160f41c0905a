// The Processing option's choices: Automatic and unknown values leave the
// print mode's route, every other choice names its route.
#include "protocol_print/processing_choice.h"

#include <gtest/gtest.h>

namespace {

TEST(ProcessingChoice, RouteOfEveryValue) {
    struct Case {
        int32_t value;
        uint32_t grayType;
        bool setsThreshold;
    };
    const Case cases[] = {{1, 0, true},   {2, 6, false},  {3, 9, false}, {4, 61, false},
                          {5, 62, false}, {6, 13, false}, {7, 2, false}, {8, 3, false}};
    for (const Case &c : cases) {
        ProtocolRoute route{99, false};
        ASSERT_TRUE(processingRoute(c.value, &route)) << c.value;
        EXPECT_EQ(route.grayType, c.grayType) << c.value;
        EXPECT_EQ(route.setsThreshold, c.setsThreshold) << c.value;
    }
    for (int32_t value : {0, -1, 9, 65536 + 3}) {
        ProtocolRoute route{99, false};
        EXPECT_FALSE(processingRoute(value, &route)) << value;
        EXPECT_EQ(route.grayType, 99u);
    }
}

}  // namespace
