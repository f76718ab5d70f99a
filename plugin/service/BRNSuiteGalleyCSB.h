// The concrete suite of a text focus in the galley and story views: answers as the text
// suite does; the host activates it for its own selection kind.
#pragma once

#include "service/BRNSuiteTextCSB.h"

class BRNSuiteGalleyCSB : public BRNSuiteTextCSB {
public:
    explicit BRNSuiteGalleyCSB(Boss* boss) : BRNSuiteTextCSB(boss) {}
};
