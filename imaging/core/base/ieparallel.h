// Runs the independent rows of a kernel on several threads. Only kernels whose
// rows do not depend on each other use it, so the pixels come out the same
// whatever the thread count; only the granularity of progress reports changes.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/base/types.h"

// Thread count of IEParallelRows: 0 (the default) uses one thread per
// processor, 1 forces every kernel onto the calling thread (benchmarks,
// debugging), n uses at most n threads.
void IESetParallelThreads(Integer Count);
Integer IEParallelThreads();
// Threads a call would use now (at least 1).
Integer IEParallelThreadCount();

// Rows First .. Last - 1.
using TIERowRange = std::function<void(Integer First, Integer Last)>;
// Rows finished so far; never decreasing.
using TIERowsDone = std::function<void(Integer Done)>;

// Calls Body over the rows 0 .. Count - 1, each row exactly once, in chunks
// spread over the pool's threads and the calling thread. RowCost is a rough
// measure of the work of one row (bytes touched times taps, say): small jobs
// stay on the calling thread, where a thread switch would cost more than it
// saves. With Parallel false (a picture in a temporary file, whose rows must
// be reached one at a time) the rows always run on the calling thread.
// Done is called on the calling thread only: after every row when the rows
// run there, after each chunk otherwise, and finally with Count.
// The first exception raised by Body stops the chunks not yet started and
// is raised again here once every thread has left Body.
// A call from inside Body, or while another thread's call has the pool,
// runs on the calling thread.
void IEParallelRows(Integer Count, int64_t RowCost, const TIERowRange& Body, const TIERowsDone& Done = nullptr,
                    bool Parallel = true);
