#include "subjects/ResponderRegistry.h"

#include "objectmodel/CPMUnknown.h"
#include "objectmodel/InterfacePtr.h"
#include "objectmodel/ObjectModel.h"
#include "subjects/IDocumentSignalData.h"
#include "subjects/IK2ServiceProvider.h"
#include "subjects/ISignalMgr.h"

#include <algorithm>
#include <vector>

namespace {

struct Entry {
    ServiceID service;
    IResponder* responder; // referenced; null for a class entry
    ClassID responderClass;
};

std::vector<Entry>& Entries() {
    static std::vector<Entry> entries;
    return entries;
}

class DocSignal final : public CStandaloneUnknown<ISignalMgr> {
public:
    DocSignal(ServiceID service, const UIDRef& doc, const IDFile& file)
        : fService(service), fData(doc, file) {}
    ServiceID GetServiceID() const override { return fService; }
    IPMUnknown* QueryInterface(PMIID interfaceID) const override {
        if (interfaceID == IID_IDOCUMENTSIGNALDATA) {
            AddRef();
            return const_cast<Data*>(&fData);
        }
        return CStandaloneUnknown<ISignalMgr>::QueryInterface(interfaceID);
    }

private:
    // Shares the signal's count, so either interface keeps the signal alive.
    class Data final : public IDocumentSignalData {
    public:
        Data(const UIDRef& doc, const IDFile& file) : fDoc(doc), fFile(file) {}
        void Bind(const DocSignal* owner) { fOwner = owner; }
        IPMUnknown* QueryInterface(PMIID interfaceID) const override {
            return fOwner->QueryInterface(interfaceID);
        }
        void AddRef() const override { fOwner->AddRef(); }
        void Release() const override { fOwner->Release(); }
        UIDRef GetDocument() const override { return fDoc; }
        IDFile GetFile() const override { return fFile; }

    private:
        const DocSignal* fOwner = nullptr;
        UIDRef fDoc;
        IDFile fFile;
    };

    ServiceID fService;
    Data fData;

public:
    void BindData() { fData.Bind(this); }
};

} // namespace

namespace ResponderRegistry {

void Register(ServiceID service, IResponder* responder) {
    if (!responder) return;
    responder->AddRef();
    Entries().push_back({service, responder, kInvalidClass});
}

void Unregister(ServiceID service, const IResponder* responder) {
    auto& entries = Entries();
    auto it = std::find_if(entries.begin(), entries.end(),
                           [&](const Entry& e) { return e.service == service && e.responder == responder; });
    if (it == entries.end()) return;
    IResponder* r = it->responder;
    entries.erase(it);
    r->Release();
}

void RegisterClass(ServiceID service, ClassID responderClass) {
    Entries().push_back({service, nullptr, responderClass});
}

bool RegisterServiceProvider(ClassID providerClass) {
    InterfacePtr<IK2ServiceProvider> provider(
        static_cast<IK2ServiceProvider*>(CreateObject(providerClass, IID_IK2SERVICEPROVIDER)));
    if (!provider) return false;
    InterfacePtr<IResponder> responder(provider, IID_IRESPONDER);
    if (!responder) return false;
    std::vector<ServiceID> ids;
    if (provider->HasMultipleIDs())
        provider->GetServiceIDs(ids);
    else
        ids.push_back(provider->GetServiceID());
    for (ServiceID id : ids)
        if (id != kInvalidService) RegisterClass(id, providerClass);
    return true;
}

bool gSignalsEnabled = true;

void SetSignalsEnabled(bool enabled) {
    gSignalsEnabled = enabled;
}

bool SignalsEnabled() {
    return gSignalsEnabled;
}

void Clear() {
    gSignalsEnabled = true;
    auto entries = std::exchange(Entries(), {});
    for (const auto& e : entries)
        if (e.responder) e.responder->Release();
}

void SendDocSignal(ServiceID service, const UIDRef& doc, const IDFile& file) {
    if (!gSignalsEnabled) return;
    auto* signal = new DocSignal(service, doc, file);
    signal->BindData();
    InterfacePtr<ISignalMgr> hold(signal);
    // A responder may register or unregister others while it is told: work on a held copy.
    std::vector<InterfacePtr<IResponder>> responders;
    for (const auto& e : Entries()) {
        if (e.service != service) continue;
        if (e.responder) {
            e.responder->AddRef();
            responders.emplace_back(e.responder);
        } else {
            responders.emplace_back(
                static_cast<IResponder*>(ObjectModel::CreateObject(e.responderClass, IID_IRESPONDER)));
        }
    }
    for (const auto& r : responders)
        if (r) r->Respond(signal);
}

} // namespace ResponderRegistry
