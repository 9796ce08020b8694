// The names machine output gives plan problems and warnings, and the
// problems of a pack's files.
#include "plan.h"
#include "request.h"

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

const char* PackFileProblemName(PackFileProblem problem) {
    switch (problem) {
        case PackFileProblem::None: return "None";
        case PackFileProblem::NoCryOfItsOwn: return "NoCryOfItsOwn";
        case PackFileProblem::PastTable: return "PastTable";
        case PackFileProblem::Twice: return "Twice";
    }
    return "Unknown";
}
