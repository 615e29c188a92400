// Fontconfig loads its configuration once per process and keeps it until
// exit; the leak checker of the sanitizer build reports that as lost. It is
// no leak of ours and does not grow, so the tests that render tell the
// checker to ignore allocations made inside fontconfig.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
