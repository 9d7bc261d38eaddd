// The movie table and the operations on movie handles (the Theora side; the
// filter-graph side is in movie_directshow.cpp).
#include "engine/movie/movie.h"

#include <dshow.h>

#include "engine/file/file_stream.h"
#include "engine/movie/movie_internal.h"
#include "engine/movie/theora_decoder.h"
#include "engine/sound/sound.h"
#include "engine/sound/sound_convert.h"
#include "engine/system/handle_table.h"
#include "engine/system/log.h"
#include "engine/system/memory.h"
#include "engine/system/tick.h"

// A fixed table of 100 slots that needs no start or end of its own.
static void* g_slots[MOVIE_HANDLE_MAX];
static HandleTable g_movies = {HANDLE_MOVIE, MOVIE_HANDLE_MAX, 0, 0, 0, g_slots};
// Passed on to the graphic made for a movie; nothing here changes it.
static int g_graphic_flag = 0;

MovieRecord* GetMovieRecord(int movie) { return (MovieRecord*)HandleTableGet(&g_movies, movie); }
int GetMovieCount() { return g_movies.count; }
int GetMovieHandleAt(int slot) { return HandleTableHandleAt(&g_movies, slot); }

// The Vorbis track as a stream sound: only the Ogg Vorbis decoder may take it.
static int LoadMovieAudio(const char* path) {
    const int type = GetCreateSoundDataType();
    const int mask = GetSoundDecoderDisableMask();
    SetMovieAudioFlag(1);
    SetCreateSoundDataType(3);
    SetSoundDecoderDisableMask((int)0xFFFFFFFB);
    int audio = LoadSoundFileEntry(path, 1, -1);
    SetSoundDecoderDisableMask(mask);
    SetMovieAudioFlag(0);
    SetCreateSoundDataType(type);
    return audio < 0 ? -1 : audio;
}

int OpenMovie(const char* path, int* width, int* height, int flags) {
    (void)flags;
    if (g_movies.count >= g_movies.capacity) return -1;
    if (!path) return LogAppend("ムービーファイルのパスが指定されていません\n");
    MovieRecord* m = nullptr;
    // Only a movie that opens takes a check number.
    const int check = g_movies.next_check;
    int handle = HandleTableAdd(&g_movies, sizeof(MovieRecord), (void**)&m, 1);
    if (handle < 0) return LogAppend("メモリの確保に失敗しました in OpenMovie");
    m->graphic_flag = g_graphic_flag;
    m->audio = -1;
    // A file that cannot be opened never reaches the decoder.
    uint32_t file = FileStreamOpen(path, 0, 1, 0);
    int refused = 0;
    TheoraDecoder* dec = file ? OpenTheoraMovie(&FileFunctions, file, 10, &refused) : nullptr;
    if (dec) {
        m->theora_file = file;
        m->decoder = dec;
        m->audio = LoadMovieAudio(path);
        TheoraMovieInfo info;
        GetTheoraMovieInfo(dec, &info);
        m->width = info.width;
        m->height = info.height;
        if (width) *width = info.width;
        if (height) *height = info.height;
        m->theora = 1;
        m->image_ptr = GetTheoraFrameImage(dec);
        m->overlay_mode = 0;
    } else {
        if (file) FileStreamClose(file);
        m->temp_copy = 0;
        // A Theora stream our decoder refused is broken, and the platform's parsers hang or crash on such files.
        if (refused || OpenMovieDirectShow(m, path, width, height) == -1) {
            HandleTableRemove(&g_movies, handle);
            g_movies.next_check = check;
            return LogAppend("ムービーファイルオープン処理時にエラーが発生しました");
        }
        m->image_ptr = &m->image;
    }
    m->paused = 1;
    m->playing = 0;
    m->play_type = 1;
    return handle;
}

int CloseMovie(int movie) {
    MovieRecord* m = GetMovieRecord(movie);
    if (!m) return -1;
    // Once only, and nothing calls back into the bound graphic from here on.
    const MovieCloseCallback closed = m->close_callback;
    m->close_callback = nullptr;
    m->callback = nullptr;
    if (closed) closed(movie, m->callback_user);
    if (m->theora) {
        // The thread reads the file until it has stopped.
        CloseTheoraMovie(m->decoder);
        if (m->theora_file) FileStreamClose(m->theora_file);
        // At engine end the sounds are gone already: a dead handle is refused and we go on.
        if (m->audio != -1) DeleteSoundHandle(m->audio, 0);
        m->decoder = nullptr;
        m->theora_file = 0;
        m->audio = -1;
        m->theora = 0;
    }
    CloseMovieDirectShowParts(m);
    HandleTableRemove(&g_movies, movie);
    return 0;
}

int SetMovieFrameCallback(int movie, MovieFrameCallback callback, uint32_t user) {
    MovieRecord* m = GetMovieRecord(movie);
    if (!m) return -1;
    m->callback = callback;
    m->callback_user = user;
    return 0;
}

int SetMovieCloseCallback(int movie, MovieCloseCallback callback) {
    MovieRecord* m = GetMovieRecord(movie);
    if (!m) return -1;
    m->close_callback = callback;
    return 0;
}

// The Theora frame due now, from the audio's play time or else the clock.
static void AdvanceTheoraMovie(MovieRecord* m) {
    TheoraMovieInfo info;
    GetTheoraMovieInfo(m->decoder, &info);
    const int n = info.frame_count;
    if (n <= 0) return;
    const bool loop = (m->play_type & MOVIE_PLAY_LOOP_BIT) != 0;
    const int played_ms = m->audio != -1 ? GetSoundHandlePlayTime(m->audio) : -1;
    const bool on_audio = played_ms >= 0;
    const int64_t t = on_audio ? (int64_t)played_ms * 1000 : GetTickUs(0) - m->time_base;
    const double due = (double)t * info.fps / 1000000.0;
    int64_t frame = due <= 0 ? 0 : due >= 9.0e18 ? INT64_MAX : (int64_t)due;
    if (frame >= n) frame = on_audio || !loop ? n - 1 : frame % n;
    const int current = GetTheoraCurrentFrame(m->decoder);
    if (frame != current) {
        AdvanceTheoraFrames(m->decoder, frame > current ? (int)frame - current : n - current + (int)frame);
    } else if (frame == n - 1 && !loop && !on_audio) {
        m->playing = 0;
        m->paused = 1;
    }
}

int UpdateMovieFrame(int movie) {
    MovieRecord* m = GetMovieRecord(movie);
    if (!m) return -1;
    if (m->theora) {
        if (!m->paused) AdvanceTheoraMovie(m);
        if (m->callback) {
            m->callback(m, m->callback_user);
            m->frame_updated = 1;
        }
        return 0;
    }
    return UpdateMovieFrameDirectShow(m);
}

int PauseMovie(int movie, int keep_playing) {
    MovieRecord* m = GetMovieRecord(movie);
    if (!m) return -1;
    if (m->paused) return 0;
    if (m->theora) {
        if (m->audio != -1) StopSoundHandle(m->audio);
        UpdateMovieFrame(movie);
    } else {
        if (!m->control) return 0;
        m->control->Pause();
    }
    m->paused = 1;
    if (!keep_playing) m->playing = 0;
    return 0;
}

int SystemPauseAllMovies() {
    for (int s = 0; s < g_movies.capacity; s++) {
        int h = HandleTableHandleAt(&g_movies, s);
        if (h != -1) PauseMovie(h, 1);
    }
    return 0;
}

int ResumeSystemPausedMovies() {
    for (int s = 0; s < g_movies.capacity; s++) {
        MovieRecord* m = (MovieRecord*)g_movies.records[s];
        if (!m || !m->paused || !m->playing) continue;
        if (m->play_type == 0) m->play_type = 1;
        if (m->theora) {
            TheoraMovieInfo info;
            GetTheoraMovieInfo(m->decoder, &info);
            // 64-bit: a 32-bit offset would overflow after about 35 minutes.
            const double frame_us = info.fps > 0 ? 1000000.0 / info.fps : 0.0;
            m->time_base = GetTickUs(0) - (int64_t)(frame_us * GetTheoraCurrentFrame(m->decoder));
            if (m->audio != -1) PlaySoundHandle(m->audio, m->play_type, 0);
        } else if (m->control) {
            m->control->Run();
        }
        m->paused = 0;
        m->playing = 1;
    }
    return 0;
}

int CloseAllMovies() {
    for (int s = 0; s < g_movies.capacity; s++) {
        int h = HandleTableHandleAt(&g_movies, s);
        if (h != -1) CloseMovie(h);
    }
    return 0;
}

int ReleaseMovieSurfaces() {
    for (int s = 0; s < g_movies.capacity; s++) {
        MovieRecord* m = (MovieRecord*)g_movies.records[s];
        if (m && m->theora) ReleaseTheoraYuvSurface(m->decoder);
    }
    return 0;
}

int RecreateMovieSurfaces() {
    for (int s = 0; s < g_movies.capacity; s++) {
        MovieRecord* m = (MovieRecord*)g_movies.records[s];
        if (m && m->theora) RecreateTheoraYuvSurface(m->decoder);
    }
    return 0;
}
