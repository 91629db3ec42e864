// Configuration files and script files.
//
// Settings are written back as command text, one statement per line, so the
// game reads them again simply by running the file. Each file is written
// whole to a temporary file beside it and then renamed over the old one: a
// crash or a full disk never leaves a settings file half written. A file the
// player edited is data: when its last run met a statement it could not
// read, the player's copy is kept (renamed with ".bad") before the game
// writes its own.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "console/CommandHost.h"
#include "console/CommandInterpreter.h"
#include "console/ConfigText.h"
#include "core/VFSFile.h"
#include "platform/sys/Path.h"

static const char kConfigHeader[] =
    "// This file is auto generated and will be overwritten. Change, but do not add.\r\n\r\n";
static const char kConfigFolder[] = "Scripts\\Config";

std::string ConfigText_Quote(const char* text) {
    std::string out = "\"";
    for (const char* p = text; *p; ++p) {
        switch (*p) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\r':
                out += "\\n";  // the parser turns \n into a carriage return
                break;
            default:
                out += *p;
        }
    }
    out += '"';
    return out;
}

bool CConsoleCommand::WriteVariableLine(CVFSFile* file) {
    if (!file || !file->IsOpen() || !file->IsWrite()) return false;
    if (m_type == kCommandFunction) {
        if (m_handler) m_handler(this, nullptr, file);
        return true;
    }
    CStrBuf line;
    if (!FormatVariableLine(line)) return true;
    line.Append("\r\n");
    uint32_t n = static_cast<uint32_t>(line.GetLength());
    return file->Write(line.GetText(), n) == n;
}

static std::string Lower(const char* s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
    return out;
}

// A path as the file table compares it: letter case and the kind of
// separator do not count.
static std::string FoldedPath(const char* path) {
    std::string out = Lower(path ? path : "");
    for (char& c : out)
        if (c == '/') c = '\\';
    return out;
}

bool CCommandInterpreter::ReadCleanly(const char* path) const {
    return std::find(m_uncleanFiles.begin(), m_uncleanFiles.end(), FoldedPath(path)) == m_uncleanFiles.end();
}

bool CCommandInterpreter::KeepUncleanFile(const std::string& path) {
    m_uncleanFiles.erase(std::remove(m_uncleanFiles.begin(), m_uncleanFiles.end(), FoldedPath(path.c_str())),
                         m_uncleanFiles.end());
    // Only a file of the player's own on disk is kept: a packed default has
    // nothing to lose, and a copy where the game does not write (a read-only
    // installation) stays where it is while the new file goes beside it.
    std::string readFrom, writeTo;
    if (!Sys_PathExists(path.c_str()) || Sys_IsFolder(path.c_str())) return true;
    if (!Sys_ResolvePath(path.c_str(), readFrom) || !Sys_ResolveWritePath(path.c_str(), writeTo) ||
        readFrom != writeTo)
        return true;
    const std::string kept = path + ".bad";
    if (!Sys_RenameFile(path.c_str(), kept.c_str())) {
        Printf("%s did not read cleanly and could not be kept as %s: it is not overwritten", path.c_str(),
               kept.c_str());
        return false;
    }
    Printf("%s did not read cleanly: the player's copy is kept as %s", path.c_str(), kept.c_str());
    return true;
}

int CCommandInterpreter::SaveConfigFiles() {
    if (!m_configSaveEnabled) {
        Print("Settings were not saved: start-up did not complete");
        return 0;
    }
    if (!m_host) return 0;
    int failures = 0;
    std::vector<std::string> handled;
    for (;;) {
        // The first entry whose file is not written yet names the next file.
        CConsoleCommand* first = nullptr;
        for (CConsoleCommand* c = m_list; c && !first; c = c->Next()) {
            std::string key = Lower(c->GetConfigFile());
            if (std::find(handled.begin(), handled.end(), key) == handled.end()) {
                handled.push_back(key);
                if (!key.empty()) first = c;
            }
        }
        if (!first) break;

        const std::string current = handled.back();
        const std::string path = m_host->GetPath(kConfigFolder, first->GetConfigFile());
        if (!ReadCleanly(path.c_str()) && !KeepUncleanFile(path)) {
            ++failures;
            continue;
        }
        // The file object writes a temporary file beside the old one and puts
        // it in its place when closed, only when every write went through.
        CVFSFile file;
        bool ok = file.Open(path.c_str(), CVFSFile::kModeWrite);
        if (ok) {
            const uint32_t headerLength = sizeof kConfigHeader - 1;
            ok = file.Write(kConfigHeader, headerLength) == headerLength;
            for (CConsoleCommand* c = m_list; c; c = c->Next())
                if (Lower(c->GetConfigFile()) == current) ok = c->WriteVariableLine(&file) && ok;
            ok = file.Close() && ok;
        }
        if (!ok) {
            Printf("Could not write the configuration file %s", path.c_str());
            ++failures;
        }
    }
    return failures;
}

void CCommandInterpreter::RememberReading(const char* path, bool clean) {
    const std::string key = FoldedPath(path);
    auto at = std::find(m_uncleanFiles.begin(), m_uncleanFiles.end(), key);
    if (clean && at != m_uncleanFiles.end()) m_uncleanFiles.erase(at);
    if (!clean && at == m_uncleanFiles.end()) m_uncleanFiles.push_back(key);
}

bool CCommandInterpreter::ExecuteScript(const char* source, char* text, int length) {
    int faults = 0;
    bool nothingRan = ExecuteText(false, text, length, source ? source : "", &faults);
    if (source) RememberReading(source, faults == 0);
    return nothingRan;
}

bool CCommandInterpreter::ExecuteFile(const char* path, CVFSTable* table) {
    CVFSFile file;
    if (!path || !file.Open(path, CVFSFile::kModeRead, table)) {
        Printf("File '%s' not found", path ? path : "");
        Print(" ");
        Print(" ");
        return false;
    }
    uint32_t size = file.GetSize();
    if (size > kMaxScriptBytes) {
        Printf("File '%s' is too large to run (%u bytes; at most %u)", path, size, kMaxScriptBytes);
        RememberReading(path, false);
        return false;
    }
    // Two zero bytes after the data, so the in-place parse always finds a
    // terminated text.
    std::vector<char> buffer(static_cast<size_t>(size) + 2, 0);
    uint32_t got = size ? file.Read(buffer.data(), size) : 0;
    file.Close();
    ExecuteScript(path, buffer.data(), static_cast<int>(got));
    return true;
}

void ICommandHost::RunScriptFile(CCommandInterpreter* interpreter, const char* name, bool inMaps,
                                 bool asGiven) {
    // GetPath's result lives only until its next call, and the script may
    // resolve paths of its own.
    std::string path =
        asGiven ? std::string(name ? name : "") : std::string(GetPath(inMaps ? "Maps" : "Scripts", name));
    interpreter->ExecuteFile(path.c_str());
}
