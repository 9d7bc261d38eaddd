// AVI files written by the tests and benchmarks. Uncompressed RGB24 ones:
// bottom-up rows of B, G, R bytes padded to 4, one '00db' chunk per frame and
// an index; optionally a mono 16-bit PCM tone track, one '01wb' chunk after
// each frame. Sound-only ones: 16-bit PCM tracks of their own formats, or one
// MP3 track; and MP3 in a WAV.
#pragma once
#include <algorithm>
#include <cstdint>
#include <functional>
#include <vector>

#include "support/byte_writer.h"

namespace avitest {

using soundtest::Bytes;
using soundtest::Cat;
using soundtest::Put16;
using soundtest::Put32;

inline void PutId(Bytes& b, const char* id) { b.insert(b.end(), id, id + 4); }

// A WAVEFORMATEX, its cbSize counting the extra bytes behind it.
inline Bytes WaveFormatEx(uint16_t tag, int channels, int rate, int avg, int align, int bits, const Bytes& extra = {}) {
    Bytes b;
    Put16(b, tag), Put16(b, channels), Put32(b, rate), Put32(b, avg), Put16(b, align), Put16(b, bits);
    Put16(b, (uint32_t)extra.size());
    return Cat({b, extra});
}

inline Bytes Chunk(const char* id, const Bytes& body) {
    Bytes b;
    PutId(b, id);
    Put32(b, (uint32_t)body.size());
    b.insert(b.end(), body.begin(), body.end());
    if (body.size() & 1) b.push_back(0);
    return b;
}

inline Bytes List(const char* type, const Bytes& body) {
    Bytes inner;
    PutId(inner, type);
    inner.insert(inner.end(), body.begin(), body.end());
    return Chunk("LIST", inner);
}

// The stream header of either track.
inline Bytes StreamHeader(const char* type, const char* handler, uint32_t scale, uint32_t rate, uint32_t length,
                          uint32_t buffer, uint32_t sample_size, int width, int height) {
    Bytes strh;
    PutId(strh, type), PutId(strh, handler);
    Put32(strh, 0), Put16(strh, 0), Put16(strh, 0), Put32(strh, 0);
    Put32(strh, scale), Put32(strh, rate), Put32(strh, 0), Put32(strh, length);
    Put32(strh, buffer), Put32(strh, 0xFFFFFFFF), Put32(strh, sample_size);
    Put16(strh, 0), Put16(strh, 0), Put16(strh, width), Put16(strh, height);
    return strh;
}

// The stream list of a 16-bit PCM track.
inline Bytes PcmStreamList(int rate, int channels, uint32_t frames, uint32_t buffer) {
    const int align = 2 * channels;
    const Bytes wave = WaveFormatEx(1, channels, rate, rate * align, align, 16);
    const Bytes auds = StreamHeader("auds", "\0\0\0\0", align, rate * align, frames, buffer, align, 0, 0);
    return List("strl", Cat({Chunk("strh", auds), Chunk("strf", wave)}));
}

// A chunk of the movie list, with its index entry.
inline void AppendMovieChunk(Bytes& movi, Bytes& idx, const char* id, const Bytes& data) {
    PutId(idx, id), Put32(idx, 0x10), Put32(idx, (uint32_t)movi.size() + 4), Put32(idx, (uint32_t)data.size());
    const Bytes c = Chunk(id, data);
    movi.insert(movi.end(), c.begin(), c.end());
}

inline Bytes AviFile(const Bytes& hdrl, const Bytes& movi, const Bytes& idx) {
    Bytes form;
    PutId(form, "AVI ");
    return Chunk("RIFF", Cat({form, List("hdrl", hdrl), List("movi", movi), Chunk("idx1", idx)}));
}

// pixel(frame, x, y) gives 0xRRGGBB with y = 0 the top row; audio_rate 0: no sound track.
inline Bytes MakeRgbAvi(int width, int height, int frames, int fps,
                        const std::function<uint32_t(int, int, int)>& pixel, int audio_rate = 0) {
    const uint32_t pitch = ((uint32_t)width * 3 + 3) & ~3u, frame_bytes = pitch * height;
    const uint32_t audio_samples = (uint32_t)(audio_rate / fps), audio_bytes = audio_samples * 2;
    Bytes avih;
    Put32(avih, 1000000 / fps), Put32(avih, (frame_bytes + audio_bytes) * fps), Put32(avih, 0);
    Put32(avih, 0x10);  // AVIF_HASINDEX
    Put32(avih, frames), Put32(avih, 0), Put32(avih, audio_rate ? 2 : 1), Put32(avih, frame_bytes);
    Put32(avih, width), Put32(avih, height);
    for (int i = 0; i < 4; i++) Put32(avih, 0);
    const Bytes strh = StreamHeader("vids", "DIB ", 1, fps, frames, frame_bytes, 0, width, height);
    Bytes strf;
    Put32(strf, 40), Put32(strf, width), Put32(strf, height), Put16(strf, 1), Put16(strf, 24);
    Put32(strf, 0), Put32(strf, frame_bytes);
    for (int i = 0; i < 4; i++) Put32(strf, 0);
    Bytes hdrl = Cat({Chunk("avih", avih), List("strl", Cat({Chunk("strh", strh), Chunk("strf", strf)}))});
    if (audio_rate) hdrl = Cat({hdrl, PcmStreamList(audio_rate, 1, audio_samples * frames, audio_bytes)});

    Bytes movi, idx;
    for (int n = 0; n < frames; n++) {
        Bytes data(frame_bytes, 0);
        for (int y = 0; y < height; y++)
            for (int x = 0; x < width; x++) {
                uint32_t c = pixel(n, x, y);
                uint8_t* p = &data[(size_t)(height - 1 - y) * pitch + x * 3];
                p[0] = (uint8_t)c, p[1] = (uint8_t)(c >> 8), p[2] = (uint8_t)(c >> 16);
            }
        AppendMovieChunk(movi, idx, "00db", data);
        if (!audio_rate) continue;
        Bytes tone;
        for (uint32_t i = 0; i < audio_samples; i++) Put16(tone, (i / 20) & 1 ? 0x2000 : 0xE000);
        AppendMovieChunk(movi, idx, "01wb", tone);
    }
    return AviFile(hdrl, movi, idx);
}

// The format record of 128 kbit/s stereo MP3 at 44.1 kHz: a WAVEFORMATEX of
// tag 0x55 and the MPEG layer-3 fields behind it.
inline Bytes Mp3Format() {
    Bytes mp3;
    Put16(mp3, 1), Put32(mp3, 2), Put16(mp3, 417), Put16(mp3, 1), Put16(mp3, 1393);
    return WaveFormatEx(0x55, 2, 44100, 16000, 1, 0, mp3);
}

// That MP3 in a WAV, as tools that wrap MP3 write it.
inline Bytes MakeMp3Wave(const Bytes& mp3) {
    Bytes fact, wave;
    Put32(fact, 88200);
    PutId(wave, "WAVE");
    return Chunk("RIFF", Cat({wave, Chunk("fmt ", Mp3Format()), Chunk("fact", fact), Chunk("data", mp3)}));
}

// That MP3 as the one sound track of an AVI, four frames a chunk; `frames`
// are the offsets of its frames.
inline Bytes MakeMp3Avi(const Bytes& mp3, const std::vector<size_t>& frames) {
    Bytes movi, idx;
    for (size_t i = 0; i < frames.size(); i += 4) {
        const size_t end = i + 4 < frames.size() ? frames[i + 4] : mp3.size();
        AppendMovieChunk(movi, idx, "00wb", Bytes(mp3.begin() + frames[i], mp3.begin() + end));
    }
    Bytes avih;
    Put32(avih, 26122), Put32(avih, 16000), Put32(avih, 0), Put32(avih, 0x10), Put32(avih, (uint32_t)frames.size());
    Put32(avih, 0), Put32(avih, 1), Put32(avih, 4096), Put32(avih, 0), Put32(avih, 0);
    for (int i = 0; i < 4; i++) Put32(avih, 0);
    const Bytes strh = StreamHeader("auds", "\0\0\0\0", 1152, 44100, (uint32_t)frames.size(), 4096, 0, 0, 0);
    const Bytes strl = List("strl", Cat({Chunk("strh", strh), Chunk("strf", Mp3Format())}));
    return AviFile(Cat({Chunk("avih", avih), strl}), movi, idx);
}

// A 16-bit PCM track: frames of `channels` interleaved samples.
struct PcmTrack {
    int rate, channels;
    std::vector<int16_t> samples;
};

// `seconds` of a square wave of that level and half-period in every channel.
inline PcmTrack SquareTrack(int rate, int channels, int seconds, int16_t level, int half_period) {
    PcmTrack t{rate, channels, {}};
    for (int i = 0; i < rate * seconds; i++)
        for (int c = 0; c < channels; c++) t.samples.push_back((i / half_period) & 1 ? -level : level);
    return t;
}

// The tracks in that order ('00wb', '01wb', ...), interleaved in chunks of a
// tenth of a second; no video.
inline Bytes MakePcmTracksAvi(const std::vector<PcmTrack>& tracks) {
    Bytes hdrl_streams;
    size_t chunks = 0;
    for (const PcmTrack& t : tracks) {
        const uint32_t frames = (uint32_t)(t.samples.size() / t.channels), per_chunk = (uint32_t)t.rate / 10;
        hdrl_streams = Cat({hdrl_streams, PcmStreamList(t.rate, t.channels, frames, per_chunk * 2 * t.channels)});
        chunks = std::max(chunks, (size_t)(frames + per_chunk - 1) / per_chunk);
    }
    Bytes avih;
    Put32(avih, 100000), Put32(avih, 0), Put32(avih, 0), Put32(avih, 0x10);  // AVIF_HASINDEX
    Put32(avih, 0), Put32(avih, 0), Put32(avih, (uint32_t)tracks.size()), Put32(avih, 0);
    for (int i = 0; i < 6; i++) Put32(avih, 0);
    Bytes movi, idx;
    for (size_t n = 0; n < chunks; n++)
        for (size_t k = 0; k < tracks.size(); k++) {
            const PcmTrack& t = tracks[k];
            const size_t per_chunk = (size_t)t.rate / 10 * t.channels, at = n * per_chunk;
            if (at >= t.samples.size()) continue;
            Bytes data;
            for (size_t i = at; i < std::min(at + per_chunk, t.samples.size()); i++) Put16(data, (uint16_t)t.samples[i]);
            const char id[5] = {(char)('0' + k / 10), (char)('0' + k % 10), 'w', 'b', 0};
            AppendMovieChunk(movi, idx, id, data);
        }
    return AviFile(Cat({Chunk("avih", avih), hdrl_streams}), movi, idx);
}

}  // namespace avitest
