// The filter-graph half of movie handles.
#include <windows.h>
#include <dshow.h>

#include "engine/movie/movie_internal.h"
#include "engine/system/memory.h"

int OpenMovieDirectShow(MovieRecord* m, const char* path, int* width, int* height) {
    (void)m, (void)path, (void)width, (void)height;
    // WIRE(movie-renderer): the filter graph with the movie renderer as its video sink.
    return -1;
}

int UpdateMovieFrameDirectShow(MovieRecord* m) {
    // WIRE(movie-renderer): a new frame of the renderer into the record's image and the callback.
    if (m->seeking && m->control) {
        LONGLONG now = 0;
        if (SUCCEEDED(m->seeking->GetCurrentPosition(&now)) && now >= m->stop_position) {
            if (m->play_type & MOVIE_PLAY_LOOP_BIT) {
                LONGLONG start = 0;
                m->seeking->SetPositions(&start, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
                m->control->Run();
            } else {
                m->playing = 0;
                m->paused = 1;
            }
        }
    }
    return 0;
}

template <class T>
static void ReleaseInterface(T*& p) {
    if (p) p->Release();
    p = nullptr;
}

void CloseMovieDirectShowParts(MovieRecord* m) {
    if (m->temp_copy) {
        DeleteFileW(m->wide_path);
        m->temp_copy = 0;
    }
    if (m->overlay_mode) HideMovieOverlay(m);
    ReleaseInterface(m->overlay_surface);
    ReleaseInterface(m->basic_audio);
    ReleaseInterface(m->seeking);
    ReleaseInterface(m->control);
    ReleaseInterface(m->graph);
    m->renderer = nullptr;
    // The renderer's last frame buffer, which the image took over.
    MemFree(m->image.pixels);
    m->image.pixels = nullptr;
}
