// Machine output: one JSON document per command on standard output, and one
// JSON shape for each kind of thing the commands report (an entry, a sample,
// a pointer update, a plan), with every key present (null where there is
// nothing) and rates in whole Hz.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "context.h"
#include "plan.h"

using nlohmann::json;

// Prints the document; text that is not valid UTF-8 is replaced, not fatal.
void PrintJson(const json& j);

// Bytes from the image shown as text: printable ASCII as it is, anything else
// as \xNN, so that a game code of any bytes can be printed and stored in JSON.
std::string PrintableBytes(const char* bytes, size_t size);


json SampleJson(const SampleInfo& s);
// One row per entry: its ID (null for an entry no ID reaches) and index.
json EntryJson(const RomContext& ctx, std::optional<int> id, int index);
json UpdateJson(const PointerUpdate& u);
// A plan, its cries named by ID under the context's rule; `extra` holds, per
// index, keys a command adds to its cry's row (e.g. the encoding's SNR).
json PlanJson(const RomContext& ctx, const Plan& plan, const std::map<int, json>& extra = {});
json IdsJson(const std::vector<int>& ids);

// A bar of 40 cells on standard error, redrawn in place.
void ShowProgress(int done, int total);
