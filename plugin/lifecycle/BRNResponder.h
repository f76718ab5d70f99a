// The plug-in's answer to document signals: hooks itself into each document it sees, brings
// the document's metadata up to date on open, tidies and checks values before each save and
// announces open, save and close. Holds no state between signals.
#pragma once

#include "base/PMString.h"
#include "objectmodel/UIDRef.h"
#include "subjects/CResponder.h"

class IDocument;

class BRNResponder : public CResponder {
public:
    explicit BRNResponder(Boss* boss) : CResponder(boss) {}
    void Respond(ISignalMgr* signalMgr) override;

    // Puts our file handler in front of the document's; the host's class is kept once, so
    // installing twice never records our own class as the host's.
    static void InstallFileHandler(IDocument* document);
    // "a.b.c" against "x.y.z" as numbers from the left: true when version is at least minimum.
    static bool16 VersionAtLeast(const PMString& version, const PMString& minimum);

private:
    void DocumentOpened(const UIDRef& ref);
    void BeforeSave(const UIDRef& ref);
    void AskDualSchema(IDocument* document, const UIDRef& ref);
    void ApplyDefaultsOnOpen(const UIDRef& ref);
};
