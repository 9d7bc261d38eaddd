// MP3 decoded to PCM through the platform's filter graph: our memory reader,
// the platform's parser and decoder, our sample grabber, the null renderer.
#pragma once
#include <windows.h>
#include <dshow.h>

#include "engine/sound/sound_convert.h"

// The longest Render may read the file and the run may go without progress (10 s; tests shorten it).
void SetMp3GraphTimeLimit(DWORD ms);
// 0 when the whole file is decoded into the converter's PCM image (method 3), -1 otherwise.
int ConvertMp3ToPcm(SoundConverter* conv);
// Grabber callback: appends the sample's bytes to the converter (context); S_OK always.
HRESULT GrabberAppendPcm(IMediaSample* sample, REFERENCE_TIME* start, REFERENCE_TIME* stop, BOOL typeChanged,
                         void* context);
// The log line for a connected type that is no usable PCM (null when it is).
const char* DescribeUnusablePcmFormat(const AM_MEDIA_TYPE& type);
// Waits for the graph's end in 100 ms steps, pumping messages between them: null once complete, else the log
// line (an abort, queued or reported; the end requested; no PCM and no event for stallMs).
const char* WaitForMp3Graph(IMediaEvent* events, const SoundConverterPcmImage* image, DWORD stallMs);
