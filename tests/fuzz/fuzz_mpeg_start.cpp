// Where MPEG audio starts and ends and whether bytes hold a container, over
// fuzzed bytes: every answer stays within the bytes, a start found is a frame,
// the tails found leave the audio inside the file, raw audio taken is at
// least half frames, and the chains the decoders get lie in order within it.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "engine/sound/mpeg_audio_start.h"
#include "engine/sound/sound_container.h"
#include "engine/sound/sound_intake.h"
#include "engine/sound/sound_tags.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A copy of its own size, so that reading past it shows.
    const std::vector<uint8_t> bytes(data, data + size);
    const uint8_t* p = bytes.data();
    const MpegAudioTails tails = FindMpegAudioTails(p, (uint32_t)size);
    if (tails.audio_end > tails.tags_start || tails.tags_start > size) std::abort();
    for (MpegAccept accept : {kAcmMpeg, kGraphMpeg, kGraphMpegTableRates}) {
        const size_t reach = size ? p[0] * 16u : 0;
        const int64_t at = FindConfirmedMpegFrame(p, tails.audio_end, reach, accept, size & 1);
        if (at >= 0 && ((size_t)at >= reach || MpegFrameSpan(p + at, tails.audio_end - at, accept) == 0)) std::abort();
        if (size && NextMpegHeaderFollows(p, size, accept) && MpegFrameSpan(p, size, accept) == 0) std::abort();
    }
    const uint32_t tags = LeadingId3v2TagsEnd(p, (uint32_t)size);
    if (tags > size) std::abort();
    const TagLanding between = {p, tails.audio_end, tails.tags_start};
    for (uint32_t at = 0; at < size && at < 64; at++)
        if (CheckedTagBytes(p, (uint32_t)size, at, &between) > size - at) std::abort();
    struct Chain {
        uint32_t from, to, limit;
    };
    std::vector<Chain> chains;
    const SoundIntake in = DecideSoundIntake(p, (uint32_t)size, [](void* c, uint32_t from, uint32_t to, uint32_t limit) {
        ((std::vector<Chain>*)c)->push_back({from, to, limit});
    }, &chains);
    if (in.kind == SOUND_INTAKE_CONTAINER) {
        if (in.start != tags) std::abort();
        std::vector<uint8_t> marked = bytes;
        MarkAtomsBeforeMovieFree(marked.data(), (uint32_t)size, tags);
    }
    if (in.kind == SOUND_INTAKE_RAW_MPEG &&
        (in.start < tags || in.end <= in.start || in.end > size || 2 * in.frame_bytes < in.weighed_bytes ||
         in.start >= tails.audio_end || MpegFrameSpan(p + in.start, tails.audio_end - in.start, kGraphMpeg) == 0))
        std::abort();
    if (in.kind != SOUND_INTAKE_RAW_MPEG) return 0;
    uint32_t next = in.start, chained = 0;
    for (const Chain& c : chains) {
        if (c.from < next || c.to <= c.from || c.limit < c.to || c.limit > in.end || (chained == 0 && c.from != in.start))
            std::abort();
        next = c.limit;
        chained += c.to - c.from;
    }
    if (chained > in.frame_bytes || chained == 0) std::abort();
    return 0;
}
