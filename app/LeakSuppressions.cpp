// Linked into the sanitizer builds of the programs and tests that start Qt's desktop platform.
// The desktop bus library keeps one buffer for the life of the process and frees it nowhere;
// without this every exit of a debug window ends in a leak report nobody can act on. Real
// leaks are still reported; the count of suppressed ones is not printed.
extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_options();

extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n";
}

extern "C" const char* __lsan_default_options() {
    return "print_suppressions=0";
}
