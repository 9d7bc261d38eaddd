// Movie handles (handle type 3): an Ogg Theora file plays through the engine's
// own decoder with its Vorbis track as a stream sound; any other file goes to
// the platform's filter graph. Frames reach the screen through a bound graphic,
// whose frame callback UpdateMovieFrame runs. Movies open paused.
#pragma once
#include <cstdint>

#include "engine/image/pixel_format.h"
#include "engine/system/rect.h"

struct TheoraDecoder;
struct IGraphBuilder;
struct IMediaControl;
struct IMediaSeeking;
struct IBasicAudio;
struct IDirectDrawSurface7;
class D_CMovieRenderer;
struct MovieRecord;

enum { MOVIE_HANDLE_MAX = 100, MOVIE_PLAY_LOOP_BIT = 2 };

typedef void (*MovieFrameCallback)(MovieRecord* movie, uint32_t user);
// Run by CloseMovie before the movie's frame images go, with the frame callback's user value.
typedef void (*MovieCloseCallback)(int movie, uint32_t user);

struct MovieRecord {
    int check;
    int32_t play_type;          // 1 after opening; bit 2 loops
    int32_t theora;
    TheoraDecoder* decoder;
    int64_t time_base;          // GetTickUs value at which frame 0 was due
    uint32_t theora_file;       // file-layer handle, 0 when none
    int32_t audio;              // the Vorbis track's sound handle, -1 when none
    IDirectDrawSurface7* overlay_surface;
    IGraphBuilder* graph;
    IMediaControl* control;
    IMediaSeeking* seeking;
    IBasicAudio* basic_audio;
    D_CMovieRenderer* renderer;  // held by the graph
    int32_t temp_copy;
    wchar_t wide_path[260];
    int64_t stop_position;      // 100 ns units
    int32_t width, height;
    int32_t graphic_flag;
    int32_t playing;
    int32_t paused;
    int32_t frame_updated;
    int32_t overlay_mode;
    BaseImage image;            // the filter-graph movie's frame
    BaseImage* image_ptr;       // where the current frame is
    int32_t overlay_x, overlay_y, overlay_scale, overlay_shown;
    Rect overlay_src, overlay_dst;
    MovieFrameCallback callback;
    uint32_t callback_user;
    MovieCloseCallback close_callback;
};

// The handle, or -1 (with a log line, except when 100 movies are open).
// width and height may be null; flags has no effect.
int OpenMovie(const char* path, int* width, int* height, int flags);
// The filter-graph half of OpenMovie. 0 or -1.
int OpenMovieDirectShow(MovieRecord* movie, const char* path, int* width, int* height);
int CloseMovie(int movie);
MovieRecord* GetMovieRecord(int movie);
// Brings the movie to the frame due now and runs the frame callback. 0 or -1.
int UpdateMovieFrame(int movie);
int SetMovieFrameCallback(int movie, MovieFrameCallback callback, uint32_t user);
// Whoever holds on to the frame images lets go of them here. 0 or -1.
int SetMovieCloseCallback(int movie, MovieCloseCallback callback);
// keep_playing 1: a system pause, undone by ResumeSystemPausedMovies. 0 or -1.
int PauseMovie(int movie, int keep_playing);
int SystemPauseAllMovies();
int ResumeSystemPausedMovies();
int DrawOverlayMovie(int x, int y, int scale, int movie, int show);
int RedrawOverlayMovies();

// Engine end: closes the movies still open (before the device goes). Returns 0.
int CloseAllMovies();
// Engine end: deletes the temporary copies of renders left behind at their time
// limit, and logs the name of any the platform still holds open.
void DeleteLeftBehindMovieCopies();
// Around a device reset or re-creation: the Theora YUV surfaces go and come back.
int ReleaseMovieSurfaces();
int RecreateMovieSurfaces();
// Open movies.
int GetMovieCount();
