// Graphics loaded from files, and graphics that show a movie. The engine has no
// picture decoder, so a file that exists is opened as a movie.
#pragma once
#include <cstdint>

struct MovieRecord;

// A graphic showing the file: with a movie, a graphic of the movie's (coded)
// frame size bound to it, which closes with the graphic (a movie closed first
// leaves the graphic its last frame, unbound). The handle or -1.
// movie_flags goes to OpenMovie.
int LoadGraphicFile(const char* path, int movie_flags = 0);
// The frame callback of a movie-bound graphic: takes the movie's current frame
// into the graphic (from the Direct3D YUV surface when there is one).
void UpdateGraphicFromMovie(MovieRecord* movie, uint32_t graphic);
// The movie bound to the graphic, 0 when none (or -1 for a bad handle).
int GetGraphicMovie(int graphic);
