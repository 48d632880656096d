// A panel module of another build, for the test that the program refuses it.

extern "C" __attribute__((visibility("default"))) const char* velmora_panel_build() {
    return "0.0-another";
}

extern "C" __attribute__((visibility("default"))) int
velmora_run_panel(int, char**, const char*, const char*, const char*, const char*) {
    return 99; // never reached: the program stops at the build
}
