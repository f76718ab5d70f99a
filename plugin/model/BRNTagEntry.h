// One entry of a package's tag list: the tag as it is written and what it stands for.
#pragma once

#include "base/PMString.h"

#include <vector>

class BRNTagEntry {
public:
    BRNTagEntry() = default;
    BRNTagEntry(PMString tag, PMString description) : fTag(std::move(tag)), fDescription(std::move(description)) {}
    virtual ~BRNTagEntry() = default;
    BRNTagEntry(const BRNTagEntry&) = default;
    BRNTagEntry& operator=(const BRNTagEntry&) = default;

    const PMString& GetTag() const { return fTag; }
    const PMString& GetDescription() const { return fDescription; }

private:
    PMString fTag;
    PMString fDescription;
};

using BRNTagList = std::vector<BRNTagEntry>;
