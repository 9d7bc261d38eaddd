// Between the movie handle operations and their filter-graph and overlay halves.
#pragma once
#include <windows.h>

#include "engine/movie/movie.h"

// The filter-graph frame step of UpdateMovieFrame. Returns 0.
int UpdateMovieFrameDirectShow(MovieRecord* m);
// CloseMovie's release of the temporary copy, the overlay, the graph's
// interfaces and the frame buffer.
void CloseMovieDirectShowParts(MovieRecord* m);
// Hides the movie's overlay (overlay mode only).
void HideMovieOverlay(MovieRecord* m);
// The handle of the movie in a slot, or -1 when it is empty.
int GetMovieHandleAt(int slot);
// The longest each filter-graph render of a movie file may block (10 s; tests shorten it).
void SetMovieRenderTimeLimit(DWORD ms);

// Temporary copies: a copy the platform still has open stays listed, and the
// end (DeleteLeftBehindMovieCopies) tries it again.
struct TempCopy;
void DeleteTempCopy(const wchar_t* path);
// A copy that a render left behind at its limit still has; the render deletes
// it through DeleteTempCopyOfRender when it returns (null: out of memory).
TempCopy* HandTempCopyToRender(const wchar_t* path);
void DeleteTempCopyOfRender(TempCopy* copy);
