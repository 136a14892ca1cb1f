// Loads the tuner library at run time and resolves its seven exports into
// gTuner.
#pragma once

namespace tressel {

// Loads the library named by the platform (Halvex.dll, or libHalvex.so in
// exeDir unless TRESSEL_TUNER_LIBRARY names another) and fills gTuner.
// Returns 0; or -1 after one line on standard error naming the library (and
// the missing export) when it cannot be loaded or lacks an export. On
// failure gTuner is left empty and nothing of the library has been called.
int LoadTunerLibrary(const char* exeDir);

// Empties gTuner and unloads the library (safe when none is loaded).
void UnloadTunerLibrary();

} // namespace tressel
