// The detailed transponder report of one pass.
#pragma once

#include <cstdint>

#include "tuner/TransponderInfo.h"

namespace tressel {

// Writes one block of lines per record, in table order, and the pass's scan
// time (seconds) to the text file at path, replacing any file there once the
// new one is complete. Records are read, never changed.
// Returns 0 when the report was written; -1 when path or table is null or
// count is 0 (no file is touched); -2 when the file cannot be created, a
// write or the close fails, or it cannot replace the old file (the old file
// then stays as it was).
int WriteReport(const char* path, const TransponderInfo* table, uint32_t count, double scanTime);

} // namespace tressel
