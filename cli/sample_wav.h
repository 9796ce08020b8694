// A sample of the image written to a WAV file, as dump and dump-all write
// them: at the sample's own rate, resampled to another, or under the
// dialog's header.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "romfile.h"

// Bad usage for a --rate no WAV file holds, or one given with --dialog-header.
void CheckDumpRate(const std::optional<uint32_t>& rate, bool dialogHeader);

// Why the sample cannot be dumped, or empty when it can.
std::string DumpProblem(const SampleInfo& s, bool dialogHeader);

// The rate of the WAV: the dialog header's, the one asked for, or the sample's own.
uint32_t DumpRate(const SampleInfo& s, const std::optional<uint32_t>& rate, bool dialogHeader);

// Writes the WAV; returns how many values it holds.
size_t WriteSampleWav(const Bytes& rom, const SampleInfo& s, uint32_t rate, bool dialogHeader, const std::string& path);
