// The plug-in object that the host loads.
#pragma once

#include "session/IPlugIn.h"

class BRNPlugIn : public IPlugIn {
public:
    PluginID GetPluginID() const override;
    void RegisterImplementations() override;
    std::filesystem::path GetResourceFile() const override;
};

// The one entry point of the module, looked up by its plain name.
extern "C" IPlugIn* GetPlugIn();
