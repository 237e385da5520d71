// One of the demo product's three runtime libraries (VORTAMIX.DLL, DUDURU2.DLL, DUVOZER.DLL):
// clearly marked stand-ins that only say what they stand for. The build compiles this file once
// per library with RUNTIME_DESCRIPTION set.
#ifndef RUNTIME_DESCRIPTION
#error "RUNTIME_DESCRIPTION names the library this build stands in for"
#endif

extern "C" __declspec(dllexport) const char *qel_runtime_describe() {
    return RUNTIME_DESCRIPTION " (demo stand-in)";
}
