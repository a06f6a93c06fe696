// A shared library that is not a module: it lacks the entry the host calls.

extern "C" __attribute__((visibility("default"))) int NotAModule() { return 1; }
