// Any bytes as a JPEG file: its packet is read (from the header segments, or by the
// toolkit's handler where they are not plain) and handed to the packet reader.
#include "formats/XMPFiles.h"
#include "io/IDFile.h"
#include "xmp/XMPPacketAccess.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

const std::filesystem::path& File() {
    static const std::filesystem::path file = [] {
        char pattern[] = "/tmp/brindle-fuzz-XXXXXX";
        const char* made = ::mkdtemp(pattern);
        if (!made) std::abort();
        static const std::filesystem::path dir(made);
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(dir, ec);
        });
        return dir / "image.jpg";
    }();
    return file;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (!XMPPacketAccess::InitToolkit()) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    {
        std::ofstream out(File(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    std::string rdf;
    bool sidecar = false;
    if (XMPFiles::Read(IDFile(File()), &rdf, &sidecar) != XMPFiles::Result::kOK || sidecar) return 0;
    // A packet in the file is handed over as stored; the packet reader judges it.
    XMPPacketAccess xmp;
    (void)xmp.ParsePacket(rdf);
    return 0;
}
