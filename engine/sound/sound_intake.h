// What the engine makes of a file that its own WAV and Ogg readers did not
// take, decided once over the whole image for both MPEG audio decoders (the
// compression manager's and the platform's filter graph). No Windows header:
// the rule builds natively, where the tests and the file sweep run it.
//
// The rule: bytes whose container is confirmed by its structure go to the
// platform's parsers as they are; other bytes are raw MPEG audio only when
// frames that follow each other make up at least half of what is not a tag,
// and then only the first stream is decoded (a stream is its MPEG version,
// layer and sampling rate; its channel mode may change); anything else is
// refused.
#pragma once
#include <cstdint>

enum SoundIntakeKind {
    SOUND_INTAKE_REFUSED,
    SOUND_INTAKE_CONTAINER,   // offered as it is, from `start`
    SOUND_INTAKE_RAW_MPEG,    // offered labelled, [start, end)
};

enum SoundIntakeReason {
    SOUND_INTAKE_CONFIRMED_CONTAINER,
    SOUND_INTAKE_FRAMES_MAKE_IT_UP,
    SOUND_INTAKE_NOTHING_AFTER_TAGS,   // only tags, tails or zero bytes
    SOUND_INTAKE_ATOMS_WITHOUT_MOVIE,  // a chain of QuickTime atoms that reaches no movie
    SOUND_INTAKE_NO_FRAME,             // no confirmed MPEG audio frame
    SOUND_INTAKE_FEW_FRAMES,           // frames, but they make up too little of the bytes
    SOUND_INTAKE_FREE_FORMAT_LAYER_I_II,   // which no decoder here decodes
    SOUND_INTAKE_NO_SOUND_FRAME,       // one frame: an encoder's info frame, or cut
};

struct SoundIntake {
    SoundIntakeKind kind;
    SoundIntakeReason reason;
    const char* container;   // the container's name, when one is confirmed
    uint32_t start;          // the container's first byte, or the first frame
    uint32_t end;            // raw MPEG audio: where its first stream ends, before the tails
    bool another_stream;     // raw MPEG audio: frames of another stream follow the first
    // The measure behind a raw MPEG audio verdict: the bytes that chained
    // frames make up, and all the bytes between the leading tags and the
    // tails but for tags between frames, runs of 32 zero bytes or more
    // weighed at an eighth.
    uint32_t frame_bytes;
    uint32_t weighed_bytes;
    uint32_t stream_bytes;   // raw MPEG audio: the bytes the first stream's frames make up
};

// The chains of frames of the first stream of raw MPEG audio, in order: what
// both decoders decode, passing over tags and other bytes between them as the
// decision does. Frames stand in [from, to); the last of the last chain may
// run on to `limit` (zero bytes of its own, or the end of the file).
typedef void (*MpegChainVisitor)(void* context, uint32_t from, uint32_t to, uint32_t limit);

// With `visit`, the chains are handed to it as the walk that decides finds
// them, before the verdict: they count only when the bytes are taken as raw
// MPEG audio.
SoundIntake DecideSoundIntake(const uint8_t* p, uint32_t size, MpegChainVisitor visit = nullptr,
                              void* context = nullptr);

// The data chunk of a WAV that declares MPEG audio, judged as raw bytes are
// but for containers: the WAV is the container, and a RIFF header in front
// of the frames (a WAV wrapped whole in another, a header left in front) is
// other bytes.
SoundIntake DecideMpegDataIntake(const uint8_t* p, uint32_t size, MpegChainVisitor visit = nullptr,
                                 void* context = nullptr);

// A line for the log and the sweep: what was decided and why, in English.
const char* DescribeSoundIntake(const SoundIntake& intake);
