// What the movie overlay asks of DirectDraw, which this engine does not use.
#pragma once

// Always 0: the overlay's primary-surface query, so its destination is null.
int ReturnZeroStub();
// A zero-filled DirectDraw capabilities record (every alignment capability 0).
const void* ZeroDirectDrawCaps();
