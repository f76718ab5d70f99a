// The server linked into the program (see ServeEntry.h).
#include "ServeEntry.h"

ServeWebPanelFn FindServeWebPanel(std::string*) {
    return &BrindleServeWebPanel;
}
