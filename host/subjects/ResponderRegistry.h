// Which responders hear which signals, and the host's sending of document signals.
//
// A plug-in registers from its RegisterImplementations (the registry is emptied when the
// host starts, before the plug-in registers):
//   ResponderRegistry::RegisterClass(kAfterOpenDocSignalResponderService, kMyResponderBoss);
// or, with an object it already has:
//   ResponderRegistry::Register(kAfterOpenDocSignalResponderService, responder);
#pragma once

#include "io/IDFile.h"
#include "objectmodel/UIDRef.h"
#include "subjects/IResponder.h"

namespace ResponderRegistry {
// Keeps a reference to the responder until it is unregistered or the host starts again.
void Register(ServiceID service, IResponder* responder);
void Unregister(ServiceID service, const IResponder* responder);
// A new object of the class (with IResponder) answers each signal of the service.
void RegisterClass(ServiceID service, ClassID responderClass);
// Asks a new object of the class (IK2ServiceProvider) for its services and registers the class
// as the responder of each; false when it is no provider or no responder.
bool RegisterServiceProvider(ClassID providerClass);
// Emptied, and signals on again.
void Clear();
// A session that only reads its documents (and shows what they store) sends no signals.
void SetSignalsEnabled(bool enabled);
bool SignalsEnabled();
// Tells every responder of the service, in the order they were registered.
void SendDocSignal(ServiceID service, const UIDRef& doc, const IDFile& file);
} // namespace ResponderRegistry
