// Plan problems in words.
#include <string>

#include "plan.h"

namespace {

std::string Hex(uint64_t v) {
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    do {
        s.insert(s.begin(), digits[v % 16]);
        v /= 16;
    } while (v);
    return "0x" + s;
}

std::string Bytes(uint64_t n) { return std::to_string(n) + (n == 1 ? " byte" : " bytes"); }

}  // namespace

const char* TableName(TableKind table) { return table == TableKind::Cry ? "cry" : "reverse"; }

std::string DescribeProblem(const Problem& p) {
    switch (p.kind) {
        case PlanProblem::IndexPastTable: return "lies past the cry table, which has " + std::to_string(p.a) + " entries";
        case PlanProblem::EntryNotInImage: return "its entry does not point into the ROM";
        case PlanProblem::BadSample: return "the new sample's bytes do not match its stored length";
        case PlanProblem::DoesNotFit:
            return "the new sample needs " + Bytes(p.a) + " but its slot holds " + Bytes(p.b) + ", " +
                   Bytes(p.a - p.b) + " missing";
        case PlanProblem::NoFreeSpace:
            return "no free space for " + Bytes(p.a) + " (the largest free run left holds " + Bytes(p.b) + ")";
        case PlanProblem::Unaligned: return "offset " + Hex(p.a) + " is not word-aligned (a multiple of 4)";
        case PlanProblem::PastEnd: return Bytes(p.b) + " at " + Hex(p.a) + " would run past the end of the ROM";
        case PlanProblem::Protected: {
            static const char* const parts[] = {"the ROM header", "the cry table", "the reverse table",
                                                "another sample"};
            return Bytes(p.b) + " at " + Hex(p.a) + " would overwrite " + parts[p.c < 4 ? p.c : 3];
        }
        case PlanProblem::NotASample: return Hex(p.a) + " holds no sample";
        case PlanProblem::NotFree: return Hex(p.a) + " holds neither a sample nor free space";
        case PlanProblem::TwiceInOnePlan: return "is changed twice in one edit";
        case PlanProblem::NoTable: return "the ROM has no cry table";
    }
    return "unknown problem";
}
