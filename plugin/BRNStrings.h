// The plug-in's English string table.
#pragma once

namespace BRNStrings {
void Register();
}
