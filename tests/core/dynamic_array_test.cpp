#include "core/dynamic_array.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace {

TEST(DynamicArray, SinglePushesDoubleTheCapacity) {
    dynamic_array *a = dynamic_array_init(2);
    ASSERT_NE(a, nullptr);
    dynamic_array_push(a, 1);
    dynamic_array_push(a, 2);
    EXPECT_EQ(a->capacity, 2u);
    dynamic_array_push(a, 3);
    EXPECT_EQ(a->capacity, 4u);
    EXPECT_EQ(a->size, 3u);
    EXPECT_EQ(std::vector<uint8_t>(a->data, a->data + 3), (std::vector<uint8_t>{1, 2, 3}));
    dynamic_array_destroy(a);
}

TEST(DynamicArray, ManyBytePushDoublesUntilItFits) {
    dynamic_array *a = dynamic_array_init(2);
    dynamic_array_push(a, 0xAA);
    std::vector<uint8_t> forty(40);
    for (size_t i = 0; i < forty.size(); ++i) forty[i] = static_cast<uint8_t>(i);
    dynamic_array_push_more_data(a, forty.data(), forty.size());
    EXPECT_EQ(a->capacity, 64u);  // 4, 8, 16, 32, 64
    EXPECT_EQ(a->size, 41u);
    EXPECT_EQ(a->data[0], 0xAA);
    EXPECT_EQ(a->data[40], 39);
    dynamic_array_destroy(a);
}

TEST(DynamicArray, ZeroCapacityAcceptsBothKindsOfPush) {
    dynamic_array *a = dynamic_array_init(0);
    ASSERT_NE(a, nullptr);
    dynamic_array_push(a, 7);  // doubling alone could never leave 0
    EXPECT_EQ(a->size, 1u);
    EXPECT_GE(a->capacity, 1u);
    dynamic_array_destroy(a);

    a = dynamic_array_init(0);
    const uint8_t three[] = {1, 2, 3};
    dynamic_array_push_more_data(a, three, 3);
    EXPECT_EQ(a->capacity, 16u);
    dynamic_array_push_more_data(a, three, 0);
    EXPECT_EQ(a->size, 3u);
    dynamic_array_destroy(a);
}

TEST(DynamicArray, FreeKeepsTheSizeAndClearsTheData) {
    dynamic_array *a = dynamic_array_init(2);
    dynamic_array_push_string(a, "SIZE");
    dynamic_array_free(a);
    EXPECT_EQ(a->data, nullptr);
    EXPECT_EQ(a->size, 4u);
    std::free(a);
}

TEST(DynamicArrayDeathTest, GrowthFailureEndsTheProcessWithStatusOne) {
    EXPECT_EXIT(
        {
            dynamic_array *a = dynamic_array_init(2);
            a->size = a->capacity = UINT64_MAX / 2 + 1;  // the next doubling cannot be represented
            dynamic_array_push(a, 1);
        },
        ::testing::ExitedWithCode(1), "Memory realloc failed!");
}

}  // namespace
