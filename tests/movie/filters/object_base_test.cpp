// Object base: reference counting, aggregation, the node cache, the OleAut32 handle.
#include "movie/filters/filter_test.h"

#include <algorithm>

#include "engine/movie/filters/base_list.h"

using namespace filtertest;

namespace {

// Calls a bare Release on itself while it is being destroyed.
class SelfReleasing : public D_CUnknown {
public:
    explicit SelfReleasing(int* deletions) : D_CUnknown("self releasing", nullptr), deletions_(deletions) {}
    ~SelfReleasing() override {
        ++*deletions_;
        AddRefInner();
        ReleaseInner();   // a balanced pair
        ReleaseInner();   // and a stray one, which must not delete again
    }
    int* deletions_;
};

TEST_F(FilterTest, ReleaseDuringDestructionDeletesOnce) {
    int deletions = 0;
    auto* obj = new SelfReleasing(&deletions);
    EXPECT_EQ(1u, obj->AddRefInner());
    EXPECT_EQ(0u, obj->ReleaseInner());
    EXPECT_EQ(1, deletions);
}

TEST_F(FilterTest, AggregatedFilterForwardsToOuterAndAnswersItsOwnUnknown) {
    FakeOuter outer;
    auto* sink = new TestSink(&outer);
    outer.inner = sink->NonDelegatingUnknown();
    sink->AddRefInner();

    IBaseFilter* f = nullptr;
    ASSERT_EQ(S_OK, outer.QueryInterface(IID_IBaseFilter, (void**)&f));
    EXPECT_EQ(2, outer.refs.load()) << "the interface's AddRef lands on the outer object";
    IUnknown* viaFilter = nullptr;
    ASSERT_EQ(S_OK, f->QueryInterface(IID_IUnknown, (void**)&viaFilter));
    EXPECT_EQ(static_cast<IUnknown*>(&outer), viaFilter) << "public QueryInterface goes to the owner";
    viaFilter->Release();
    f->Release();
    EXPECT_EQ(1, outer.refs.load());

    IUnknown* own = nullptr;
    ASSERT_EQ(S_OK, sink->QueryInterfaceInner(IID_IUnknown, (void**)&own));
    EXPECT_EQ(sink->NonDelegatingUnknown(), own);
    own->Release();
    void* none = &outer;
    EXPECT_EQ(E_NOINTERFACE, sink->QueryInterfaceInner(IID_IDispatch, &none));
    EXPECT_EQ(nullptr, none);
    EXPECT_EQ(E_POINTER, sink->QueryInterfaceInner(IID_IUnknown, nullptr));
    sink->ReleaseInner();
}

TEST_F(FilterTest, PinsShareTheirFilterCount) {
    auto* sink = new TestSink;
    IBaseFilter* f = sink->FilterInterface();
    f->AddRef();
    IPin* pin = nullptr;
    ASSERT_EQ(S_OK, f->FindPin(L"In", &pin));
    EXPECT_EQ(3u, f->AddRef());
    f->Release();
    pin->Release();
    f->Release();   // the last reference, through the filter: pin goes with it
}

TEST(BaseList, NodeCacheReusesAndCapsAtTen) {
    D_CBaseList list;
    int objects[12];
    std::vector<D_CBaseList::Position> nodes;
    for (int& o : objects) nodes.push_back(list.AddTail(&o));
    EXPECT_EQ(12, list.Count());
    for (int i = 0; i < 11; ++i) list.RemoveHead();
    EXPECT_EQ(10, list.CachedCount()) << "the eleventh node is freed, not cached";
    D_CBaseList::Position reused = list.AddTail(&objects[0]);
    EXPECT_NE(nodes.end(), std::find(nodes.begin(), nodes.end(), reused));
    EXPECT_EQ(9, list.CachedCount());

    EXPECT_EQ(nullptr, list.Find(&objects[5]));
    D_CBaseList::Position pos = nullptr;
    EXPECT_EQ(nullptr, list.GetNext(pos));
    EXPECT_EQ(nullptr, pos);
    pos = list.Head();
    EXPECT_EQ(&objects[11], list.GetNext(pos));
    EXPECT_EQ(&objects[0], list.GetNext(pos));
    EXPECT_EQ(nullptr, pos);
    EXPECT_EQ(nullptr, list.Remove(nullptr));

    D_CBaseList copy;
    EXPECT_TRUE(copy.AddTail(list));
    EXPECT_EQ(2, copy.Count());
    copy.RemoveAll();
    EXPECT_EQ(0, copy.Count());
    EXPECT_EQ(nullptr, copy.Head());
}

TEST_F(FilterTest, LastObjectUnloadsOleAut32) {
    FilterOleAut32Module = LoadLibraryA("OleAut32.dll");
    ASSERT_NE(nullptr, FilterOleAut32Module);
    auto* sink = new TestSink;
    sink->AddRefInner();
    EXPECT_NE(nullptr, FilterOleAut32Module);
    sink->ReleaseInner();
    EXPECT_EQ(nullptr, FilterOleAut32Module);
}

}  // namespace
