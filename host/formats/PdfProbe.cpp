// What the program does with PDFs on its own: telling a PDF from other documents (asked of
// every document, so it must not load the PDF reader) and reading the packet through Prepare.
#include "formats/PdfFile.h"

#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace PdfFile {

bool IsPdf(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    std::string head(1024, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<size_t>(in.gcount()));
    return head.find("%PDF-") != std::string::npos;
}

Status ReadPacket(const fs::path& file, std::string* packet, std::string* reason) {
    Revision r;
    const Status status = Prepare(file, &r, reason);
    if (status == Status::kPacket) *packet = std::move(r.packet);
    return status;
}

} // namespace PdfFile
