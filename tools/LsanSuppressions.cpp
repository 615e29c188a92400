// Built into sanitizer builds only. fontconfig, which Pango starts on a
// thread of its own, loses a block while it parses its configuration; the
// block is allocated once per process and never by our code, so the leak
// checker is told to skip allocations made inside fontconfig, to report
// everything else, and not to list the skipped block on stderr (where the
// command's own messages go).

extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_options();

extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
extern "C" const char* __lsan_default_options() { return "print_suppressions=0"; }
