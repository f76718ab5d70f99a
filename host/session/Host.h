// The headless host: starts the session with the plug-in loaded, and stops it.
#pragma once

#include "io/IDFile.h"
#include "session/IPlugIn.h"
#include "session/ISession.h"

namespace Host {
// Registers the host's classes and the plug-in's, then creates the session (whose add-ins
// initialise at once). Starting again first stops the running session.
bool Start(IPlugIn* plugin);
void Stop();
bool IsRunning();
// Whether a plug-in of that ID is loaded, and the file it was loaded from.
bool IsPluginLoaded(PluginID id);
bool GetPluginFile(PluginID id, IDFile* file);
// Installs the maker's outside components (the logger) with the session; on by default.
void SetOutsideComponentsInstalled(bool installed);
} // namespace Host
