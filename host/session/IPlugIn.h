// What the host asks of a plug-in module: its ID, its registration and its file.
#pragma once

#include "base/PMTypes.h"

#include <filesystem>

class IPlugIn {
public:
    virtual ~IPlugIn() = default;
    virtual PluginID GetPluginID() const = 0;
    // Registers the plug-in's implementations, classes and add-ins with the object model
    // and its string table; called once when the host loads the plug-in.
    virtual void RegisterImplementations() = 0;
    // The plug-in's own module file.
    virtual std::filesystem::path GetResourceFile() const = 0;
};
