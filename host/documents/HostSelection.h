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

// What the selection architecture holds for the front document: page items (text frames)
// selected in the layout, or a text focus in a story, shown in the layout (kText) or in the
// galley and story views (kGalley). One kind at a time; setting one replaces the other.
enum class SelectionKind { kNone, kLayout, kText, kGalley };
// Page items of one open document; false (and nothing selected) otherwise.
bool SelectPageItems(const UIDList& items);
// The text focus in a story of an open document; false (and nothing selected) otherwise.
bool SetTextFocus(const UIDRef& story, bool galley = false);
void ClearSelection();
SelectionKind GetSelectionKind();
// The selected page items, or the story of the text focus (an empty one when there is none).
UIDList GetSelectedPageItems();
UIDRef GetTextFocus();
} // namespace Host
