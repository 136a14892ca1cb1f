// Kernel values and the transponder record's codes: one table per field.
// A kernel value that a table does not list (AUTO among them) gives 0, the
// record's "not known" code, except where noted.
#pragma once

#include <cstdint>

namespace tressel {
namespace dvb {

struct ValuePair {
    uint32_t Kernel;
    uint32_t Code;
};

enum class Field {
    DeliverySystem, // fe_delivery_system -> Standard
    Modulation,     // fe_modulation -> Modulation
    CodeRate,       // fe_code_rate -> Fec, FecLp
    TransmissionMode,
    GuardInterval,
    Hierarchy,
    Inversion, // fe_spectral_inversion -> Spectrum
};

// The record code of a kernel value of the field; 0 when the table has none.
uint32_t MapKernelValue(Field field, uint32_t kernelValue);

// The table behind a field, for tests: its pairs and their number.
const ValuePair* MapTable(Field field, uint32_t* count);

} // namespace dvb
} // namespace tressel
