// Demo part: MIDI, soft sounds and capture have nothing to play here; it shows
// what does run of them: the MIDI poll of every pump pass, the sweeps of the
// sound start and end over their empty tables, and a capture finish with no
// capture open.
#include <cstdio>

#include "demo/demo_parts.h"
#include "engine/sound/midi.h"
#include "engine/sound/soft_sound.h"
#include "engine/sound/sound_capture.h"

static int g_polls_up = 0;

static void PeriphFrame(int n) {
    const int poll = PollMidiPlayState();
    if (poll == 0) g_polls_up++;
    if (n != 0) return;
    const int data = DeleteAllSoftSoundData(), players = DeleteAllSoftSoundPlayers(), midi = DeleteAllMidiHandles();
    const int pumped = PumpAllSoftSoundPlayers(), capture = FinishSoundCaptureFile();
    std::printf("periph: MIDI poll %d, soft-sound sweeps %d/%d, MIDI sweep %d, player pump %d, capture finish %d\n",
                poll, data, players, midi, pumped, capture);
    std::fflush(stdout);
    // With sound up every sweep answers 0; with it down every one answers -1 (the sound part reports that).
    if (data != poll || players != poll || midi != poll || pumped != poll)
        DemoReportFailure("periph", "sweeps answered %d/%d/%d/%d with the MIDI poll at %d", data, players, midi, pumped,
                          poll);
    if (capture != -1) DemoReportFailure("periph", "a capture was finished though none was open");
}

static void PeriphEnd() {
    std::printf("periph: %d MIDI poll(s) with sound up, music stop %d\n", g_polls_up, StopAndDeleteMusic());
    std::fflush(stdout);
}

static const DemoPart g_periph_part = {"periph", 31, nullptr, nullptr, PeriphFrame, nullptr, PeriphEnd};
DEMO_PART(g_periph_part);
