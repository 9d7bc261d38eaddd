// The renderers a graph builder chose, swapped for null renderers: a graph
// built to decode a file then neither plays nor shows anything, and runs as
// fast as its filters deliver.
#pragma once
#include <windows.h>
#include <dshow.h>

// Every filter with a connected input and no output pin leaves the graph, and
// each stream it ended goes on into a null renderer of its own; `first` (not
// yet in the graph) serves the first stream, the others are made here and
// held by the graph alone. Null when done, else the log line (also when the
// graph held no renderer).
const char* ReplaceRenderersWithNullRenderers(IGraphBuilder* graph, IBaseFilter* first);
