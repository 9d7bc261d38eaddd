// The DirectDraw overlay presentation of filter-graph movies. Nothing in this
// engine makes an overlay surface, so these calls find no movie in overlay mode.
#include <windows.h>
#include <ddraw.h>

#include "engine/graphics/direct_draw_stub.h"
#include "engine/movie/movie_internal.h"
#include "engine/system/window.h"

void HideMovieOverlay(MovieRecord* m) {
    if (m->overlay_surface)
        m->overlay_surface->UpdateOverlay(nullptr, (IDirectDrawSurface7*)(intptr_t)ReturnZeroStub(), nullptr,
                                          DDOVER_HIDE, nullptr);
}

static bool SameRect(const Rect& a, const Rect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// Moves left down to a multiple of the alignment and the width down likewise,
// when the capability bit is set and the alignment is not zero.
static void Align(int32_t* left, int32_t* right, DWORD caps, DWORD left_bit, DWORD left_align, DWORD size_bit,
                  DWORD size_align) {
    if ((caps & left_bit) && left_align) *left -= *left % (int32_t)left_align;
    if ((caps & size_bit) && size_align) {
        int32_t w = *right - *left;
        *right = *left + (w - w % (int32_t)size_align);
    }
}

int DrawOverlayMovie(int x, int y, int scale, int movie, int show) {
    MovieRecord* m = GetMovieRecord(movie);
    if (!m) return -1;
    if (!m->overlay_mode || !m->frame_updated) return 0;
    Rect src = {0, 0, m->width, m->height};
    Rect dst = {x, y, x + m->width * scale, y + m->height * scale};
    Rect work = dst;
    HWND window = GetMainWindow();
    if (IsWindowMode() && window) {
        HDC dc = GetDC(window);
        RECT box;
        int region = GetClipBox(dc, &box);
        ReleaseDC(window, dc);
        if (region == NULLREGION || region == COMPLEXREGION || region == ERROR) {
            show = 0;
        } else {
            Rect clip = {box.left, box.top, box.right, box.bottom};
            ClipRectToRect(&work, &clip);
        }
    }
    int client[4];
    GetClientScreenRect(client, 0);
    dst.left += client[0], dst.right += client[0], dst.top += client[1], dst.bottom += client[1];
    work.left += client[0], work.right += client[0], work.top += client[1], work.bottom += client[1];
    Rect client_rect = {client[0], client[1], client[2], client[3]};
    ClipRectToRect(&work, &client_rect);
    if (work.right <= work.left || work.bottom <= work.top) show = 0;
    if (scale > 0) {
        src.left += (work.left - dst.left) / scale;
        src.top += (work.top - dst.top) / scale;
        src.right -= (dst.right - work.right) / scale;
        src.bottom -= (dst.bottom - work.bottom) / scale;
    }
    dst = work;
    const DDCAPS* caps = (const DDCAPS*)ZeroDirectDrawCaps();
    Align(&src.left, &src.right, caps->dwCaps, DDCAPS_ALIGNBOUNDARYSRC, caps->dwAlignBoundarySrc,
          DDCAPS_ALIGNSIZESRC, caps->dwAlignSizeSrc);
    Align(&dst.left, &dst.right, caps->dwCaps, DDCAPS_ALIGNBOUNDARYDEST, caps->dwAlignBoundaryDest,
          DDCAPS_ALIGNSIZEDEST, caps->dwAlignSizeDest);
    IDirectDrawSurface7* primary = (IDirectDrawSurface7*)(intptr_t)ReturnZeroStub();
    if (dst.right - dst.left < 1 || !show) {
        if (m->overlay_surface) m->overlay_surface->UpdateOverlay(nullptr, primary, nullptr, DDOVER_HIDE, nullptr);
        m->overlay_src = Rect{0, 0, 0, 0};
        m->overlay_dst = Rect{0, 0, 0, 0};
    } else if (!SameRect(src, m->overlay_src) && !SameRect(dst, m->overlay_dst)) {
        RECT s = {src.left, src.top, src.right, src.bottom}, d = {dst.left, dst.top, dst.right, dst.bottom};
        if (m->overlay_surface) m->overlay_surface->UpdateOverlay(&s, primary, &d, DDOVER_SHOW, nullptr);
    }
    m->overlay_x = x, m->overlay_y = y, m->overlay_scale = scale, m->overlay_shown = show;
    m->overlay_src = src;
    m->overlay_dst = dst;
    return 0;
}

int RedrawOverlayMovies() {
    for (int s = 0; s < MOVIE_HANDLE_MAX; s++) {
        // Only filter-graph movies in overlay mode are presented this way.
        int h = GetMovieHandleAt(s);
        MovieRecord* m = GetMovieRecord(h);
        if (m && !m->theora && m->overlay_mode)
            DrawOverlayMovie(m->overlay_x, m->overlay_y, m->overlay_scale, h, m->overlay_shown);
    }
    return 0;
}
