#pragma once
// Background threads (a paging run and its helpers) on a 2-core machine
// share the processors with the render thread and the rasteriser's threads;
// a frame must not wait for them. Linux gives every thread its own nice
// value, inherited by the threads it starts.

// Nice levels a background thread runs below the process's main thread.
constexpr int kBackgroundNice = 10;

// Sets the calling thread's nice value to at least the main thread's plus
// `steps` (at most 19): never raises it, so calling it again, or on a helper
// of a thread already lowered, changes nothing. 0, or -1 when the value
// cannot be read or set (the thread then runs as before). Any thread.
int LowerThreadPriority(int steps = kBackgroundNice);
