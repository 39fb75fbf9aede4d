// The address sanitizer's defaults for the harnesses, tuned for millions of short inputs: a
// quarantine of freed memory large enough for the use-after-free of one input to be caught (an
// input allocates far less), but small enough that new allocations reuse warm memory instead
// of faulting in fresh pages; allocation stacks cut to the frames that name the culprit, since
// recording thirty frames per allocation was a large share of every step. ASAN_OPTIONS set in
// the environment still override these, e.g. malloc_context_size=30 to replay a crash.
extern "C" const char* __asan_default_options() {
    return "quarantine_size_mb=32:malloc_context_size=8";
}
