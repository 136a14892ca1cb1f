// Running the built virtual tuner in a child process.
//
// The library reads its band once per process, on the first CheckForDVBEx,
// and counts calls from the start of the process for its fault plan. Each
// case therefore forks a fresh child that points TRESSEL_VIRTUAL_BAND at its
// own band file, loads libHalvex.so with dlopen and runs the case's body
// there. GoogleTest assertions work as usual inside the body: the child
// prints its failures and exits nonzero, and the parent test then fails.
#pragma once

#include <functional>
#include <string>

#include "tuner/TunerApi.h"

namespace vttest {

// The seven exports of the loaded library, in the program's own record.
using Exports = tressel::TunerApi;

using Body = std::function<void(const Exports&)>;

// Runs body against the band that bandText describes, written to a fresh
// band file.
void WithBand(const std::string& bandText, const Body& body);

// Runs body with TRESSEL_VIRTUAL_BAND set to path as it is (it may name a
// missing file); an empty path leaves the variable set but empty.
void WithBandPath(const std::string& path, const Body& body);

// Runs body with TRESSEL_VIRTUAL_BAND unset: the built-in band.
void WithBuiltInBand(const Body& body);

// Inside a body: the band file in use, and what the library has written to
// standard error so far.
std::string BandPath();
std::string TunerStderr();

// Inside a body: calls CheckForDVBEx and returns its result; devices receives
// one "number:name" line per callback.
int32_t CheckDevices(const Exports& tuner, std::string* devices);

} // namespace vttest
