// Leaks the sanitizer is told to ignore in every test program.
// libwmf's gd device hands the drawn picture back as an image it exports no function to
// free; each metafile the picture check draws leaves that image behind.
extern "C" const char* __lsan_default_suppressions() { return "leak:libwmf\n"; }
