// Movies through the platform's filter graph and the engine's movie renderer:
// a raw RGB24 AVI written by the test opens, binds to a graphic, shows its
// pixels the right way up, loops or ends at its stop position; files the graph
// cannot take fail cleanly or play from a temporary copy.
#include "movie_test_util.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "avi_writer.h"
#include "engine/graphics/d3d_device.h"
#include "engine/graphics/draw_graphic.h"
#include "engine/graphics/graphic_handle.h"
#include "engine/graphics/graphic_movie.h"
#include "engine/movie/filters/unknown.h"
#include "engine/movie/movie.h"
#include "engine/movie/movie_internal.h"
#include "engine/system/memory.h"
#include "graphics/graphics_test_util.h"
#include "support/graph_stand_in.h"

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
    // Runs the movie as a play operation would.
    static void Play(MovieRecord* m, int play_type) {
        m->play_type = play_type;
        m->paused = 0;
        m->playing = 1;
        m->control->Run();
    }
    // Updates until the graphic shows frame n's green column or the wait ends.
    static bool WaitForFrame(int graphic, MovieRecord* m, int n, DWORD ms) {
        for (const DWORD start = GetTickCount(); GetTickCount() - start < ms; Sleep(5)) {
            UpdateMovieFrame(GetGraphicMovie(graphic));
            const uint8_t* row = (const uint8_t*)m->image.pixels + 10 * m->image.pitch;
            if (m->image.pixels && row[n * 3 + 1] == 0xFF && row[n * 3] == 0) return true;
        }
        return false;
    }
};

INSTANTIATE_TEST_SUITE_P(Modes, FilterGraphMovies, ::testing::Values(1, 0),
                         [](const ::testing::TestParamInfo<int>& i) { return i.param ? "Direct3D" : "Software"; });

TEST_P(FilterGraphMovies, AnAviShowsItsFramesTheRightWayUpLoopsAndEnds) {
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
    EXPECT_EQ(nullptr, m->image.pixels);
    Play(m, 1 | MOVIE_PLAY_LOOP_BIT);
    ASSERT_TRUE(WaitForFrame(g, m, 3, 5000)) << "frame 3 never arrived";
    ClearScreen();
    DrawGraphic(0, 0, g, 0);
    {
        Capture cap;
        EXPECT_GT((cap.At(10, 5) >> 16) & 0xFF, 0u) << "top rows red";
        EXPECT_EQ(0u, cap.At(10, 5) & 0xFF);
        EXPECT_TRUE(RgbNear(cap.At(10, 40), 0, 0, 0xC8, 8)) << "bottom rows blue";
    }
    // The position reaches the stop while the last frame may still be on its
    // way: frame 8 is the last one every pass shows.
    ASSERT_TRUE(WaitForFrame(g, m, 8, 5000));
    ASSERT_TRUE(WaitForFrame(g, m, 1, 5000)) << "no second pass";
    EXPECT_EQ(1, m->playing);
    m->play_type = 1;
    for (DWORD start = GetTickCount(); m->playing && GetTickCount() - start < 10000; Sleep(10))
        UpdateMovieFrame(GetGraphicMovie(g));
    EXPECT_EQ(0, m->playing) << "without the loop bit it ends at the stop";
    EXPECT_EQ(1, m->paused);
}

// A looping movie with a sound track keeps looping and closes at once.
TEST_P(FilterGraphMovies, ALoopingMovieWithSoundLoopsAndCloses) {
    ASSERT_TRUE(WriteBytesToFile("sound.avi", avitest::MakeRgbAvi(64, 48, 10, 10, Pixel, 22050)));
    int g = LoadGraphicFile("sound.avi");
    ASSERT_GE(g, 0);
    MovieRecord* m = GetMovieRecord(GetGraphicMovie(g));
    ASSERT_TRUE(m);
    Play(m, 1 | MOVIE_PLAY_LOOP_BIT);
    ASSERT_TRUE(WaitForFrame(g, m, 8, 5000));
    EXPECT_TRUE(WaitForFrame(g, m, 1, 5000)) << "no second pass";
    EXPECT_TRUE(RunWithTimeout([&] { EXPECT_EQ(0, DeleteGraphic(g, 0)); }, 10000)) << "closing hangs";
}

// The movie closed under its graphic: the graphic takes no more frames and
// keeps its last frame, also across a device reset.
TEST_P(FilterGraphMovies, AGraphicOutlivesItsClosedMovie) {
    int g = LoadGraphicFile("clip.avi");
    ASSERT_GE(g, 0);
    MovieRecord* m = GetMovieRecord(GetGraphicMovie(g));
    ASSERT_TRUE(m);
    Play(m, 1);
    ASSERT_TRUE(WaitForFrame(g, m, 3, 5000));
    EXPECT_EQ(0, CloseMovie(GetGraphicMovie(g)));
    EXPECT_EQ(0, GetGraphicMovie(g)) << "unbound";
    for (bool reset : {false, true}) {
        if (reset) {
            ForceGraphicsDeviceLossForTest();
            PresentScreen();
            EXPECT_EQ(0, IsDrawingSuppressed());
        }
        ClearScreen();
        DrawGraphic(0, 0, g, 0);
        Capture cap;
        EXPECT_TRUE(RgbNear(cap.At(10, 40), 0, 0, 0xC8, 8)) << "the last frame stays; reset " << reset;
        EXPECT_EQ(0xFFu, (cap.At(3, 40) >> 8) & 0xFF) << "frame 3's green column; reset " << reset;
    }
    EXPECT_EQ(0, DeleteGraphic(g, 0));
}

// Random bytes, and a path whose failure line must be cut at 256 bytes: the
// open fails with its lines and leaves nothing behind.
TEST_P(FilterGraphMovies, FilesTheGraphCannotRenderFailWithNothingLeft) {
    std::vector<uint8_t> junk(20000);
    for (size_t i = 0; i < junk.size(); i++) junk[i] = (uint8_t)(i * 131 + 7);
    ASSERT_TRUE(WriteBytesToFile("junk.avi", junk));
    struct Case { std::string path, line, absent; } cases[] = {
        // The two lines go to the log as they are, with no line end added.
        {"junk.avi", "ファイル:junk.avi が開けませんでしたムービーファイルオープン処理時にエラーが発生しました", ""},
        {std::string(400, 'a') + ".avi", "ファイル:" + std::string(200, 'a'), std::string(300, 'a')},
    };
    for (const Case& c : cases) {
        const int blocks = MemLiveBlockCount();
        LogCapture log;
        EXPECT_EQ(-1, OpenMovie(c.path.c_str(), nullptr, nullptr, 0));
        EXPECT_TRUE(log.Contains(c.line.c_str())) << c.line;
        EXPECT_TRUE(c.absent.empty() || !log.Contains(c.absent.c_str())) << "not cut";
        EXPECT_TRUE(log.Contains("ムービーファイルオープン処理時にエラーが発生しました"));
        EXPECT_EQ(0, D_CBaseObject::LiveObjectCount());
        EXPECT_EQ(blocks, MemLiveBlockCount());
        EXPECT_EQ(0, FileStreamOpenCount());
    }
}

// RenderFile refusing every name that does not begin with "tmp": a stand-in
// for a file the platform's graph cannot open where it lies.
typedef HRESULT(STDMETHODCALLTYPE* RenderFileFn)(IGraphBuilder*, LPCWSTR, LPCWSTR);
const int kRenderFileSlot = 13;
std::wstring g_rendered;

HRESULT STDMETHODCALLTYPE RefuseRenderFile(IGraphBuilder* self, LPCWSTR file, LPCWSTR list) {
    const WCHAR* name = wcsrchr(file, L'\\');
    if (_wcsnicmp(name ? name + 1 : file, L"tmp", 3) != 0) return VFW_E_NOT_FOUND;
    g_rendered = file;
    return ((RenderFileFn)graphtest::g_stand_in.original)(self, file, list);
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
    g_rendered.clear();
    int movie;
    {
        graphtest::StandIn refuse(kRenderFileSlot, (void*)RefuseRenderFile);
        movie = OpenMovie("long.avi", nullptr, nullptr, 0);
    }
    ASSERT_GE(movie, 0);
    MovieRecord* m = GetMovieRecord(movie);
    EXPECT_EQ(1, m->temp_copy);
    EXPECT_EQ(g_rendered, std::wstring(m->wide_path));
    uint64_t size = 0;
    ASSERT_TRUE(FileExistsW(m->wide_path, &size));
    EXPECT_EQ(big.size(), size) << "the whole file copied";
    EXPECT_EQ(64, m->width);
    const std::wstring copy = m->wide_path;
    EXPECT_EQ(0, CloseMovie(movie));
    EXPECT_FALSE(FileExistsW(copy, &size)) << "the copy goes with the movie";
}

}  // namespace

namespace {

// Broken files end in -1 with their log lines within the time limit, leave no
// filter object, tracked block or open file, and the AVI after them still opens.
class HostileMovies : public FilterGraphMovies {
protected:
    void TearDown() override {
        SetMovieRenderTimeLimit(10000);
        FilterGraphMovies::TearDown();
    }
    static int OpenWithin(const std::string& path, DWORD ms) {
        int result = 0;
        bool done = graphtest::RunComWithTimeout([&] { result = OpenMovie(path.c_str(), nullptr, nullptr, 0); }, ms);
        EXPECT_TRUE(done) << path << " hangs";
        return done ? result : 0;
    }
    void ExpectNothingLeft(int blocks) {
        EXPECT_EQ(0, D_CBaseObject::LiveObjectCount());
        EXPECT_EQ(blocks, MemLiveBlockCount());
        EXPECT_EQ(0, FileStreamOpenCount());
        EXPECT_EQ(0, GetMovieCount());
    }
    void ExpectAGoodFileOpens() {
        int g = LoadGraphicFile("clip.avi");
        ASSERT_GE(g, 0) << "a good file after the broken ones";
        int w = 0, h = 0;
        GetGraphicSize(g, &w, &h);
        EXPECT_EQ(64, w);
        EXPECT_EQ(0, DeleteGraphic(g, 0));
    }
};

INSTANTIATE_TEST_SUITE_P(Modes, HostileMovies, ::testing::Values(1, 0),
                         [](const ::testing::TestParamInfo<int>& i) { return i.param ? "Direct3D" : "Software"; });

// Theora streams whose headers parse but that hold no frame we can show: the
// platform's parsers hang on them (the oversized one crashes the process), so
// they never get there.
TEST_P(HostileMovies, TheoraMoviesOurDecoderRefusesNeverReachTheGraph) {
    TheoraMovieRecipe none;
    none.frames = 0;
    const std::vector<uint8_t> headers = MakeTheoraMovie(none);
    std::vector<uint8_t> noise = headers;
    for (int i = 0; i < 5000; i++) noise.push_back((uint8_t)(i * 131 + 7 + (i >> 7)));
    TheoraMovieRecipe huge;
    huge.frames = 2;
    huge.forced_width_mbs = huge.forced_height_mbs = 4096;  // 65536 x 65536
    struct Case { const char* name; std::vector<uint8_t> bytes; const char* line; } cases[] = {
        {"headers_only.ogv", headers, "Theora ムービーにフレームがありません"},
        {"cut.ogv", std::vector<uint8_t>(headers.begin(), headers.end() - 1), "End of file while searching"},
        {"noise.ogv", noise, "Theora ムービーにフレームがありません"},
        {"huge.ogv", MakeTheoraMovie(huge), "フレームサイズが扱えません"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(WriteBytesToFile(c.name, c.bytes));
        const int blocks = MemLiveBlockCount();
        LogCapture log;
        EXPECT_EQ(-1, LoadGraphicFile(c.name));
        EXPECT_EQ(-1, OpenMovie(c.name, nullptr, nullptr, 0));
        EXPECT_TRUE(log.Contains(c.line));
        EXPECT_TRUE(log.Contains("ムービーファイルオープン処理時にエラーが発生しました"));
        EXPECT_FALSE(log.Contains("が開けませんでした") || log.Contains("制限時間")) << "handed to the graph";
        ExpectNothingLeft(blocks);
    }
    ExpectAGoodFileOpens();
}

// AVI frame sizes that the platform's AVI parser refuses and that the parsers
// the graph builder tries next never return on: refused in a graph of the
// platform's own, before ours is built.
TEST_P(HostileMovies, AvisTheirParserRefusesGoNoFurther) {
    const struct { int width, height; } sizes[] = {{0, 48}, {64, INT_MIN}, {65535, 65535}};
    for (const auto& s : sizes) {
        SCOPED_TRACE(::testing::Message() << s.width << " x " << s.height);
        std::vector<uint8_t> avi = avitest::MakeRgbAvi(64, 48, 2, 10, Pixel);
        auto strf = std::search(avi.begin(), avi.end(), "strf", "strf" + 4);
        ASSERT_NE(avi.end(), strf);
        std::memcpy(&strf[12], &s.width, 4);   // biWidth, biHeight
        std::memcpy(&strf[16], &s.height, 4);
        ASSERT_TRUE(WriteBytesToFile("bad.avi", avi));
        const int blocks = MemLiveBlockCount();
        LogCapture log;
        EXPECT_EQ(-1, OpenWithin("bad.avi", 20000));
        EXPECT_TRUE(log.Contains("ファイル:bad.avi が開けませんでした"));
        EXPECT_TRUE(log.Contains("ムービーファイルオープン処理時にエラーが発生しました"));
        ExpectNothingLeft(blocks);
    }
    ExpectAGoodFileOpens();
}

HANDLE g_release;

HRESULT STDMETHODCALLTYPE RenderFileUntilReleased(IGraphBuilder*, LPCWSTR, LPCWSTR) {
    WaitForSingleObject(g_release, INFINITE);
    return E_FAIL;
}

// A render that never returns is left behind at the limit and the engine goes
// on; what it holds (the graph and our renderer in it) goes once it returns.
TEST_P(HostileMovies, ARenderThatNeverReturnsIsLeftBehindAtTheLimit) {
    // The first graph of the process starts the platform's parsers, which takes longer than the limit.
    ExpectAGoodFileOpens();
    const DWORD kLimitMs = 1000;
    SetMovieRenderTimeLimit(kLimitMs);
    g_release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const int blocks = MemLiveBlockCount();
    LogCapture log;
    const DWORD start = GetTickCount();
    {
        graphtest::StandIn never(kRenderFileSlot, (void*)RenderFileUntilReleased);
        EXPECT_EQ(-1, OpenWithin("clip.avi", 20000));
    }
    EXPECT_LT(GetTickCount() - start, kLimitMs * 4) << "generous: the limit and the threads' start";
    EXPECT_TRUE(log.Contains("ファイル:clip.avi の解析が制限時間内に終わりませんでした"));
    EXPECT_EQ(blocks, MemLiveBlockCount());
    EXPECT_EQ(0, GetMovieCount());
    ExpectAGoodFileOpens();
    EXPECT_GT(D_CBaseObject::LiveObjectCount(), 0) << "the graph left behind holds the renderer";
    SetEvent(g_release);
    EXPECT_TRUE(graphtest::WaitForNoLiveObjects(10000)) << "freed once the render returned";
    CloseHandle(g_release);
}

}  // namespace
