// The web page's files (HTML, CSS, JavaScript), built into the program from app/web/page.
#pragma once

#include <string>

// The file's text and its content type, or null when there is no file of that name.
const char* WebPageFile(const std::string& name, const char** type);
// A digest of the files: their addresses carry it, so browsers may keep them for good.
const char* WebPageVersion();
