#include <gtest/gtest.h>

#include "engine/system/handle_table.h"
#include "engine/system/memory.h"

namespace {

struct Rec {
    EngineRecordHead head;
    int value;
};

struct Table {
    HandleTable t;
    explicit Table(int cap) { EXPECT_EQ(HandleTableInit(&t, HANDLE_SOUND, cap), 0); }
    ~Table() { HandleTableFree(&t); }
};

TEST(HandleTable, HandleCarriesTypeCheckAndSlot) {
    Table tab(8);
    Rec* r = nullptr;
    EngineHandle h = HandleTableAdd(&tab.t, sizeof(Rec), (void**)&r);
    ASSERT_GE(h, 0);
    EXPECT_EQ(HandleTypeOf(h), HANDLE_SOUND);
    EXPECT_EQ(HandleSlotOf(h), 0);
    EXPECT_EQ(HandleCheckOf(h), r->head.check);
    EXPECT_EQ(HandleTableGet(&tab.t, h), r);
    EXPECT_EQ(r->value, 0);  // zeroed
    EXPECT_EQ(HandleTableHandleAt(&tab.t, 0), h);
    EXPECT_EQ(HandleTableHandleAt(&tab.t, 1), -1);
    // Wrong type, wrong slot, negative value: refused.
    EXPECT_EQ(HandleTableGet(&tab.t, MakeHandle(HANDLE_GRAPHIC, HandleCheckOf(h), 0)), nullptr);
    EXPECT_EQ(HandleTableGet(&tab.t, MakeHandle(HANDLE_SOUND, HandleCheckOf(h), 1)), nullptr);
    EXPECT_EQ(HandleTableGet(&tab.t, MakeHandle(HANDLE_SOUND, HandleCheckOf(h), 9)), nullptr);
    EXPECT_EQ(HandleTableGet(&tab.t, -1), nullptr);
    EXPECT_EQ(HandleTableRemove(&tab.t, MakeHandle(HANDLE_SOUND, HandleCheckOf(h) + 1, 0)), -1);
    EXPECT_EQ(tab.t.count, 1);
}

TEST(HandleTable, StaleHandleRefusedAfterSlotReuse) {
    Table tab(4);
    EngineHandle old = HandleTableAdd(&tab.t, sizeof(Rec), nullptr, 1);
    ASSERT_EQ(HandleTableRemove(&tab.t, old), 0);
    EXPECT_EQ(HandleTableRemove(&tab.t, old), -1);
    EngineHandle fresh = HandleTableAdd(&tab.t, sizeof(Rec), nullptr, 1);
    ASSERT_EQ(HandleSlotOf(fresh), HandleSlotOf(old));
    EXPECT_NE(fresh, old);
    EXPECT_EQ(HandleTableGet(&tab.t, old), nullptr);
    EXPECT_NE(HandleTableGet(&tab.t, fresh), nullptr);
}

TEST(HandleTable, CheckCounterWrapsFrom2047To0) {
    Table tab(4);
    tab.t.next_check = 2047;
    EngineHandle a = HandleTableAdd(&tab.t, sizeof(Rec), nullptr);
    EngineHandle b = HandleTableAdd(&tab.t, sizeof(Rec), nullptr);
    EXPECT_EQ(HandleCheckOf(a), 2047);
    EXPECT_EQ(HandleCheckOf(b), 0);
    EXPECT_GE(a, 0);  // bit 31 stays clear for every type
    EXPECT_GE(MakeHandle(15, 2047, 0xFFFF), 0);
}

TEST(HandleTable, FullTableAndSlotChoice) {
    int blocks = MemLiveBlockCount();
    {
        Table tab(3);
        EngineHandle h[3];
        for (auto& x : h) x = HandleTableAdd(&tab.t, sizeof(Rec), nullptr);
        EXPECT_EQ(HandleTableAdd(&tab.t, sizeof(Rec), nullptr), -1);
        HandleTableRemove(&tab.t, h[0]);
        HandleTableRemove(&tab.t, h[1]);
        // The hint moves on past the last slot taken; lowest_free goes back to 0.
        EXPECT_EQ(HandleSlotOf(HandleTableAdd(&tab.t, sizeof(Rec), nullptr, 1)), 0);
        EXPECT_EQ(HandleSlotOf(HandleTableAdd(&tab.t, sizeof(Rec), nullptr)), 1);
        EXPECT_EQ(tab.t.count, 3);
    }
    EXPECT_EQ(MemLiveBlockCount(), blocks);  // freeing the table frees its records
}

TEST(HandleTable, AddAtKeepsAGivenCheckAndTakesTheCounterOnlyForMinusOne) {
    Table tab(4);
    tab.t.next_check = 7;
    EngineHandle kept = HandleTableAddAt(&tab.t, sizeof(Rec), nullptr, 2, 100);
    EXPECT_EQ(kept, MakeHandle(HANDLE_SOUND, 100, 2));
    EXPECT_EQ(tab.t.next_check, 7);
    EXPECT_EQ(HandleTableAddAt(&tab.t, sizeof(Rec), nullptr, 2, 5), -1);  // slot taken
    EXPECT_EQ(HandleTableAddAt(&tab.t, sizeof(Rec), nullptr, 4, 5), -1);  // past the table
    EXPECT_EQ(HandleTableAddAt(&tab.t, sizeof(Rec), nullptr, 1, -1), MakeHandle(HANDLE_SOUND, 7, 1));
    EXPECT_EQ(tab.t.next_check, 8);
    EXPECT_EQ(tab.t.count, 2);
}

}  // namespace
