// The session's text selection: the stories of the front document that the user has
// selected text in. Without a desktop, whoever drives the host (a test, a command) sets it.
#pragma once

#include "objectmodel/UIDList.h"

namespace Host {
// Selects the stories of one open document's database and brings that document to the
// front. A list whose database is no open document's, or that names anything but stories,
// clears the selection; so does an empty list. False when the selection was cleared.
bool SetSelectedStories(const UIDList& stories);
// The selected stories; empty when nothing is selected, when another document is in front,
// or once the selection's document has closed.
UIDList GetSelectedStories();
} // namespace Host
