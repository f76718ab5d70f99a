// What a run over many documents did: counts by outcome, the line that says so and the
// exit code that folds the documents' codes.
#pragma once

#include "AppContext.h"

#include <nlohmann/json.hpp>
#include <string>

class RunSummary {
public:
    // The verb of the line: "read", "checked", "written".
    explicit RunSummary(std::string verb) : fVerb(std::move(verb)) {}
    void Add(const DocumentResult& result);
    // "2000 documents read, 3 unreadable"; "118 updated, 2 unchanged, 1 failed".
    std::string Text() const;
    nlohmann::json JSON() const;
    // 2 when any document met an I/O fault, else 1 when any was refused as input, else 3 when
    // any lacks required fields, else 0.
    int ExitCode() const;
    size_t Documents() const { return fDocuments; }

private:
    std::string fVerb;
    size_t fDocuments = 0, fRead = 0, fUpdated = 0, fUnchanged = 0, fMissing = 0, fFailed = 0;
    bool fIOFault = false, fInputFault = false;
};
