// brindle packages | dump-xmp
#include "AppContext.h"
#include "BatchRunner.h"
#include "FileArguments.h"
#include "ProgressLine.h"
#include "RunSummary.h"

#include "documents/DocumentHost.h"
#include "documents/FileStories.h"
#include "documents/IDataBase.h"
#include "documents/IDocument.h"
#include "formats/XMPFiles.h"
#include "logic/BRNPackageUtils.h"
#include "metadata/BRNXMPSchema.h"
#include "objectmodel/InterfacePtr.h"
#include "xmp/IXMPPacketAccess.h"
#include "xmp/XMPPacketAccess.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>
#include <utf8.h>

namespace {

struct DocumentOptions {
    StoryOptions stories;
    bool json = false;
    FileArguments fileArguments;
    BatchRunner::Settings batch;
    std::vector<std::string> files;
    std::string file;
};

std::string TimeText(const GlobalTime& t) {
    int32 y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    t.GetTime(&y, &mo, &d, &h, &mi, &s);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", y, mo, d, h, mi, s);
    return buf;
}

void PrintPackages(const std::string& file, const BRNPackageList& packages) {
    std::cout << file << ": " << packages.size() << (packages.size() == 1 ? " package" : " packages") << "\n";
    for (const BRNPackage& p : packages) {
        std::cout << "  " << UTF8(p.GetName()) << " version " << p.GetVersion()
                  << (p.GetEnabled() ? "" : " (disabled)") << "\n";
        for (const BRNField& f : p.GetFields()) {
            std::string value =
                f.GetType() == kBRNTypeBoolean ? (f.GetBoolValue() ? "True" : "False") : UTF8(f.GetValue());
            std::cout << "    " << UTF8(f.GetName()) << " [" << UTF8(f.GetShortName()) << "] "
                      << UTF8(BRNField::TypeName(f.GetType())) << (f.GetRequired() ? ", required" : "")
                      << ": " << value;
            if (!f.GetHistory().empty()) std::cout << "  (" << f.GetHistory().size() << " changes)";
            std::cout << "\n";
        }
    }
}

// The packet of one file of a batch, read and parsed on a worker thread.
struct LoadedPacket {
    enum Kind {
        kEmpty,  // the file holds no packet: no packages
        kPacket, // parsed
        kHost,   // for the host to open: it reports the failure, or reads what this cannot
    };
    Kind kind = kHost;
    InterfacePtr<IXMPPacketAccess> packet;
};

LoadedPacket LoadPacket(const std::string& name) {
    LoadedPacket loaded;
    std::string rdf;
    bool sidecar = false;
    // What Host::OpenDocument reads and parses for the file.
    const XMPFiles::Result read = XMPFiles::Read(IDFile(std::filesystem::path(name)), &rdf, &sidecar);
    if (read == XMPFiles::Result::kNoPacket) {
        loaded.kind = LoadedPacket::kEmpty;
    } else if (read == XMPFiles::Result::kOK) {
        InterfacePtr<IXMPPacketAccess> packet(new XMPPacketAccess());
        if (packet->ParsePacket(rdf)) {
            loaded.kind = LoadedPacket::kPacket;
            loaded.packet = std::move(packet);
        }
    }
    return loaded;
}

// Reads and parses the files' packets on worker threads, a few files ahead of the one taken
// last; the files are taken in order. Each packet is the toolkit's object of one thread at a
// time: the worker's until handed over.
class PacketLoader {
public:
    PacketLoader(const std::vector<std::string>& files, size_t jobs) : fFiles(files), fSlots(files.size()) {
        const size_t workers = std::clamp<size_t>(jobs ? jobs : std::thread::hardware_concurrency(), 1, 8);
        for (size_t i = 0; i < std::min(workers, files.size()); ++i)
            fThreads.emplace_back([this] { Work(); });
    }
    ~PacketLoader() {
        {
            std::lock_guard<std::mutex> hold(fLock);
            fStop = true;
        }
        fChanged.notify_all();
        for (std::thread& t : fThreads)
            t.join();
    }
    PacketLoader(const PacketLoader&) = delete;
    PacketLoader& operator=(const PacketLoader&) = delete;

    LoadedPacket Take(size_t i) {
        std::unique_lock<std::mutex> hold(fLock);
        fChanged.wait(hold, [&] { return fSlots[i].has_value(); });
        LoadedPacket loaded = std::move(*fSlots[i]);
        fSlots[i].reset();
        fTaken = i + 1;
        hold.unlock();
        fChanged.notify_all();
        return loaded;
    }

private:
    // Parsed packets waiting to be taken, at most: bounds the memory they hold.
    static constexpr size_t kAhead = 16;

    void Work() {
        for (;;) {
            size_t i = 0;
            {
                std::unique_lock<std::mutex> hold(fLock);
                fChanged.wait(hold,
                              [&] { return fStop || fNext >= fFiles.size() || fNext < fTaken + kAhead; });
                if (fStop || fNext >= fFiles.size()) return;
                i = fNext++;
            }
            LoadedPacket loaded = LoadPacket(fFiles[i]);
            {
                std::lock_guard<std::mutex> hold(fLock);
                fSlots[i] = std::move(loaded);
            }
            fChanged.notify_all();
        }
    }

    const std::vector<std::string>& fFiles;
    std::vector<std::optional<LoadedPacket>> fSlots;
    std::vector<std::thread> fThreads;
    std::mutex fLock;
    std::condition_variable fChanged;
    size_t fNext = 0;
    size_t fTaken = 0;
    bool fStop = false;
};

// JSON text laid out as nlohmann's dump(2) lays it out: members one a line, indented by 2
// per level, "[]" and "{}" when empty, strings escaped as it escapes them (valid UTF-8 as
// is; quote, backslash and control characters escaped). Members are written in the order
// given, which must be the sorted order nlohmann's objects keep.
class JSONText {
public:
    // Compact: on one line without blanks, as nlohmann's dump() lays it out.
    explicit JSONText(std::string& out, bool compact = false) : fOut(out), fCompact(compact) {}
    void BeginObject() { Open('{'); }
    void EndObject() { Close('}'); }
    void BeginArray() { Open('['); }
    void EndArray() { Close(']'); }
    void Key(std::string_view key) {
        Element();
        Escaped(key);
        fOut += fCompact ? ":" : ": ";
        fAfterKey = true;
    }
    void String(std::string_view s) {
        Element();
        Escaped(s);
    }
    void Text(const PMString& s) { String(s.GetUTF8String()); }
    void Bool(bool b) {
        Element();
        fOut += b ? "true" : "false";
    }
    void Number(int64 n) {
        Element();
        fOut += std::to_string(n);
    }
    void Strings(const PMStringList& values) {
        BeginArray();
        for (const PMString& v : values)
            Text(v);
        EndArray();
    }

private:
    // Before a value: a new line and the indent, unless it follows its key.
    void Element() {
        if (fAfterKey) {
            fAfterKey = false;
            return;
        }
        if (fCounts.empty()) return;
        if (fCompact) {
            if (fCounts.back()++ > 0) fOut += ',';
            return;
        }
        fOut += fCounts.back()++ == 0 ? "\n" : ",\n";
        fOut.append(2 * fCounts.size(), ' ');
    }
    void Open(char c) {
        Element();
        fOut += c;
        fCounts.push_back(0);
    }
    void Close(char c) {
        const size_t n = fCounts.back();
        fCounts.pop_back();
        if (n > 0 && !fCompact) {
            fOut += '\n';
            fOut.append(2 * fCounts.size(), ' ');
        }
        fOut += c;
    }
    void Escaped(std::string_view text) {
        // Bytes that are not UTF-8 (a file name can hold any) become U+FFFD, as nlohmann's
        // replacing dump makes them, so the output is always valid JSON.
        std::string repaired;
        std::string_view s = text;
        if (!utf8::is_valid(text.begin(), text.end())) {
            utf8::replace_invalid(text.begin(), text.end(), std::back_inserter(repaired));
            s = repaired;
        }
        fOut += '"';
        for (char c : s) {
            switch (c) {
            case '"':
                fOut += "\\\"";
                break;
            case '\\':
                fOut += "\\\\";
                break;
            case '\b':
                fOut += "\\b";
                break;
            case '\f':
                fOut += "\\f";
                break;
            case '\n':
                fOut += "\\n";
                break;
            case '\r':
                fOut += "\\r";
                break;
            case '\t':
                fOut += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(c));
                    fOut += buf;
                } else {
                    fOut += c;
                }
            }
        }
        fOut += '"';
    }

    std::string& fOut;
    bool fCompact;
    std::vector<size_t> fCounts; // members so far, per open object or array
    bool fAfterKey = false;
};

// One document of the JSON output, members in sorted order (the order nlohmann keeps, which
// the rest of the command's JSON follows).
void DocumentText(JSONText& j, const std::string& file, const BRNPackageList* packages,
                  const std::string& error) {
    j.BeginObject();
    if (!packages) {
        j.Key("error");
        j.String(error);
    }
    j.Key("file");
    j.String(file);
    if (packages) {
        j.Key("packages");
        j.BeginArray();
        for (const BRNPackage& p : *packages) {
            j.BeginObject();
            j.Key("enabled");
            j.Bool(p.GetEnabled() != 0);
            j.Key("fields");
            j.BeginArray();
            for (const BRNField& f : p.GetFields()) {
                j.BeginObject();
                j.Key("allowUserValues");
                j.Bool(f.GetAllowUserValues() != 0);
                j.Key("boolValue");
                j.Bool(f.GetBoolValue() != 0);
                if (f.GetType() == kBRNTypeDeadline) {
                    j.Key("deadline");
                    j.BeginObject();
                    j.Key("executedBy");
                    j.Text(f.GetDeadline().ExecutedBy);
                    j.Key("executedDate");
                    j.Text(f.GetDeadline().ExecutedDate);
                    j.Key("plannedDate");
                    j.Text(f.GetDeadline().PlannedDate);
                    j.EndObject();
                }
                j.Key("defaultValue");
                j.Text(f.GetDefaultValue());
                j.Key("defaultValues");
                j.Strings(f.GetDefaultValues());
                j.Key("description");
                j.Text(f.GetDescription());
                j.Key("fieldOverridden");
                j.Bool(f.GetFieldOverridden() != 0);
                j.Key("hasDefault");
                j.Bool(f.GetHasDefault() != 0);
                j.Key("hidden");
                j.Bool(f.GetHidden() != 0);
                j.Key("history");
                j.BeginArray();
                for (const BRNHistory& h : f.GetHistory()) {
                    j.BeginObject();
                    j.Key("alias");
                    j.Text(h.GetAlias());
                    j.Key("time");
                    j.String(TimeText(h.GetTime()));
                    j.Key("user");
                    j.Text(h.GetUser());
                    j.Key("value");
                    j.Text(h.GetValue());
                    j.EndObject();
                }
                j.EndArray();
                j.Key("name");
                j.Text(f.GetName());
                j.Key("options");
                j.Strings(f.GetOptions());
                j.Key("readOnly");
                j.Bool(f.GetReadOnly() != 0);
                j.Key("required");
                j.Bool(f.GetRequired() != 0);
                j.Key("selectedValues");
                j.Strings(f.GetSelectedValues());
                j.Key("shortName");
                j.Text(f.GetShortName());
                j.Key("type");
                j.Number(f.GetType());
                j.Key("typeName");
                j.Text(f.IsKnownType() ? BRNField::TypeName(f.GetType()) : f.GetStoredTypeName());
                j.Key("value");
                j.Text(f.GetValue());
                j.Key("visibleLines");
                j.Number(f.GetVisibleLines());
                j.EndObject();
            }
            j.EndArray();
            j.Key("hasPassword");
            j.Bool(p.HasPassword());
            j.Key("name");
            j.Text(p.GetName());
            j.Key("timestamp");
            j.Number(p.GetTimestamp());
            j.Key("version");
            j.Number(p.GetVersion());
            j.EndObject();
        }
        j.EndArray();
    }
    j.EndObject();
}

// The packages of the named stories of each file, one entry per story ("FILE#ID").
int PrintStoryPackages(const DocumentOptions& o) {
    int code = kExitOK;
    std::string jsonText;
    JSONText json(jsonText);
    if (o.json) {
        json.BeginObject();
        json.Key("documents");
        json.BeginArray();
    }
    for (const std::string& name : o.files) {
        std::string error;
        IDocument* doc = CommandDocuments::Open(name, &error);
        UIDList stories;
        if (doc && !ResolveStories(doc, o.stories, &stories, &error)) {
            CommandDocuments::Close(doc);
            doc = nullptr;
        }
        if (!doc) {
            code = Fail(kExitIO, name + ": " + error);
            if (o.json) DocumentText(json, name, nullptr, error);
            continue;
        }
        for (UID uid : stories) {
            const std::string label = name + "#" + Host::GetFileStorySelf(doc, uid);
            const BRNPackageList list = BRNPackageUtils::ReadPackages(UIDRef(stories.GetDataBase(), uid));
            if (o.json)
                DocumentText(json, label, &list, {});
            else
                PrintPackages(label, list);
        }
        CommandDocuments::Close(doc);
    }
    if (o.json) {
        json.EndArray();
        json.EndObject();
        std::cout << jsonText << std::endl;
    }
    return code;
}

} // namespace

void AddDocumentCommands(CLI::App& app, const GlobalOptions& options, int& exitCode) {
    auto o = std::make_shared<DocumentOptions>();

    auto* packages = app.add_subcommand(
        "packages", "The packages each document's XMP holds, as stored (read only: nothing the plug-in would do on "
                    "opening a document is done)");
    packages->add_option("FILE", o->files, "Documents (any file with an XMP packet or sidecar)");
    packages->add_flag("--json", o->json, "Print JSON");
    o->fileArguments.AddOptions(packages);
    o->batch.AddOptions(packages, true);
    AddStoryOptions(packages, o->stories);
    packages->callback([&options, &exitCode, o]() {
        std::vector<std::string> files;
        std::string why;
        if (!o->fileArguments.Expand(o->files, &files, &why)) {
            exitCode = Fail(kExitInput, why);
            return;
        }
        if (files.empty() && !o->fileArguments.Expands()) {
            exitCode = Fail(kExitInput, "no documents named");
            return;
        }
        HostSessionScope host(options, true);
        if (!host.ok()) {
            exitCode = Fail(kExitIO, "the plug-in could not be started");
            return;
        }
        const bool lines = o->batch.jsonl;
        const bool whole = o->json && !lines;
        RunSummary summary("read");
        // The JSON is written as text document by document rather than built as one value
        // (building it cost more than reading the files). With --jsonl each document's line is
        // printed as soon as it is done; --json prints the one object at the end, after any
        // error message.
        std::string jsonText;
        JSONText json(jsonText, lines);
        if (o->stories.Any()) {
            o->files = files;
            exitCode = PrintStoryPackages(*o);
            return;
        }
        // Several files are read ahead on worker threads; the packages are read and printed
        // here, in argument order, as the host would give them.
        const bool batch = files.size() > 1;
        std::optional<PacketLoader> loader;
        if (batch) loader.emplace(files, static_cast<size_t>(o->batch.jobs));
        if (whole) {
            json.BeginObject();
            json.Key("documents");
            json.BeginArray();
        }
        ProgressLine progress(files.size(), !o->batch.quiet);
        auto flushLine = [&]() {
            if (!lines) return;
            progress.Clear();
            jsonText += '\n';
            std::fwrite(jsonText.data(), 1, jsonText.size(), stdout);
            std::fflush(stdout);
            jsonText.clear();
        };
        auto print = [&](const std::string& name, const BRNPackageList& list) {
            if (o->json || lines) {
                DocumentText(json, name, &list, {});
                flushLine();
            } else {
                progress.Clear();
                PrintPackages(name, list);
            }
            summary.Add({kExitOK, DocumentOutcome::kRead});
        };
        for (size_t i = 0; i < files.size(); ++i) {
            progress.Update(i);
            const std::string& name = files[i];
            if (batch) {
                LoadedPacket loaded = loader->Take(i);
                if (loaded.kind == LoadedPacket::kEmpty) {
                    print(name, {});
                    continue;
                }
                if (loaded.kind == LoadedPacket::kPacket) {
                    // Data under the older namespace is written back when the host reads it:
                    // such a file goes through the host.
                    bool legacy = false;
                    BRNPackageList list = BRNXMPSchema::Read(loaded.packet, &legacy);
                    if (!legacy) {
                        print(name, list);
                        continue;
                    }
                }
            }
            std::string error;
            IDocument* doc = CommandDocuments::Open(name, &error);
            if (!doc) {
                progress.Clear();
                std::cout << std::flush;
                Fail(kExitIO, name + ": " + error);
                summary.Add({kExitIO, DocumentOutcome::kFailed});
                if (o->json || lines) {
                    DocumentText(json, name, nullptr, error);
                    flushLine();
                }
                continue;
            }
            IDataBase* db = doc->GetDocumentDataBase();
            print(name, BRNPackageUtils::ReadPackages(UIDRef(db, db->GetRootUID())));
            CommandDocuments::Close(doc);
        }
        progress.Clear();
        if (whole) {
            json.EndArray();
            json.EndObject();
            std::cout << jsonText << std::endl;
        }
        if (lines) {
            SetJSONLayout(JSONLayout::kLines);
            PrintJSON(summary.JSON());
            SetJSONLayout(JSONLayout::kObject);
        }
        std::cout << std::flush;
        if (!o->batch.quiet && (files.size() > 1 || o->fileArguments.Expands()))
            std::cerr << summary.Text() << std::endl;
        exitCode = summary.ExitCode();
    });

    auto* dump = app.add_subcommand("dump-xmp", "The documents' whole XMP packets as RDF/XML (several: each after "
                                                "a line \"==> FILE <==\")");
    dump->add_option("FILE", o->files, "Documents");
    dump->add_flag("--json", o->json, "Print JSON: {\"file\", \"xmp\"} per document");
    o->fileArguments.AddOptions(dump);
    o->batch.AddOptions(dump, true);
    dump->callback([&options, &exitCode, o]() {
        std::vector<std::string> files;
        std::string error;
        if (!o->fileArguments.Expand(o->files, &files, &error)) {
            exitCode = Fail(kExitInput, error);
            return;
        }
        if (files.empty() && !o->fileArguments.Expands()) {
            exitCode = Fail(kExitInput, "no documents named");
            return;
        }
        const bool many = files.size() > 1 || o->fileArguments.Expands();
        BatchRunner::Settings batch = o->batch;
        if (batch.jsonl) o->json = true;
        batch.json = o->json;
        batch.summary = o->fileArguments.Expands();
        // The packet as the file stores it: no document signals.
        batch.withoutLifecycle = true;
        exitCode = BatchRunner(options, batch).Run(files, [o, many](const std::string& file) -> DocumentResult {
            std::string why;
            IDocument* doc = CommandDocuments::Open(file, &why);
            if (!doc) {
                if (o->json) PrintJSON({{"file", file}, {"error", why}});
                return {Fail(kExitIO, file + ": " + why), DocumentOutcome::kFailed};
            }
            InterfacePtr<IXMPPacketAccess> xmp(doc, IID_IXMPPACKETACCESS);
            PrintDocumentText(file, xmp ? xmp->SerializePacket() : std::string(), "xmp", o->json, many);
            CommandDocuments::Close(doc);
            return {kExitOK, DocumentOutcome::kRead};
        });
    });
}
