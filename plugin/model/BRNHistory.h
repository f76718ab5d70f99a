// One change of a field's value.
#pragma once

#include "base/GlobalTime.h"
#include "base/PMString.h"

class BRNHistory {
public:
    BRNHistory() = default;
    BRNHistory(PMString user, PMString alias, GlobalTime time, PMString value)
        : fUser(std::move(user)), fValue(std::move(value)), fAlias(std::move(alias)), fTime(time) {}
    virtual ~BRNHistory() = default;
    BRNHistory(const BRNHistory&) = default;
    BRNHistory& operator=(const BRNHistory&) = default;

    const PMString& GetUser() const { return fUser; }
    const PMString& GetValue() const { return fValue; }
    const PMString& GetAlias() const { return fAlias; }
    const GlobalTime& GetTime() const { return fTime; }

    friend bool operator==(const BRNHistory& a, const BRNHistory& b) {
        return a.fUser == b.fUser && a.fValue == b.fValue && a.fAlias == b.fAlias && a.fTime == b.fTime;
    }

private:
    PMString fUser;
    PMString fValue;
    PMString fAlias;
    GlobalTime fTime;
};
