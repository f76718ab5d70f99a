// The host's product and language. The product word's high byte names the edition: 0x01 the
// page-layout edition, 0x02 the text-editing edition.
#pragma once

#include "base/PMTypes.h"

struct PMLocaleId {
    uint16 productFS = 0x0100;
    uint16 languageFS = 0x0009; // English
    uint16 GetProductFS() const { return productFS; }
    uint16 GetLanguageFS() const { return languageFS; }
};

enum : uint16 { kLayoutProductFS = 0x0100, kTextProductFS = 0x0200 };

namespace WLocaleSetting {
// From the edition the host was started in.
PMLocaleId GetLocale();
} // namespace WLocaleSetting
