#include "engine/sound/sound_intake.h"

#include "engine/sound/mpeg_audio_start.h"
#include "engine/sound/sound_container.h"

namespace {

// Runs of zero bytes outside the frames weigh an eighth: tools and cut
// recordings leave them before audio (8 KB before a few KB of audio still
// loads), and they hold no look-alike of anything. Zero bytes scattered in
// quiet PCM or tables weigh in full.
const uint32_t kZeroWeight = 8;
const uint32_t kZeroRun = 32;

// Bytes in [from, to), runs of zero bytes weighed at an eighth, in eighths.
uint64_t WeighedEighths(const uint8_t* p, uint32_t from, uint32_t to) {
    uint64_t in_runs = 0;
    for (uint32_t i = from; i < to;) {
        if (p[i] != 0) {
            i++;
            continue;
        }
        uint32_t run = i;
        while (run < to && p[run] == 0) run++;
        if (run - i >= kZeroRun) in_runs += run - i;
        i = run;
    }
    return (to - from - in_runs) * kZeroWeight + in_runs;
}

SoundIntake Refused(SoundIntakeReason reason) { return {SOUND_INTAKE_REFUSED, reason, nullptr, 0, 0, false, 0, 0}; }

// Raw bytes between the leading tags and the tails: MPEG audio when frames
// that follow each other make up more than half of them, runs of zero bytes
// weighed at an eighth. Careful media probes score a guess by how much of the
// data the frames account for: a table in a program chains a few KB of
// look-alikes, a sound file is frames from end to end but for a cut start, a
// lead and tails. Over this machine's programs, libraries and data, frames
// make up at most a few percent; over sound files, 60 % and more.
SoundIntake JudgeRawBytes(const uint8_t* p, uint32_t start, const MpegAudioTails& tails) {
    const uint32_t end = tails.audio_end;
    if (start >= end) return Refused(SOUND_INTAKE_NOTHING_AFTER_TAGS);
    // Free format only from a header at the start: its frames are any span
    // between two headers, which data that repeats a header would pass.
    MpegAccept accept = kGraphMpegTableRates;
    int64_t first = -1;
    if (NextMpegHeaderFollows(p + start, end - start, kGraphMpeg)) {
        first = start;
        if ((p[start + 2] >> 4) == 0) accept = kGraphMpeg;
    } else {
        const int64_t in = FindConfirmedMpegFrame(p + start, end - start, end - start, accept);
        if (in >= 0) first = start + in;
    }
    if (first < 0) return Refused(SOUND_INTAKE_NO_FRAME);

    SoundIntake r = {SOUND_INTAKE_RAW_MPEG, SOUND_INTAKE_FRAMES_MAKE_IT_UP, nullptr, (uint32_t)first, 0, false, 0, 0};
    uint64_t frames = 0, eighths = WeighedEighths(p, start, (uint32_t)first);
    for (uint32_t at = (uint32_t)first; at < end;) {
        // Another stream (rate, layer or channels) ends what is decoded, but its frames are sound too.
        if (!r.another_stream && !SameMpegAudioStream(p + first, p + at)) r.end = at, r.another_stream = true;
        const uint32_t chain = (uint32_t)MpegChainBytes(p + at, end - at, accept);
        frames += chain;
        at += chain;
        if (at >= end) break;
        const uint32_t from = chain ? at : at + 1;   // never search in place
        const int64_t next = FindConfirmedMpegFrame(p + from, end - from, end - from, accept, false);
        const uint32_t resume = next < 0 ? end : from + (uint32_t)next;
        eighths += WeighedEighths(p, at, resume);
        at = resume;
    }
    if (!r.another_stream) r.end = tails.tags_start;   // the last frame may end in zero bytes of its own
    eighths += frames * kZeroWeight;
    r.frame_bytes = (uint32_t)frames;
    r.weighed_bytes = (uint32_t)((eighths + kZeroWeight - 1) / kZeroWeight);
    if (frames * kZeroWeight * 2 <= eighths) {
        r.kind = SOUND_INTAKE_REFUSED;
        r.reason = SOUND_INTAKE_FEW_FRAMES;
    }
    return r;
}

}  // namespace

SoundIntake DecideSoundIntake(const uint8_t* p, uint32_t size) {
    const uint32_t start = LeadingId3v2TagsEnd(p, size);
    if (const char* container = ConfirmedSoundContainer(p, size, start))
        return {SOUND_INTAKE_CONTAINER, SOUND_INTAKE_CONFIRMED_CONTAINER, container, start, size, false, 0, 0};
    // Atoms that chain but reach no movie are a movie's leftovers, or a
    // picture's: never raw MPEG audio, though a frame may stand in them.
    if (QuickTimeAtomsAt(p, size, start) >= 2) return Refused(SOUND_INTAKE_ATOMS_WITHOUT_MOVIE);
    return JudgeRawBytes(p, start, FindMpegAudioTails(p, size));
}

const char* DescribeSoundIntake(const SoundIntake& intake) {
    switch (intake.reason) {
        case SOUND_INTAKE_CONFIRMED_CONTAINER: return "a container, offered as it is";
        case SOUND_INTAKE_FRAMES_MAKE_IT_UP: return "raw MPEG audio: frames make up most of the bytes";
        case SOUND_INTAKE_NOTHING_AFTER_TAGS: return "refused: nothing but tags and zero bytes";
        case SOUND_INTAKE_ATOMS_WITHOUT_MOVIE: return "refused: QuickTime atoms that reach no movie";
        case SOUND_INTAKE_NO_FRAME: return "refused: no confirmed MPEG audio frame";
        case SOUND_INTAKE_FEW_FRAMES: return "refused: MPEG audio frames make up too little of the bytes";
    }
    return "";
}
