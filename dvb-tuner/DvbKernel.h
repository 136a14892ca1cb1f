// The kernel's DVBv5 frontend and demux interface, plus the values that
// kernels newer than Debian 12's headers define (same numbers as the kernel).
#pragma once

#include <sys/ioctl.h>

#include <linux/dvb/dmx.h>
#include <linux/dvb/frontend.h>

// Code rates added with DVB-S2X (kernel 6.2).
#ifndef FEC_1_3
#define FEC_1_3 13
#define FEC_1_4 14
#define FEC_5_9 15
#define FEC_7_9 16
#define FEC_8_15 17
#define FEC_11_15 18
#define FEC_13_18 19
#define FEC_9_20 20
#define FEC_11_20 21
#define FEC_23_36 22
#define FEC_25_36 23
#define FEC_13_45 24
#define FEC_26_45 25
#define FEC_28_45 26
#define FEC_32_45 27
#define FEC_77_90 28
#define FEC_11_45 29
#define FEC_4_15 30
#define FEC_14_45 31
#define FEC_7_15 32
#endif

// Constellations added with DVB-C2 and DVB-S2X (kernel 6.2).
#ifndef QAM_1024
#define QAM_1024 14
#define QAM_4096 15
#define APSK_8_L 16
#define APSK_16_L 17
#define APSK_32_L 18
#define APSK_64 19
#define APSK_64_L 20
#endif

#ifndef GUARD_INTERVAL_1_64
#define GUARD_INTERVAL_1_64 11
#endif

#ifndef SYS_DVBC2
#define SYS_DVBC2 19
#endif
