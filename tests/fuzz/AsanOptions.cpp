// The address sanitizer's settings for the fuzz targets (ASAN_OPTIONS still overrides
// them). A run is one input, a few kilobytes allocated and freed: a use after free is
// caught within it as well with a 16 MB quarantine as with the default 256 MB, and the
// stacks of where memory was allocated and freed are cut to 8 frames (the crash's own
// stack stays whole; replayed in the sanitizer build of the tests, a finding shows them
// all). Both cut what each allocation costs, a large part of a small input's run.
extern "C" const char* __asan_default_options()
{
    return "quarantine_size_mb=16:malloc_context_size=8";
}
