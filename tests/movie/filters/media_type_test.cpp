// Media type value: copies, comparisons and wildcard matches.
#include "movie/filters/filter_test.h"

using namespace filtertest;

namespace {

TEST_F(FilterTest, MediaTypeCopyIsDeepAndEqual) {
    TestType a(MEDIATYPE_Audio, MEDIASUBTYPE_PCM, FORMAT_WaveFormatEx, 18, 7);
    D_CMediaType b;
    ASSERT_EQ(S_OK, b.Assign(a));
    EXPECT_NE(a.pbFormat, b.pbFormat);
    EXPECT_TRUE(b == a);
    b.pbFormat[17] = 8;
    EXPECT_TRUE(b != a) << "format bytes take part in the comparison";
    EXPECT_EQ(S_OK, b.Assign(b));
    AM_MEDIA_TYPE* block = CreateMediaTypeCopy(&a);
    ASSERT_NE(nullptr, block);
    EXPECT_TRUE(MediaTypeEquals(block, &a));
    DeleteMediaType(block);
    DeleteMediaType(nullptr);
}

TEST_F(FilterTest, MediaTypeWildcards) {
    TestType pcm(MEDIATYPE_Audio, MEDIASUBTYPE_PCM, FORMAT_WaveFormatEx, 4, 1);
    struct Case {
        TestType partial;
        bool matches, partialType;
    } cases[] = {
        {TestType(GUID_NULL, GUID_NULL), true, true},
        {TestType(MEDIATYPE_Audio, GUID_NULL), true, true},
        {TestType(MEDIATYPE_Video, GUID_NULL), false, true},
        {TestType(GUID_NULL, MEDIASUBTYPE_PCM), true, true},
        {TestType(GUID_NULL, MEDIASUBTYPE_MPEG1Audio), false, true},
        {TestType(MEDIATYPE_Audio, MEDIASUBTYPE_PCM, FORMAT_WaveFormatEx, 4, 1), true, false},
        {TestType(MEDIATYPE_Audio, MEDIASUBTYPE_PCM, FORMAT_WaveFormatEx, 4, 2), false, false},
        {TestType(MEDIATYPE_Audio, MEDIASUBTYPE_PCM, FORMAT_VideoInfo, 4, 1), false, false},
        {TestType(MEDIATYPE_Audio, GUID_NULL, FORMAT_WaveFormatEx, 4, 1), true, false},
    };
    for (size_t i = 0; i < sizeof cases / sizeof *cases; ++i) {
        EXPECT_EQ(cases[i].matches, MediaTypeMatchesPartial(&pcm, &cases[i].partial)) << "case " << i;
        EXPECT_EQ(cases[i].partialType, MediaTypeIsPartial(&cases[i].partial)) << "case " << i;
    }
}

static LPVOID WINAPI NoTaskMemory(SIZE_T) { return nullptr; }

TEST_F(FilterTest, ConnectionMediaTypeReportsAFailedCopy) {
    TestType pcm(MEDIATYPE_Audio, MEDIASUBTYPE_PCM, FORMAT_WaveFormatEx, 18, 1);
    auto* source = new TestSource;
    auto* sink = new TestSink;
    source->FilterInterface()->AddRef();
    sink->FilterInterface()->AddRef();
    source->offered = {&pcm};
    ASSERT_EQ(S_OK, source->pin->Connect(sink->pin, &pcm));

    AM_MEDIA_TYPE got;
    auto saved = WinApi.CoTaskMemAlloc;
    WinApi.CoTaskMemAlloc = NoTaskMemory;
    HRESULT hr = sink->pin->ConnectionMediaType(&got);
    WinApi.CoTaskMemAlloc = saved;
    EXPECT_EQ(E_OUTOFMEMORY, hr);
    EXPECT_EQ(nullptr, got.pbFormat);

    ASSERT_EQ(S_OK, sink->pin->ConnectionMediaType(&got));
    EXPECT_TRUE(MediaTypeEquals(&got, &pcm));
    FreeMediaTypeContents(&got);
    source->pin->Disconnect();
    sink->pin->Disconnect();
    EXPECT_EQ(VFW_E_NOT_CONNECTED, sink->pin->ConnectionMediaType(&got));
    EXPECT_EQ(1, got.lSampleSize);
    source->FilterInterface()->Release();
    sink->FilterInterface()->Release();
}

}  // namespace
