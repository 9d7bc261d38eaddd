#include "engine/sound/sound_intake.h"

#include "engine/sound/mpeg_audio_start.h"
#include "engine/sound/mpeg_info_frame.h"
#include "engine/sound/sound_container.h"
#include "engine/sound/sound_tags.h"

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

SoundIntake Refused(SoundIntakeReason reason) { return {SOUND_INTAKE_REFUSED, reason, nullptr, 0, 0, false, 0, 0, 0}; }

// Raw bytes from the first frame to the tails, as the walk below parts them.
struct RawBytes {
    uint32_t first;   // the first confirmed frame
    uint32_t end;     // the audio end, before the tails
    MpegAccept accept;
    uint32_t size;    // of the file
    TagLanding landing;
};

// Finds the first frame from `start`; false when there is none. Free format
// only from a header at the start: its frames are any span between two
// headers, which data that repeats a header would pass.
bool FindRawBytes(const uint8_t* p, uint32_t start, uint32_t end, RawBytes* raw) {
    raw->end = end;
    raw->accept = kGraphMpegTableRates;
    if (start >= end) return false;
    if (NextMpegHeaderFollows(p + start, end - start, kGraphMpeg)) {
        raw->first = start;
        if ((p[start + 2] >> 4) == 0) raw->accept = kGraphMpeg;
        return true;
    }
    const int64_t in = FindConfirmedMpegFrame(p + start, end - start, end - start, raw->accept);
    raw->first = start + (uint32_t)in;
    return in >= 0;
}

enum RawPiece { RAW_FRAMES, RAW_TAG, RAW_OTHER };

// Parts the bytes from the first frame on into chains of frames (each header
// where the frame before it ends), tags, which files joined end to end hold
// between them and which are passed over by their sizes where what follows
// bears them out (CheckedTagBytes), and other bytes, over which the search
// goes on for the next confirmed frame. Linear: each byte is passed once but
// for the searches' look-ahead and the tag looks, each of bounded cost.
template <class Visit>
void WalkRawBytes(const uint8_t* p, const RawBytes& raw, Visit&& visit) {
    const uint32_t end = raw.end;
    bool after_tag = false;
    for (uint32_t at = raw.first; at < end;) {
        uint32_t chain = (uint32_t)MpegChainBytes(p + at, end - at, raw.accept);
        // Behind a tag a lone header is no evidence: the frame must be of the
        // stream and end on another, on a tag or at the end.
        if (after_tag && chain &&
            !(SameMpegStream(p + raw.first, p + at) &&
              (at + chain >= end || chain > MpegFrameSpan(p + at, end - at, raw.accept) ||
               MpegTagStartsAt(p + at + chain, end - at - chain))))
            chain = 0;
        if (chain) {
            visit(RAW_FRAMES, at, at + chain);
            at += chain;
            if (at >= end) break;
        }
        if (const uint32_t tag = CheckedTagBytes(p, raw.size, at, &raw.landing)) {
            const uint32_t tag_end = tag < end - at ? at + tag : end;
            visit(RAW_TAG, at, tag_end);
            at = tag_end;
            after_tag = true;
            continue;
        }
        // A tag whose size runs past the file's end is a cut file's, unless
        // frames follow in it; one whose size misses the next chain by a few
        // bytes or by zero bytes ends there.
        const bool cut_tag = MpegTagBytes(p + at, end - at) > raw.size - at;
        const uint32_t from = chain || after_tag ? at : at + 1;   // never search in place
        const int64_t next = from < end ? FindConfirmedMpegFrame(p + from, end - from, end - from, raw.accept, false) : -1;
        const uint32_t resume = next < 0 ? end : from + (uint32_t)next;
        after_tag = next < 0 ? cut_tag : Id3v2TagEndsAtChain(p, raw.size, at, resume, raw.landing);
        visit(after_tag ? RAW_TAG : RAW_OTHER, at, resume);
        at = resume;
    }
}

// Whether the first stream is one frame that holds no sound: an encoder's
// info frame, or a frame cut short. Decoders make silence of it, or nothing.
bool LoneSilentFrame(const uint8_t* p, const RawBytes& raw, uint32_t tags_start, uint32_t stream_bytes) {
    const uint32_t span = MpegFrameSpan(p + raw.first, raw.end - raw.first, raw.accept);
    if (stream_bytes > span) return false;
    return raw.first + span > tags_start || FindMpegInfoFrame(p + raw.first, raw.end - raw.first).marker;
}

// Raw bytes between the leading tags and the tails: MPEG audio when frames
// that follow each other make up at least half of what is not a tag, runs of
// zero bytes weighed at an eighth. Careful media probes score a guess by how
// much of the data the frames account for: a table in a program chains a few
// KB of look-alikes, a sound file is frames from end to end but for a cut
// start, a lead and tags. Over this machine's programs, libraries and data,
// frames make up at most a few percent; over sound files, 60 % and more.
SoundIntake JudgeRawBytes(const uint8_t* p, uint32_t size, uint32_t start, const MpegAudioTails& tails,
                          MpegChainVisitor visit, void* context) {
    if (start >= tails.audio_end) return Refused(SOUND_INTAKE_NOTHING_AFTER_TAGS);
    RawBytes raw;
    if (!FindRawBytes(p, start, tails.audio_end, &raw)) return Refused(SOUND_INTAKE_NO_FRAME);
    // Free-format layer I and II: the graph's parser takes the stream but its
    // decoder gives nothing, and the graph stalls to its time limit.
    if ((p[raw.first + 2] >> 4) == 0 && ((p[raw.first + 1] >> 1) & 3) != 1)
        return Refused(SOUND_INTAKE_FREE_FORMAT_LAYER_I_II);
    raw.size = size;
    const uint32_t quiet = tails.audio_end < tails.tags_start ? tails.audio_end - 3 : tails.audio_end;
    raw.landing = {p + raw.first, quiet, tails.tags_start};

    SoundIntake r = {SOUND_INTAKE_RAW_MPEG, SOUND_INTAKE_FRAMES_MAKE_IT_UP, nullptr, raw.first, tails.tags_start, false, 0, 0, 0};
    uint64_t frames = 0, eighths = WeighedEighths(p, start, raw.first);
    WalkRawBytes(p, raw, [&](RawPiece piece, uint32_t from, uint32_t to) {
        if (piece == RAW_OTHER) eighths += WeighedEighths(p, from, to);
        if (piece != RAW_FRAMES) return;
        // Another stream (rate, version or layer) ends what is decoded, but its frames are sound too.
        if (!r.another_stream && !SameMpegStream(p + raw.first, p + from)) r.end = from, r.another_stream = true;
        // The last chain's last frame may run on over zero bytes of its own to the tags.
        if (!r.another_stream) {
            r.stream_bytes += to - from;
            if (visit) visit(context, from, to, to >= raw.end ? tails.tags_start : to);
        }
        frames += to - from;
    });
    eighths += frames * kZeroWeight;
    r.frame_bytes = (uint32_t)frames;
    r.weighed_bytes = (uint32_t)((eighths + kZeroWeight - 1) / kZeroWeight);
    if (frames * kZeroWeight * 2 < eighths) {
        r.kind = SOUND_INTAKE_REFUSED;
        r.reason = SOUND_INTAKE_FEW_FRAMES;
    } else if (LoneSilentFrame(p, raw, tails.tags_start, r.stream_bytes)) {
        r.kind = SOUND_INTAKE_REFUSED;
        r.reason = SOUND_INTAKE_NO_SOUND_FRAME;
    }
    return r;
}

// Bytes from `start` that hold no confirmed container.
SoundIntake JudgeUncontained(const uint8_t* p, uint32_t size, uint32_t start, MpegChainVisitor visit, void* context) {
    // Atoms that chain but reach no movie are a movie's leftovers, or a
    // picture's: never raw MPEG audio, though a frame may stand in them.
    if (QuickTimeAtomsAt(p, size, start) >= 2) return Refused(SOUND_INTAKE_ATOMS_WITHOUT_MOVIE);
    return JudgeRawBytes(p, size, start, FindMpegAudioTails(p, size), visit, context);
}

}  // namespace

SoundIntake DecideSoundIntake(const uint8_t* p, uint32_t size, MpegChainVisitor visit, void* context) {
    const uint32_t start = LeadingId3v2TagsEnd(p, size);
    if (const char* container = ConfirmedSoundContainer(p, size, start))
        return {SOUND_INTAKE_CONTAINER, SOUND_INTAKE_CONFIRMED_CONTAINER, container, start, size, false, 0, 0, 0};
    return JudgeUncontained(p, size, start, visit, context);
}

SoundIntake DecideMpegDataIntake(const uint8_t* p, uint32_t size, MpegChainVisitor visit, void* context) {
    return JudgeUncontained(p, size, LeadingId3v2TagsEnd(p, size), visit, context);
}

const char* DescribeSoundIntake(const SoundIntake& intake) {
    switch (intake.reason) {
        case SOUND_INTAKE_CONFIRMED_CONTAINER: return "a container, offered as it is";
        case SOUND_INTAKE_FRAMES_MAKE_IT_UP: return "raw MPEG audio: frames make up most of the bytes";
        case SOUND_INTAKE_NOTHING_AFTER_TAGS: return "refused: nothing but tags and zero bytes";
        case SOUND_INTAKE_ATOMS_WITHOUT_MOVIE: return "refused: QuickTime atoms that reach no movie";
        case SOUND_INTAKE_NO_FRAME: return "refused: no confirmed MPEG audio frame";
        case SOUND_INTAKE_FEW_FRAMES: return "refused: MPEG audio frames make up too little of the bytes";
        case SOUND_INTAKE_FREE_FORMAT_LAYER_I_II: return "refused: free-format MPEG audio of layer I or II";
        case SOUND_INTAKE_NO_SOUND_FRAME: return "refused: one frame that holds no sound (an info frame, or cut)";
    }
    return "";
}
