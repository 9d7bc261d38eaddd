// Movie handles with the engine started, in Direct3D and software mode: opened
// through the graphics loader, bound to a graphic, driven by the clock, paused
// by deactivation, closed with the graphic or at engine end.
#include "movie_test_util.h"

#include "engine/graphics/d3d_device.h"
#include "engine/graphics/draw_graphic.h"
#include "engine/graphics/graphic_handle.h"
#include "engine/graphics/graphic_movie.h"
#include "engine/movie/movie.h"
#include "engine/movie/theora_internal.h"
#include "engine/sound/sound.h"
#include "engine/system/memory.h"
#include "engine/system/tick.h"
#include "graphics/graphics_test_util.h"

namespace {

class MovieHandles : public GraphicsEngine, public ::testing::WithParamInterface<int> {
protected:
    int Hardware() const override { return GetParam(); }
    void SetUp() override {
        GraphicsEngine::SetUp();
        TheoraMovieRecipe s;
        s.frames = 30;
        s.keyframe_interval = 8;
        path_ = WriteMovie("clip.ogv", s);
    }
    void TearDown() override {
        GraphicsEngine::TearDown();
        EXPECT_EQ(0, GetMovieCount()) << "movies left after engine end";
        EXPECT_EQ(0, FileStreamOpenCount()) << "files left open";
    }
    // The movie bound to a graphic made from the file.
    MovieRecord* Load(int* graphic, const std::string& path = "clip.ogv") {
        *graphic = LoadGraphicFile(path.c_str());
        EXPECT_GE(*graphic, 0);
        return *graphic < 0 ? nullptr : GetMovieRecord(GetGraphicMovie(*graphic));
    }
    // As a play operation would: running, frame 0 due `frames_ago` frames ago.
    static void PlayFrom(MovieRecord* m, double frames_ago, double fps = 30.0) {
        m->paused = 0;
        m->playing = 1;
        m->time_base = GetTickUs(0) - (int64_t)(frames_ago * 1000000.0 / fps);
    }
    // The grey of the graphic drawn at (200, 100), read back from the screen.
    int DrawnGrey(int graphic) {
        ClearScreen();
        bool done = RunWithTimeout([&] { DrawGraphic(200, 100, graphic, 0); }, 15000);
        EXPECT_TRUE(done) << "drawing a movie graphic hangs";
        Capture cap;
        return (int)((cap.At(250, 130) >> 8) & 0xFF);
    }
    // The screen's 5-6-5 steps, and in Direct3D the device's own YUV conversion.
    int Tolerance() const { return Hardware() ? 14 : 8; }
    std::string path_;
};

INSTANTIATE_TEST_SUITE_P(Modes, MovieHandles, ::testing::Values(1, 0),
                         [](const ::testing::TestParamInfo<int>& i) { return i.param ? "Direct3D" : "Software"; });

// Opened paused on frame 0, bound to a graphic of the coded size; then the
// clock drives the frames, loops and ends the movie.
TEST_P(MovieHandles, LoadGraphicFileBindsAMovieThatTheClockDrives) {
    int g;
    MovieRecord* m = Load(&g);
    ASSERT_TRUE(m);
    int w = 0, h = 0;
    GetGraphicSize(g, &w, &h);
    EXPECT_EQ(112, w);
    EXPECT_EQ(64, h);
    EXPECT_EQ(1, m->theora);
    EXPECT_EQ(1, m->paused);
    EXPECT_EQ(0, m->playing);
    EXPECT_EQ(-1, m->audio);
    EXPECT_NEAR(GreyOfLuma(FlatLuma(0)), DrawnGrey(g), Tolerance());
    EXPECT_EQ(1, m->frame_updated);
    struct Case { double frames_ago; int loop; int shown; int playing_after; } cases[] = {
        {5.5, 0, 5, 1}, {12.5, 0, 12, 1}, {3.5, 0, 3, 1},      // back in time wraps forward through the end
        {75.5, 2, 15, 1},                                       // 2.5 x 30 with the loop bit: frame 15
        {400.5, 0, 29, 0},                                      // past the end without it: last frame, ended
    };
    for (const Case& c : cases) {
        m->play_type = 1 | c.loop;
        PlayFrom(m, c.frames_ago);
        EXPECT_NEAR(GreyOfLuma(FlatLuma(c.shown)), DrawnGrey(g), Tolerance()) << c.frames_ago;
        EXPECT_EQ(c.shown, GetTheoraCurrentFrame(m->decoder)) << c.frames_ago;
        UpdateMovieFrame(GetGraphicMovie(g));  // the end shows once the last frame is current
        EXPECT_EQ(c.playing_after, m->playing) << c.frames_ago;
        EXPECT_EQ(!c.playing_after, m->paused) << c.frames_ago;
    }
    // Left open, with a second movie that has no graphic: the engine's end
    // (TearDown) must close both.
    EXPECT_GE(OpenMovie(path_.c_str(), nullptr, nullptr, 0), 0);
}

TEST_P(MovieHandles, DeactivationPausesAndActivationResumesWhereItStood) {
    // Two frames a second: the resume lands inside the frame it left.
    TheoraMovieRecipe s;
    s.frames = 30;
    s.fps_num = 2;
    int g;
    MovieRecord* m = Load(&g, WriteMovie("slowclip.ogv", s));
    ASSERT_TRUE(m);
    const int movie = GetGraphicMovie(g);
    PlayFrom(m, 7.05, 2.0);
    UpdateMovieFrame(movie);
    ASSERT_EQ(7, GetTheoraCurrentFrame(m->decoder));
    SendMessageA(GetMainWindow(), WM_ACTIVATEAPP, 0, 0);
    EXPECT_EQ(1, m->paused);
    EXPECT_EQ(1, m->playing) << "a system pause keeps the movie meant to play";
    Sleep(700);  // more than a frame's time passes while paused
    SendMessageA(GetMainWindow(), WM_ACTIVATEAPP, 1, 0);
    EXPECT_EQ(0, m->paused);
    UpdateMovieFrame(movie);
    EXPECT_EQ(7, GetTheoraCurrentFrame(m->decoder)) << "resumed where it was paused";

    // A pause of the user's own is not undone by activation.
    EXPECT_EQ(0, PauseMovie(movie, 0));
    EXPECT_EQ(0, m->playing);
    EXPECT_EQ(0, PauseMovie(movie, 1)) << "already paused: nothing changes";
    EXPECT_EQ(0, m->playing);
    SendMessageA(GetMainWindow(), WM_ACTIVATEAPP, 1, 0);
    EXPECT_EQ(1, m->paused);
}

TEST_P(MovieHandles, DeletingTheGraphicClosesTheMovieAndFreesEverything) {
    const int blocks = MemLiveBlockCount();
    int g;
    MovieRecord* m = Load(&g);
    ASSERT_TRUE(m);
    const int movie = GetGraphicMovie(g);
    PlayFrom(m, 20.5);
    DrawnGrey(g);
    ASSERT_TRUE(RunWithTimeout([&] { EXPECT_EQ(0, DeleteGraphic(g, 0)); }, 15000)) << "close hangs";
    // The closed handle, and one of another type, are refused everywhere.
    for (int h : {movie, (movie & ~0x78000000) | (HANDLE_GRAPHIC << 27)}) {
        EXPECT_EQ(nullptr, GetMovieRecord(h));
        EXPECT_EQ(-1, UpdateMovieFrame(h));
        EXPECT_EQ(-1, PauseMovie(h, 0));
        EXPECT_EQ(-1, SetMovieFrameCallback(h, nullptr, 0));
        EXPECT_EQ(-1, DrawOverlayMovie(0, 0, 1, h, 1));
        EXPECT_EQ(-1, CloseMovie(h));
    }
    EXPECT_EQ(0, GetMovieCount());
    EXPECT_EQ(0, FileStreamOpenCount());
    EXPECT_EQ(blocks, MemLiveBlockCount());
}

// Files that are no movie fail the load and the open, with their log line,
// leaving no file open and spending no check number; with 100 movies open the
// next open fails silently, and a closed slot is the next one taken.
TEST_P(MovieHandles, FailedOpensLeaveNothingBehind) {
    ASSERT_TRUE(WriteBytesToFile("notamovie.bin", std::vector<uint8_t>(3000, 0x11)));
    std::vector<int> movies = {OpenMovie(path_.c_str(), nullptr, nullptr, 0)};
    struct Case { const char* path; const char* log; } cases[] = {
        {"missing.ogv", "missing.ogv"},
        {"notamovie.bin", "ムービーファイルオープン処理時にエラーが発生しました"},
    };
    for (const Case& c : cases) {
        LogCapture log;
        EXPECT_EQ(-1, LoadGraphicFile(c.path)) << c.path;
        EXPECT_EQ(-1, OpenMovie(c.path, nullptr, nullptr, 0)) << c.path;
        EXPECT_TRUE(log.Contains(c.log)) << c.path;
    }
    EXPECT_EQ(1, GetMovieCount());
    EXPECT_EQ(1, FileStreamOpenCount());
    while (movies.size() < MOVIE_HANDLE_MAX) {
        movies.push_back(OpenMovie(path_.c_str(), nullptr, nullptr, 0));
        ASSERT_GE(movies.back(), 0) << "open " << movies.size();
    }
    EXPECT_EQ(HandleCheckOf(movies[0]) + 1, HandleCheckOf(movies[1])) << "a failed open takes no check number";
    {
        LogCapture log;
        EXPECT_EQ(-1, OpenMovie(path_.c_str(), nullptr, nullptr, 0));
        EXPECT_FALSE(log.Contains("OpenMovie") || log.Contains("ムービー")) << "a full table writes nothing";
    }
    EXPECT_EQ(0, CloseMovie(movies[42]));
    int again = OpenMovie(path_.c_str(), nullptr, nullptr, 0);
    EXPECT_EQ(42, again & 0xFFFF) << "the lowest free slot";
    EXPECT_NE(movies[42], again) << "a new check number";
    EXPECT_EQ(0, CloseAllMovies());
}

// The Vorbis track is the clock: frames follow its play time and stop at the
// last one when the video is shorter, loop bit or not.
TEST_P(MovieHandles, FramesFollowTheAudioTrackAndStopAtTheLast) {
    TheoraMovieRecipe s;
    s.frames = 12;  // 0.4 s of video over 1.5 s of sound
    s.audio_ms = 1500;
    std::string path = WriteMovie("talking.ogv", s);
    const int whole = LoadSoundFile(path.c_str(), 1, -1);
    EXPECT_NEAR(1500, GetSoundHandleLengthMs(whole), 50) << "its sound loads whole as a sound of its own";
    DeleteSoundHandle(whole);
    int movie = OpenMovie(path.c_str(), nullptr, nullptr, 0);
    ASSERT_GE(movie, 0);
    MovieRecord* m = GetMovieRecord(movie);
    ASSERT_NE(-1, m->audio) << "the Vorbis track loads as a stream sound";
    m->play_type = 1 | MOVIE_PLAY_LOOP_BIT;
    m->playing = 1;
    ASSERT_EQ(0, ResumeSystemPausedMovies());
    EXPECT_EQ(1, IsSoundHandlePlaying(m->audio));
    bool followed = true;
    for (int i = 0; i < 20; i++) {
        const int before = GetSoundHandlePlayTime(m->audio) * 30 / 1000;
        UpdateMovieFrame(movie);
        const int after = GetSoundHandlePlayTime(m->audio) * 30 / 1000;
        const int frame = GetTheoraCurrentFrame(m->decoder);
        if (frame < (before < 11 ? before : 11) || frame > (after < 11 ? after : 11)) followed = false;
        Sleep(15);
    }
    EXPECT_TRUE(followed);
    for (DWORD start = GetTickCount(); GetSoundHandlePlayTime(m->audio) < 600 && GetTickCount() - start < 5000;)
        Sleep(10);
    UpdateMovieFrame(movie);
    EXPECT_EQ(11, GetTheoraCurrentFrame(m->decoder)) << "no wrap on the audio clock";
    EXPECT_EQ(1, m->playing) << "the end shows only on the clock";
    EXPECT_EQ(0, PauseMovie(movie, 0));
    EXPECT_EQ(0, IsSoundHandlePlaying(m->audio));
    EXPECT_EQ(0, CloseMovie(movie));
}

// One frame every 1000 s: frame 3 lies 50 minutes after frame 0, past what a
// 32-bit count of microseconds holds.
TEST_P(MovieHandles, ResumingLateInALongMovieKeepsItsFrame) {
    TheoraMovieRecipe s;
    s.frames = 5;
    s.fps_num = 1, s.fps_den = 1000;
    std::string path = WriteMovie("slow.ogv", s);
    int movie = OpenMovie(path.c_str(), nullptr, nullptr, 0);
    ASSERT_GE(movie, 0);
    MovieRecord* m = GetMovieRecord(movie);
    AdvanceTheoraFrames(m->decoder, 3);
    m->playing = 1;  // system-paused while playing
    ASSERT_EQ(0, ResumeSystemPausedMovies());
    EXPECT_EQ(0, m->paused);
    EXPECT_NEAR(3000.0, (GetTickUs(0) - m->time_base) / 1e6, 5.0);
    UpdateMovieFrame(movie);
    EXPECT_EQ(3, GetTheoraCurrentFrame(m->decoder));
    EXPECT_EQ(0, CloseMovie(movie));
}

// Flat luma FlatLuma(n) with blue difference 100 and red difference 180.
void FlatWithChroma(int n, const YuvFrame& f) {
    for (int y = 0; y < f.height; y++) memset(f.y + y * f.y_stride, FlatLuma(n), f.width);
    for (int y = 0; y < f.uv_height; y++) {
        memset(f.u + y * f.uv_stride, 100, f.uv_width);
        memset(f.v + y * f.uv_stride, 180, f.uv_width);
    }
}

// YUV surfaces exist only with Direct3D.
class MovieSurfaces : public MovieHandles {};
INSTANTIATE_TEST_SUITE_P(Direct3D, MovieSurfaces, ::testing::Values(1));

// Flat frames with distinct chroma: the plane order of YV12 and the packing of
// YUY2 and UYVY (each put in the YV12 surface's place) show in the bytes.
TEST_P(MovieSurfaces, YuvSurfacesHoldThePlanesOfTheCurrentFrame) {
    TheoraMovieRecipe s;
    s.frames = 12;
    s.fill = FlatWithChroma;
    int movie = OpenMovie(WriteMovie("chroma.ogv", s).c_str(), nullptr, nullptr, 0);
    ASSERT_GE(movie, 0);
    TheoraDecoder* dec = GetMovieRecord(movie)->decoder;
    ASSERT_EQ((uint32_t)MAKEFOURCC('Y', 'V', '1', '2'), GetTheoraYuvSurfaceFormat(dec));
    for (const char* fourcc : {"YV12", "YUY2", "UYVY"}) {
        const D3DFORMAT format = (D3DFORMAT)MAKEFOURCC(fourcc[0], fourcc[1], fourcc[2], fourcc[3]);
        if ((uint32_t)format != GetTheoraYuvSurfaceFormat(dec)) {
            ReleaseTheoraYuvSurface(dec);
            ASSERT_EQ(D3D_OK, GetD3DDevice()->CreateOffscreenPlainSurface(112, 64, format, D3DPOOL_DEFAULT,
                                                                          &dec->surface, nullptr));
            dec->surface_fourcc = (uint32_t)format;
        }
        AdvanceTheoraFrames(dec, 5);  // 5, 10, then 3 after the wrap
        const int luma = FlatLuma(GetTheoraCurrentFrame(dec));
        ASSERT_TRUE(RunWithTimeout([&] { EXPECT_EQ(1, PublishTheoraFrame(dec, 0, 1)); }, 15000));
        D3DLOCKED_RECT lr;
        ASSERT_EQ(D3D_OK, dec->surface->LockRect(&lr, nullptr, D3DLOCK_READONLY));
        const uint8_t* bits = (const uint8_t*)lr.pBits;
        if (fourcc[0] == 'Y' && fourcc[1] == 'V') {
            const uint8_t* v = bits + lr.Pitch * 64;
            const uint8_t* u = v + (lr.Pitch / 2) * 32;
            EXPECT_EQ(luma, bits[lr.Pitch * 63 + 111]);
            EXPECT_EQ(180, v[(lr.Pitch / 2) * 31 + 55]);
            EXPECT_EQ(100, u[0]);
        } else {
            const bool uyvy = fourcc[0] == 'U';
            const int bytes[4] = {uyvy ? 100 : luma, uyvy ? luma : 100, uyvy ? 180 : luma, uyvy ? luma : 180};
            for (int y : {0, 1, 63})
                for (int i = 0; i < 4; i++) EXPECT_EQ(bytes[i], bits[lr.Pitch * y + 80 + i]) << fourcc << " row " << y;
        }
        dec->surface->UnlockRect();
    }
    EXPECT_EQ(0, CloseMovie(movie));
}

// The surface copy knows 4:2:0 planes only: other layouts draw from the image.
TEST_P(MovieSurfaces, OnlyFourTwoZeroMoviesGetASurface) {
    for (int layout : {2, 3}) {  // 4:2:2, 4:4:4
        TheoraMovieRecipe s;
        s.pixel_fmt = layout;
        int g;
        MovieRecord* m = Load(&g, WriteMovie("layout.ogv", s));
        ASSERT_TRUE(m);
        EXPECT_EQ(nullptr, GetTheoraYuvSurface(m->decoder)) << "layout " << layout;
        AdvanceTheoraFrames(m->decoder, 8);
        EXPECT_NEAR(GreyOfLuma(FlatLuma(8)), DrawnGrey(g), Tolerance()) << "layout " << layout;
        EXPECT_EQ(0, DeleteGraphic(g, 0));
    }
}

// The Theora surface is released before a device reset and made again after.
TEST_P(MovieSurfaces, AMovieGraphicShowsFramesAgainAfterADeviceResetAndRestart) {
    int g;
    MovieRecord* m = Load(&g);
    ASSERT_TRUE(m);
    AdvanceTheoraFrames(m->decoder, 20);
    EXPECT_NEAR(GreyOfLuma(FlatLuma(20)), DrawnGrey(g), Tolerance());
    ForceGraphicsDeviceLossForTest();
    PresentScreen();
    EXPECT_EQ(0, IsDrawingSuppressed());
    EXPECT_TRUE(GetTheoraYuvSurface(m->decoder)) << "made again after the reset";
    EXPECT_NEAR(GreyOfLuma(FlatLuma(20)), DrawnGrey(g), Tolerance());
    ASSERT_EQ(0, RestartGraphicsDevice());
    AdvanceTheoraFrames(m->decoder, 3);
    EXPECT_NEAR(GreyOfLuma(FlatLuma(23)), DrawnGrey(g), Tolerance());
}

}  // namespace
