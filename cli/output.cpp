#include "output.h"

#include <cstdio>
#include <iostream>

#include "words.h"

void PrintJson(const Json& j) { std::cout << j.Dump(2) << '\n'; }

std::string PrintableBytes(const char* bytes, size_t size) {
    std::string s;
    for (size_t i = 0; i < size; ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            s += static_cast<char>(c);
        } else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            s += hex;
        }
    }
    return s;
}

Json EntryJson(const RomContext& ctx, const EntryRow& row) { return EntryJson(ctx.image, ctx.model, ctx.rule, row); }

Json PlanJson(const RomContext& ctx, const Plan& plan, const std::map<int, Json>& extra) {
    return PlanJson(plan, ctx.rule, extra, PlanWarningWords);
}

void ShowProgress(int done, int total) {
    int cells = done * 40 / total;
    std::fprintf(stderr, "\r[%.*s%*s] %d/%d", cells, "########################################", 40 - cells, "",
                 done, total);
    if (done == total) std::fputc('\n', stderr);
    std::fflush(stderr);
}

