// Which triangle loops ran: a hook for tests, like blit_stats.h. Nothing is
// counted until an array is given; each call of a loop then adds one to its entry.
#pragma once
#include <cstdint>

int TriangleLoopTotal();
// counts: TriangleLoopTotal() entries, or null to stop counting.
void TriangleSetLoopCounter(uint32_t* counts);
// A readable name of loop id ("16 palette add graph bright trans", "flat 32 copy"); 0 or -1.
int TriangleLoopName(int id, char* buf, int size);
