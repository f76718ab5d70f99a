#include "RunSummary.h"

void RunSummary::Add(const DocumentResult& r) {
    ++fDocuments;
    switch (r.outcome) {
    case DocumentOutcome::kRead:
        ++fRead;
        break;
    case DocumentOutcome::kUpdated:
        ++fUpdated;
        break;
    case DocumentOutcome::kUnchanged:
        ++fUnchanged;
        break;
    case DocumentOutcome::kMissing:
        ++fMissing;
        break;
    case DocumentOutcome::kFailed:
        ++fFailed;
        break;
    }
    if (r.code == kExitIO) fIOFault = true;
    if (r.code == kExitInput) fInputFault = true;
}

std::string RunSummary::Text() const {
    const std::string n = std::to_string(fDocuments) + (fDocuments == 1 ? " document " : " documents ");
    if (fVerb == "written")
        return std::to_string(fUpdated) + " updated, " + std::to_string(fUnchanged) + " unchanged, " +
               std::to_string(fFailed) + " failed";
    std::string s = n + fVerb;
    if (fMissing) s += ", " + std::to_string(fMissing) + " with missing fields";
    s += ", " + std::to_string(fFailed) + (fVerb == "read" || fVerb == "checked" ? " unreadable" : " failed");
    return s;
}

nlohmann::json RunSummary::JSON() const {
    return {{"summary",
             {{"documents", fDocuments},
              {"read", fRead},
              {"updated", fUpdated},
              {"unchanged", fUnchanged},
              {"missing", fMissing},
              {"failed", fFailed},
              {"exitCode", ExitCode()}}}};
}

int RunSummary::ExitCode() const {
    if (fIOFault) return kExitIO;
    if (fInputFault) return kExitInput;
    if (fMissing) return kExitRequired;
    return kExitOK;
}
