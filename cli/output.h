// Machine output: one JSON document per command on standard output, in the
// shapes every front end shares (report.h), with every key present (null
// where there is nothing) and rates in whole Hz.
#pragma once

#include <string>

#include "context.h"
#include "report.h"

// Prints the document; text that is not valid UTF-8 is replaced, not fatal.
void PrintJson(const Json& j);

// Bytes from the image shown as text: printable ASCII as it is, anything else
// as \xNN, so that a game code of any bytes can be printed and stored in JSON.
std::string PrintableBytes(const char* bytes, size_t size);

// One row per entry: its ID (null for an entry no ID reaches) and index.
Json EntryJson(const RomContext& ctx, const EntryRow& row);
// A plan, its cries named by ID under the context's rule; `extra` holds, per
// index, keys a command adds to its cry's row (e.g. the encoding's SNR).
Json PlanJson(const RomContext& ctx, const Plan& plan, const std::map<int, Json>& extra = {});

// A bar of 40 cells on standard error, redrawn in place.
void ShowProgress(int done, int total);
