// The "package" element of a defaults file, with the parsed file that holds it.
#pragma once

#include "CVDomElement.h"
#include "io/IDFile.h"

#include <memory>

class BRNPackageDefaults {
public:
    BRNPackageDefaults() = default;
    BRNPackageDefaults(std::shared_ptr<CVDomElement> tree, const CVDomElement* element, IDFile file)
        : fTree(std::move(tree)), fElement(element), fFile(std::move(file)) {}
    virtual ~BRNPackageDefaults() = default;

    const CVDomElement* GetElement() const { return fElement; }
    const IDFile& GetFile() const { return fFile; }
    explicit operator bool() const { return fElement != nullptr; }

private:
    std::shared_ptr<CVDomElement> fTree;
    const CVDomElement* fElement = nullptr;
    IDFile fFile;
};
