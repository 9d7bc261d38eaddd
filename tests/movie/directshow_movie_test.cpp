// Movies through the platform's filter graph and the engine's movie renderer:
// a raw RGB24 AVI written by the test opens, binds to a graphic, shows its
// pixels the right way up, ends or loops at its stop position; files the graph
// cannot take fail cleanly.
#include "movie_test_util.h"

#include "avi_writer.h"
#include "engine/graphics/draw_graphic.h"
#include "engine/graphics/graphic_handle.h"
#include "engine/graphics/graphic_movie.h"
#include "engine/movie/filters/unknown.h"
#include "engine/movie/movie.h"
#include "engine/system/memory.h"
#include "graphics/graphics_test_util.h"

#include <dshow.h>

namespace {

// Frame n: top half red n x 20, bottom half blue, a green column at x = n.
uint32_t Pixel(int n, int x, int y) {
    if (x == n) return 0x00FF00;
    return y < 24 ? (uint32_t)(n * 20) << 16 : 0x0000C8;
}

class FilterGraphMovies : public GraphicsEngine, public ::testing::WithParamInterface<int> {
protected:
    int Hardware() const override { return GetParam(); }
    void SetUp() override {
        GraphicsEngine::SetUp();
        ASSERT_TRUE(WriteBytesToFile("clip.avi", avitest::MakeRgbAvi(64, 48, 10, 10, Pixel)));
    }
    void TearDown() override {
        GraphicsEngine::TearDown();
        EXPECT_EQ(0, GetMovieCount());
        EXPECT_EQ(0, D_CBaseObject::LiveObjectCount()) << "filter objects left alive";
    }
    // Runs the graph as a play operation would.
    static void Play(MovieRecord* m, bool loop) {
        m->play_type = loop ? 3 : 1;
        m->paused = 0;
        m->playing = 1;
        m->control->Run();
    }
    // Updates until the graphic shows frame n's green column or the wait ends.
    static bool WaitForFrame(int graphic, MovieRecord* m, int n, DWORD ms) {
        const DWORD start = GetTickCount();
        while (GetTickCount() - start < ms) {
            UpdateMovieFrame(GetGraphicMovie(graphic));
            if (m->image.pixels) {
                const uint8_t* row = (const uint8_t*)m->image.pixels + 10 * m->image.pitch;
                if (row[n * 3 + 1] == 0xFF && row[n * 3] == 0) return true;
            }
            Sleep(5);
        }
        return false;
    }
};

INSTANTIATE_TEST_SUITE_P(Modes, FilterGraphMovies, ::testing::Values(1, 0),
                         [](const ::testing::TestParamInfo<int>& i) { return i.param ? "Direct3D" : "Software"; });

TEST_P(FilterGraphMovies, AnAviOpensBindsAndShowsItsFramesTheRightWayUp) {
    int g = LoadGraphicFile("clip.avi");
    ASSERT_GE(g, 0);
    MovieRecord* m = GetMovieRecord(GetGraphicMovie(g));
    ASSERT_TRUE(m);
    EXPECT_EQ(0, m->theora);
    int w = 0, h = 0;
    GetGraphicSize(g, &w, &h);
    EXPECT_EQ(64, w);
    EXPECT_EQ(48, h);
    EXPECT_EQ(10000000, m->stop_position);
    // Opened paused: nothing new reaches the graphic.
    EXPECT_EQ(0, UpdateMovieFrame(GetGraphicMovie(g)));
    Play(m, false);
    ASSERT_TRUE(WaitForFrame(g, m, 3, 5000)) << "frame 3 never arrived";
    ClearScreen();
    DrawGraphic(0, 0, g, 0);
    Capture cap;
    const uint32_t at10 = cap.At(10, 5), at40 = cap.At(10, 40);
    EXPECT_GT((at10 >> 16) & 0xFF, 0u) << "top rows red";
    EXPECT_EQ(0u, at10 & 0xFF);
    EXPECT_TRUE(RgbNear(at40, 0, 0, 0xC8, 8)) << "bottom rows blue";
}

// The failure line is composed in 256 bytes: a long path is cut there.
TEST_P(FilterGraphMovies, ALongPathFailsWithItsMessageCut) {
    const std::string path = std::string(400, 'a') + ".avi";
    LogCapture log;
    EXPECT_EQ(-1, OpenMovie(path.c_str(), nullptr, nullptr, 0));
    EXPECT_TRUE(log.Contains(("ファイル:" + std::string(200, 'a')).c_str()));
    EXPECT_FALSE(log.Contains(std::string(300, 'a').c_str()));
    EXPECT_TRUE(log.Contains("ムービーファイルオープン処理時にエラーが発生しました"));
}

TEST_P(FilterGraphMovies, WithoutTheLoopBitItEndsAtTheStopPosition) {
    int g = LoadGraphicFile("clip.avi");
    ASSERT_GE(g, 0);
    MovieRecord* m = GetMovieRecord(GetGraphicMovie(g));
    Play(m, false);
    const DWORD start = GetTickCount();
    while (m->playing && GetTickCount() - start < 10000) {
        UpdateMovieFrame(GetGraphicMovie(g));
        Sleep(10);
    }
    EXPECT_EQ(0, m->playing);
    EXPECT_EQ(1, m->paused);
}

TEST_P(FilterGraphMovies, WithTheLoopBitItStartsAgain) {
    int g = LoadGraphicFile("clip.avi");
    ASSERT_GE(g, 0);
    MovieRecord* m = GetMovieRecord(GetGraphicMovie(g));
    Play(m, true);
    // The graph's position reaches the stop while the last frame may still be
    // on its way: frame 8 is the last one every pass shows.
    ASSERT_TRUE(WaitForFrame(g, m, 8, 5000));
    ASSERT_TRUE(WaitForFrame(g, m, 1, 5000)) << "no second pass";
    EXPECT_EQ(1, m->playing);
}

TEST_P(FilterGraphMovies, FilesTheGraphCannotRenderFailWithNothingLeft) {
    std::vector<uint8_t> junk(20000);
    for (size_t i = 0; i < junk.size(); i++) junk[i] = (uint8_t)(i * 131 + 7);
    ASSERT_TRUE(WriteBytesToFile("junk.avi", junk));
    const int blocks = MemLiveBlockCount();
    LogCapture log;
    EXPECT_EQ(-1, OpenMovie("junk.avi", nullptr, nullptr, 0));
    EXPECT_TRUE(log.Contains("ファイル:junk.avi が開けませんでした"));
    EXPECT_TRUE(log.Contains("ムービーファイルオープン処理時にエラーが発生しました"));
    EXPECT_EQ(0, D_CBaseObject::LiveObjectCount());
    EXPECT_EQ(blocks, MemLiveBlockCount());
    EXPECT_EQ(0, FileStreamOpenCount());
}

}  // namespace

namespace {

// The platform's graph, refusing to render any file whose name does not begin
// with "tmp": a stand-in for a file the graph cannot open where it lies.
class RefusingGraph : public IGraphBuilder {
public:
    explicit RefusingGraph(IGraphBuilder* real) : real_(real) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IFilterGraph) || IsEqualIID(iid, IID_IGraphBuilder)) {
            *out = this;
            AddRef();
            return S_OK;
        }
        return real_->QueryInterface(iid, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG n = --refs_;
        if (n == 0) {
            real_->Release();
            delete this;
        }
        return n;
    }
    HRESULT STDMETHODCALLTYPE RenderFile(LPCWSTR file, LPCWSTR list) override {
        const WCHAR* name = wcsrchr(file, L'\\');
        name = name ? name + 1 : file;
        if (_wcsnicmp(name, L"tmp", 3) != 0) return VFW_E_NOT_FOUND;
        rendered = file;
        return real_->RenderFile(file, list);
    }
    HRESULT STDMETHODCALLTYPE AddFilter(IBaseFilter* f, LPCWSTR n) override { return real_->AddFilter(f, n); }
    HRESULT STDMETHODCALLTYPE RemoveFilter(IBaseFilter* f) override { return real_->RemoveFilter(f); }
    HRESULT STDMETHODCALLTYPE EnumFilters(IEnumFilters** e) override { return real_->EnumFilters(e); }
    HRESULT STDMETHODCALLTYPE FindFilterByName(LPCWSTR n, IBaseFilter** f) override { return real_->FindFilterByName(n, f); }
    HRESULT STDMETHODCALLTYPE ConnectDirect(IPin* a, IPin* b, const AM_MEDIA_TYPE* t) override { return real_->ConnectDirect(a, b, t); }
    HRESULT STDMETHODCALLTYPE Reconnect(IPin* p) override { return real_->Reconnect(p); }
    HRESULT STDMETHODCALLTYPE Disconnect(IPin* p) override { return real_->Disconnect(p); }
    HRESULT STDMETHODCALLTYPE SetDefaultSyncSource() override { return real_->SetDefaultSyncSource(); }
    HRESULT STDMETHODCALLTYPE Connect(IPin* a, IPin* b) override { return real_->Connect(a, b); }
    HRESULT STDMETHODCALLTYPE Render(IPin* p) override { return real_->Render(p); }
    HRESULT STDMETHODCALLTYPE AddSourceFilter(LPCWSTR f, LPCWSTR n, IBaseFilter** o) override {
        return real_->AddSourceFilter(f, n, o);
    }
    HRESULT STDMETHODCALLTYPE SetLogFile(DWORD_PTR f) override { return real_->SetLogFile(f); }
    HRESULT STDMETHODCALLTYPE Abort() override { return real_->Abort(); }
    HRESULT STDMETHODCALLTYPE ShouldOperationContinue() override { return real_->ShouldOperationContinue(); }

    static std::wstring rendered;

private:
    IGraphBuilder* real_;
    ULONG refs_ = 1;
};
std::wstring RefusingGraph::rendered;

HRESULT (WINAPI* g_real_create)(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID*);

HRESULT WINAPI CreateRefusingGraph(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* out) {
    if (!IsEqualCLSID(clsid, CLSID_FilterGraph)) return g_real_create(clsid, outer, context, iid, out);
    IGraphBuilder* real = nullptr;
    HRESULT hr = g_real_create(clsid, outer, context, IID_IGraphBuilder, (void**)&real);
    if (FAILED(hr)) return hr;
    *out = static_cast<IGraphBuilder*>(new RefusingGraph(real));
    return S_OK;
}

bool FileExistsW(const std::wstring& path, uint64_t* size) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return false;
    *size = (uint64_t)data.nFileSizeHigh << 32 | data.nFileSizeLow;
    return true;
}

// 290 frames of 9216 bytes: over 2.5 MB, copied in three chunks.
TEST_P(FilterGraphMovies, AFileTheGraphCannotOpenInPlacePlaysFromATemporaryCopy) {
    std::vector<uint8_t> big = avitest::MakeRgbAvi(64, 48, 290, 10, Pixel);
    ASSERT_GT(big.size(), 2u * 1024 * 1024);
    ASSERT_TRUE(WriteBytesToFile("long.avi", big));
    g_real_create = WinApi.CoCreateInstance;
    WinApi.CoCreateInstance = CreateRefusingGraph;
    RefusingGraph::rendered.clear();
    int movie = OpenMovie("long.avi", nullptr, nullptr, 0);
    WinApi.CoCreateInstance = g_real_create;
    ASSERT_GE(movie, 0);
    MovieRecord* m = GetMovieRecord(movie);
    EXPECT_EQ(1, m->temp_copy);
    EXPECT_EQ(RefusingGraph::rendered, std::wstring(m->wide_path));
    uint64_t size = 0;
    ASSERT_TRUE(FileExistsW(m->wide_path, &size));
    EXPECT_EQ(big.size(), size) << "the whole file copied";
    EXPECT_EQ(64, m->width);
    const std::wstring copy = m->wide_path;
    EXPECT_EQ(0, CloseMovie(movie));
    EXPECT_FALSE(FileExistsW(copy, &size)) << "the copy goes with the movie";
}

}  // namespace
