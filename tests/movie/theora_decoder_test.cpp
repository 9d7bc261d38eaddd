// The Theora decoder on movies made by libtheoraenc: headers and tables, exact
// flat frames, advancing, seeking and wrapping without hangs, failed opens.
#include "movie_test_util.h"

#include <cstring>
#include <random>

#include "engine/system/memory.h"

namespace {

class TheoraDecoderTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitYuvTables();
        blocks_ = MemLiveBlockCount();
    }
    void TearDown() override { EXPECT_EQ(blocks_, MemLiveBlockCount()) << "tracked blocks left"; }
    int blocks_ = 0;
};

TheoraMovieRecipe Flat(int frames, int keyframe_interval = 8) {
    TheoraMovieRecipe s;
    s.frames = frames;
    s.keyframe_interval = keyframe_interval;
    return s;
}

TEST_F(TheoraDecoderTest, OpensWithTheCodedSizeAndShowsFrameZero) {
    TheoraMovieRecipe s = Flat(12);
    s.fps_num = 30000, s.fps_den = 1001;
    std::string path = WriteMovie("info.ogv", s);
    OpenedDecoder d;
    ASSERT_TRUE(RunWithTimeout([&] { d.Open(path); }, 15000)) << "open hangs";
    ASSERT_TRUE(d.dec);
    TheoraMovieInfo info;
    ASSERT_EQ(0, GetTheoraMovieInfo(d.dec, &info));
    EXPECT_EQ(112, info.width);
    EXPECT_EQ(64, info.height);
    EXPECT_EQ(12, info.frame_count);
    EXPECT_NEAR(29.97, info.fps, 0.001);
    EXPECT_EQ(0, GetTheoraCurrentFrame(d.dec));
    EXPECT_EQ(112, GetTheoraFrameImage(d.dec)->width);
    // The open already put frame 0 into the image: nothing left to publish.
    EXPECT_EQ(0, PublishTheoraFrame(d.dec, 1, 0));
    EXPECT_EQ(GreyPixel(FlatLuma(0)), ImagePixel(GetTheoraFrameImage(d.dec), 50, 30));
    EXPECT_EQ(GreyPixel(FlatLuma(0)), ImagePixel(GetTheoraFrameImage(d.dec), 111, 63));
    EXPECT_EQ(nullptr, GetTheoraYuvSurface(d.dec)) << "no device, no surface";
}

// Past the end the current frame wraps modulo the count; a frame ahead of a
// full stock (settled first) must make the thread drop it and restart there.
TEST_F(TheoraDecoderTest, AdvancingWrapsModuloTheFrameCount) {
    std::string path = WriteMovie("wrap.ogv", Flat(100, 10));
    OpenedDecoder d;
    ASSERT_TRUE(d.Open(path));
    struct Case { int from, n, to; bool settle; } cases[] = {
        {0, 0, 0},     {0, -3, 0},     {0, 95, 95},         {95, 10, 5},    {5, 250, 55},
        {55, 45, 0},   {0, 80, 80},    {80, 35, 15, true},  {15, 84, 99},   {99, 1, 0},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(c.from, GetTheoraCurrentFrame(d.dec));
        if (c.settle) Sleep(300);  // lets the thread fill the stock
        AdvanceTheoraFrames(d.dec, c.n);
        EXPECT_EQ(c.to, GetTheoraCurrentFrame(d.dec)) << c.from << " + " << c.n;
        EXPECT_EQ(GreyPixel(FlatLuma(c.to)), d.CurrentPixel()) << "frame " << c.to;
    }
}

// 1500 frames grow both tables past their first 1000 entries; seeks clamp to
// the movie and start from the page before the last key frame.
TEST_F(TheoraDecoderTest, SeeksClampToTheMovieAndDecodeFromTheKeyFrameBefore) {
    TheoraMovieRecipe s = Flat(1500, 30);
    s.pic_width = 16, s.pic_height = 16;
    std::string path = WriteMovie("long.ogv", s);
    OpenedDecoder d;
    ASSERT_TRUE(RunWithTimeout([&] { d.Open(path); }, 30000));
    ASSERT_TRUE(d.dec);
    TheoraMovieInfo info;
    GetTheoraMovieInfo(d.dec, &info);
    EXPECT_EQ(1500, info.frame_count);
    struct Case { int target, shown; } cases[] = {{33, 33}, {33, 33}, {5, 5},      {1499, 1499}, {5000, 1499},
                                                  {-4, 0},  {1001, 1001}, {999, 999}, {1400, 1400}};
    for (const Case& c : cases) {
        ASSERT_TRUE(RunWithTimeout([&] { SeekTheoraFrame(d.dec, c.target); }, 15000)) << "seek hangs";
        EXPECT_EQ(c.shown, GetTheoraCurrentFrame(d.dec));
        EXPECT_EQ(GreyPixel(FlatLuma(c.shown)), d.CurrentPixel(4, 4)) << "seek to " << c.target;
    }
}

// Random steps, each frame checked: an entry rewritten while it is copied, or a
// lost frame, shows as a wrong grey or a time-out.
TEST_F(TheoraDecoderTest, RandomStepsAlwaysShowTheCurrentFrame) {
    std::string path = WriteMovie("random.ogv", Flat(50, 9));
    OpenedDecoder d;
    ASSERT_TRUE(d.Open(path, 4));
    std::mt19937 rng(7);
    int frame = 0, wrong = 0;
    for (int i = 0; i < 300 && !HasFatalFailure(); i++) {
        int n = (int)(rng() % 8) + (i % 50 == 49 ? 60 : 0);
        AdvanceTheoraFrames(d.dec, n);
        if (n > 0) frame = (frame + n) % 50;
        ASSERT_EQ(frame, GetTheoraCurrentFrame(d.dec));
        if (d.CurrentPixel() != GreyPixel(FlatLuma(frame))) wrong++;
    }
    EXPECT_EQ(0, wrong);
    // Closing while the thread decodes ends it.
    AdvanceTheoraFrames(d.dec, 17);
    ASSERT_TRUE(RunWithTimeout([&] { d.Close(); }, 15000)) << "close hangs";
}

// Keeps the pages of one logical stream (by serial number) out of an Ogg file.
std::vector<uint8_t> DropStream(const std::vector<uint8_t>& in, uint32_t serial) {
    std::vector<uint8_t> out;
    for (size_t p = 0; p + 27 <= in.size();) {
        size_t len = 27 + in[p + 26];
        for (int i = 0; i < in[p + 26]; i++) len += in[p + 27 + i];
        uint32_t s;
        std::memcpy(&s, &in[p + 14], 4);
        if (s != serial) out.insert(out.end(), in.begin() + p, in.begin() + p + len);
        p += len;
    }
    return out;
}

TEST_F(TheoraDecoderTest, FilesThatAreNoTheoraMovieAreRefused) {
    TheoraMovieRecipe with_audio = Flat(10);
    with_audio.audio_ms = 500;
    std::vector<uint8_t> vorbis_only = DropStream(MakeTheoraMovie(with_audio), 0x1234);
    ASSERT_FALSE(vorbis_only.empty());
    TheoraMovieRecipe no_frames = Flat(0);
    TheoraMovieRecipe huge = Flat(2);
    huge.forced_width_mbs = 4096, huge.forced_height_mbs = 4096;  // 65536 x 65536
    struct Case { const char* name; std::vector<uint8_t> bytes; const char* log; } cases[] = {
        {"junk.ogv", std::vector<uint8_t>(5000, 0x5A), nullptr},
        {"vorbis.ogg", vorbis_only, "End of file while searching for codec headers."},
        {"empty.ogv", MakeTheoraMovie(no_frames), "フレームがありません"},
        {"huge.ogv", MakeTheoraMovie(huge), "フレームサイズが扱えません"},
    };
    for (Case& c : cases) {
        ASSERT_TRUE(WriteBytesToFile(c.name, c.bytes));
        LogCapture log;
        OpenedDecoder d;
        ASSERT_TRUE(RunWithTimeout([&] { d.Open(c.name); }, 15000)) << c.name << ": open hangs";
        EXPECT_EQ(nullptr, d.dec) << c.name;
        EXPECT_TRUE(!c.log || log.Contains(c.log)) << c.name;
    }
}

}  // namespace
