// Demo part: loads the MP3 test tone (scripts/sound-media makes it) with the ACM
// MP3 decoder disabled, so it decodes through the media filters, and plays it once.
#include <windows.h>
#include <cstdio>

#include "demo/demo_parts.h"
#include "engine/movie/filters/unknown.h"
#include "engine/sound/sound.h"
#include "engine/sound/sound_convert.h"

static int g_mp3 = -1;

static const char* const kTonePath = "tone.mp3";

static int Mp3Start() {
    if (GetFileAttributesA(kTonePath) == INVALID_FILE_ATTRIBUTES) {
        printf("mp3: no %s here, skipped\n", kTonePath);
        return 0;
    }
    int mask = GetSoundDecoderDisableMask();
    SetSoundDecoderDisableMask(mask | SOUND_DECODER_MP3_ACM);
    g_mp3 = LoadSoundFileEntry(kTonePath, 1, -1);
    SetSoundDecoderDisableMask(mask);
    if (g_mp3 == -1) {
        DemoReportFailure("mp3", "the MP3 did not decode through the media filters (is sound up?)");
        return 0;
    }
    if (D_CBaseObject::LiveObjectCount() != 0) DemoReportFailure("mp3", "filter objects left after the decode");
    printf("mp3: decoded through the media filters, %d ms\n", GetSoundHandleLengthMs(g_mp3));
    return 0;
}

static void Mp3Frame(int n) {
    if (g_mp3 == -1 || n != 20) return;
    SetSoundHandleVolume(128, g_mp3);
    if (PlaySoundHandle(g_mp3, SOUND_PLAY_BACK, 1) != 0) DemoReportFailure("mp3", "the MP3 did not play");
}

static void Mp3End() {
    if (g_mp3 != -1) DeleteSoundHandle(g_mp3, 0);
    g_mp3 = -1;
}

static const DemoPart g_mp3_part = {"mp3", 31, nullptr, Mp3Start, Mp3Frame, nullptr, Mp3End};
DEMO_PART(g_mp3_part);
