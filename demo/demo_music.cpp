// Demo part: a short MP3 loop, made with lame by scripts/demo, played as a
// stream sound straight from its file while the WAV effects play beside it.
#include <windows.h>
#include <cstdio>

#include "demo/demo_parts.h"
#include "engine/sound/sound.h"

static const char* const kMp3Path = "demo_loop.mp3";
static int g_music = -1;

static int MusicStart() {
    if (GetFileAttributesA(kMp3Path) == INVALID_FILE_ATTRIBUTES) {
        DemoReportFailure("music", "%s is missing (scripts/sound-media makes it)", kMp3Path);
        return 0;
    }
    SetCreateSoundDataType(3);
    g_music = LoadSoundFileEntry(kMp3Path, 1, -1);
    SetCreateSoundDataType(0);
    if (g_music == -1) {
        DemoReportFailure("music", "the MP3 did not load (is sound up, does ACM decode MP3?)");
        return 0;
    }
    SetSoundHandleVolume(160, g_music);
    if (PlaySoundHandle(g_music, SOUND_PLAY_LOOP, 1) != 0) DemoReportFailure("music", "the loop did not start");
    printf("music: %s, %d ms, looping as a stream sound\n", kMp3Path, GetSoundHandleLengthMs(g_music));
    fflush(stdout);
    return 0;
}

static void MusicEnd() {
    if (g_music == -1) return;
    const int length = GetSoundHandleLengthMs(g_music), at = GetSoundHandlePlayTime(g_music);
    // A two-second loop, still going at the end, somewhere inside its length.
    if (length < 1900 || length > 2300) DemoReportFailure("music", "the loop is %d ms long", length);
    if (IsSoundHandlePlaying(g_music) != 1) DemoReportFailure("music", "the loop stopped");
    if (at < 0 || at > length) DemoReportFailure("music", "play time %d ms outside the loop", at);
    printf("music: still playing at %d ms\n", at);
    fflush(stdout);
    DeleteSoundHandle(g_music, 0);
    g_music = -1;
}

static const DemoPart g_music_part = {"music", 31, nullptr, MusicStart, nullptr, nullptr, MusicEnd};
DEMO_PART(g_music_part);
