// The record's codes (those of the value names) turned into what a kernel
// driver reports and what a broadcaster writes into its delivery
// descriptors. Pure tables, no state.
#pragma once

#include <cstdint>

#include "tuner/TransponderInfo.h"

namespace tressel {
namespace dvbsim {

// Kernel values newer than Debian 12's headers, with the kernel's numbers.
constexpr uint32_t kKernelQam1024 = 14;
constexpr uint32_t kKernelQam4096 = 15;
constexpr uint32_t kKernelFec1_3 = 13;
constexpr uint32_t kKernelFec1_4 = 14;
constexpr uint32_t kKernelGuard1_64 = 11;

// Kernel enum values (fe_modulation, fe_code_rate, fe_transmit_mode,
// fe_guard_interval, fe_hierarchy, fe_spectral_inversion) of record codes.
// A code the kernel has no value for gives the enum's AUTO.
uint32_t KernelModulation(uint32_t code);
uint32_t KernelCodeRate(uint32_t code);
uint32_t KernelTransmissionMode(uint32_t code);
uint32_t KernelGuardInterval(uint32_t code);
uint32_t KernelHierarchy(uint32_t code);
uint32_t KernelInversion(uint32_t spectrumCode);

// The kernel delivery system (enum fe_delivery_system) a transponder is
// broadcast in, or 0 when the kernel has none (DVB-C2). DVB-C is Annex A;
// ATSC is 8VSB, or US cable QAM (Annex B) when its modulation is a QAM.
uint32_t KernelDeliverySystem(const TransponderInfo* t);

// True when a frontend tuned to kernel delivery system system can lock the
// transponder (DVB-C locks as Annex A or C).
bool SystemCarries(uint32_t system, const TransponderInfo* t);

// Delivery-descriptor fields. Each returns the descriptor's code for the
// record code, or a reserved value where the descriptor has none.
uint8_t TerrestrialBandwidth(uint32_t bandwidthKHz);   // 0x5A: 0 8 MHz ... 3 5 MHz
uint8_t TerrestrialConstellation(uint32_t modulation); // 0x5A: 0 QPSK, 1 16-QAM, 2 64-QAM
uint8_t TerrestrialCodeRate(uint32_t fec);             // 0x5A: 0 1/2 ... 4 7/8
uint8_t TerrestrialGuard(uint32_t guard);              // 0x5A: 0 1/32 ... 3 1/4
uint8_t TerrestrialMode(uint32_t mode);                // 0x5A: 0 2k, 1 8k, 2 4k
uint8_t T2Bandwidth(uint32_t bandwidthKHz);            // 0x7F/0x04: 0 8 MHz ... 5 1.7 MHz
uint8_t T2Guard(uint32_t guard);                       // 0x7F/0x04: 0 1/32 ... 6 19/256
uint8_t T2Mode(uint32_t mode);                         // 0x7F/0x04: 0 2k ... 5 32k
uint8_t CableModulation(uint32_t modulation);          // 0x44: 1 16-QAM ... 5 256-QAM
uint8_t CableInnerFec(uint32_t fec);                   // 0x44: 1 1/2 ... 9 9/10, 15 none

// Binary-coded decimal of the low digits of value, digits wide.
uint32_t ToBcd(uint32_t value, uint32_t digits);

} // namespace dvbsim
} // namespace tressel
