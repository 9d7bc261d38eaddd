// Which generated blit loops ran: a hook for tests. Nothing is counted until an
// array is given; each call of a loop then adds one to its entry.
#pragma once
#include <cstdint>

int BlitLoopTotal();
// counts: BlitLoopTotal() entries, or null to stop counting.
void BlitSetLoopCounter(uint32_t* counts);
// A readable name of loop id ("pixel 16 palette add graph bright trans"); 0 or -1.
int BlitLoopName(int id, char* buf, int size);
