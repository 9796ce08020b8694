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

std::string DescribeProblem(const Problem& p) {
    switch (p.kind) {
        case PlanProblem::IndexPastTable: return "lies past the cry table, which has " + std::to_string(p.room) + " entries";
        case PlanProblem::EntryNotInImage: return "its entry does not point into the ROM";
        case PlanProblem::BadSample: return "the new sample's bytes do not match its kind and stored length";
        case PlanProblem::DoesNotFit:
            return "the new sample needs " + Bytes(p.bytes) + " but its slot holds " + Bytes(p.room) + ", " +
                   Bytes(p.bytes - p.room) + " missing";
        case PlanProblem::NoFreeSpace:
            return "no free space for " + Bytes(p.bytes) + " (the largest free run left holds " + Bytes(p.room) + ")";
        case PlanProblem::Unaligned: return "offset " + Hex(p.offset) + " is not word-aligned (a multiple of 4)";
        case PlanProblem::PastEnd: return Bytes(p.bytes) + " at " + Hex(p.offset) + " would run past the end of the ROM";
        case PlanProblem::Protected: {
            static const char* const parts[] = {"the ROM header", "the cry table", "the reverse table",
                                                "another sample"};
            return Bytes(p.bytes) + " at " + Hex(p.offset) + " would overwrite " + parts[p.part];
        }
        case PlanProblem::NotASample: return Hex(p.offset) + " holds no sample";
        case PlanProblem::NotFree: return Hex(p.offset) + " holds neither a sample nor free space";
        case PlanProblem::TwiceInOnePlan: return "is changed twice in one edit";
        case PlanProblem::NoTable: return "the ROM has no cry table";
        case PlanProblem::AmbiguousTable: return "the code points at more than one cry table; name the one to edit";
    }
    return "unknown problem";
}

const char* ProblemName(PlanProblem kind) {
    switch (kind) {
        case PlanProblem::IndexPastTable: return "IndexPastTable";
        case PlanProblem::EntryNotInImage: return "EntryNotInImage";
        case PlanProblem::BadSample: return "BadSample";
        case PlanProblem::DoesNotFit: return "DoesNotFit";
        case PlanProblem::NoFreeSpace: return "NoFreeSpace";
        case PlanProblem::Unaligned: return "Unaligned";
        case PlanProblem::PastEnd: return "PastEnd";
        case PlanProblem::Protected: return "Protected";
        case PlanProblem::NotASample: return "NotASample";
        case PlanProblem::NotFree: return "NotFree";
        case PlanProblem::TwiceInOnePlan: return "TwiceInOnePlan";
        case PlanProblem::NoTable: return "NoTable";
        case PlanProblem::AmbiguousTable: return "AmbiguousTable";
    }
    return "Unknown";
}

const char* PlanWarningName(PlanWarningKind kind) {
    switch (kind) {
        case PlanWarningKind::TableNotInUse: return "TableNotInUse";
        case PlanWarningKind::ImageCut: return "ImageCut";
        case PlanWarningKind::ReverseLeft: return "ReverseLeft";
    }
    return "Unknown";
}
