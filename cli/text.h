// Text helpers of the command line: how a failure reaches the user, how
// numbers are read from arguments and shown.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "json.h"

// Exit statuses.
constexpr int ExitOk = 0;
constexpr int ExitFailure = 1;  // the command could not be carried out
constexpr int ExitUsage = 2;    // the command line itself is wrong

// A refusal or failure, carried up to main, which prints its one line on
// standard error and exits with its status; under --json, `fields` join the
// failure's document (a refused plan's problems).
struct CliFailure : std::runtime_error {
    int status;
    Json fields;
    CliFailure(int status, const std::string& message, Json fields = Json::Object())
        : std::runtime_error(message), status(status), fields(std::move(fields)) {}
};

[[noreturn]] void Fail(const std::string& message);       // status 1
[[noreturn]] void BadUsage(const std::string& message);   // status 2

// Parses a hexadecimal number, with or without a 0x prefix, the whole text
// and nothing else; `what` names the argument in the message on failure.
uint32_t ParseHex(const std::string& text, const char* what);
// Parses a decimal number (an ID, an index, a count), the whole text and
// nothing else; `what` names the argument in the message on failure.
int ParseDecimal(const std::string& text, const char* what);

// The word after its article: "a compressed", "an uncompressed".
std::string WithArticle(const std::string& word);
// A signal-to-noise ratio for people: "exact" for an encoding without error
// (an infinite ratio, as silence gives), else the decibels and `unit`.
std::string SnrText(double snrDb, const char* unit = " dB");

// "0x" and upper-case hexadecimal digits, as the dialog shows offsets;
// HexWord shows all eight digits, for pointer words.
std::string Hex(uint64_t value);
std::string HexWord(uint32_t value);

