// The API lock: recursive, waiting threads served in arrival order.
#pragma once

int LibraryLockInit();
void LibraryLockTerm();
void LibraryLockEnter();
void LibraryLockLeave();
// Thread id of the owner, or -1 when free.
int LibraryLockOwner();
