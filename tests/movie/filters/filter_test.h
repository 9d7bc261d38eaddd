// Fixture of every filter test: COM up, and no filter object left alive after the test.
#pragma once
#include <gtest/gtest.h>

#include "movie/filters/com_kit.h"

namespace filtertest {

class FilterTest : public ::testing::Test {
protected:
    void SetUp() override {
        LoadPlatformEntryPoints();
        ASSERT_TRUE(WinApi.CoInitialize != nullptr);
        WinApi.CoInitialize(nullptr);
    }
    void TearDown() override {
        EXPECT_EQ(0, D_CBaseObject::LiveObjectCount()) << "filter objects left alive";
        WinApi.CoUninitialize();
    }
};

}  // namespace filtertest
