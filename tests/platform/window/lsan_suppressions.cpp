// Leak-checker suppressions of the window tests: allocations the system libraries keep on purpose.
// SDL, X, Mesa and fontconfig keep a few allocations for the life of the process (caches, the
// connection to the display); they are not the program's.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libX11\nleak:libfontconfig\nleak:libSDL2\nleak:libdbus\nleak:libxcb\nleak:libGLX\n"
         "leak:libGL\nleak:swrast\nleak:libLLVM\nleak:libgallium\nleak:libXi\nleak:libXcursor\n"
         "leak:libglapi\nleak:libdrm\n";
}

