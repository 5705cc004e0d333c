// Linked into every program of a sanitizer build, so that each one runs with
// the same settings however it is started: by ctest, by a script, as another user.

// Memory that the system's libraries keep for the whole process and never
// give back; it is not Ondril's to free.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libdbus-1.so\n"
           "leak:libfontconfig.so\n";
}

// Undefined behaviour is a failure, not a remark.
extern "C" const char *__ubsan_default_options()
{
    return "print_stacktrace=1:halt_on_error=1";
}

// The tests preload a stand-in for a serial port's control lines ahead of the
// sanitizer's own library.
extern "C" const char *__asan_default_options()
{
    return "verify_asan_link_order=0";
}
