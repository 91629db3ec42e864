// Configuration files and script files.
//
// Settings are written back as command text, one statement per line, so the
// game reads them again simply by running the file. Each file is written
// whole to a temporary file beside it and then renamed over the old one: a
// crash or a full disk never leaves a settings file half written.
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
        const char* fileName = first->GetConfigFile();
        std::string path = m_host->GetPath(kConfigFolder, fileName);
        std::string temp = path + ".tmp";
        bool ok = false;
        {
            // The temporary file goes through a scratch table so the game's file
            // table never lists it.
            CVFSTable scratch;
            CVFSFile file;
            if (file.Open(temp.c_str(), CVFSFile::kModeWrite, &scratch)) {
                const uint32_t headerLength = sizeof kConfigHeader - 1;
                ok = file.Write(kConfigHeader, headerLength) == headerLength;
                for (CConsoleCommand* c = m_list; c; c = c->Next())
                    if (Lower(c->GetConfigFile()) == current) ok = c->WriteVariableLine(&file) && ok;
                file.Close();
            }
        }
        if (ok) ok = Sys_RenameFile(temp.c_str(), path.c_str());
        if (ok && g_VFS.Find(path.c_str())) {
            // The file table knows the old file: let it see the new size (and a
            // packed copy give way to the file on disk).
            CVFSFile touch;
            touch.Open(path.c_str(), CVFSFile::kModeWrite | CVFSFile::kModeAppend);
        }
        if (!ok) {
            Sys_DeleteFile(temp.c_str());
            Printf("Could not write the configuration file %s", path.c_str());
            ++failures;
        }
    }
    return failures;
}

bool CCommandInterpreter::ExecuteFile(const char* path) {
    CVFSFile file;
    if (!path || !file.Open(path, CVFSFile::kModeRead)) {
        Printf("File '%s' not found", path ? path : "");
        Print(" ");
        Print(" ");
        return false;
    }
    uint32_t size = file.GetSize();
    // Two zero bytes after the data, so the in-place parse always finds a
    // terminated text.
    char* buffer = static_cast<char*>(std::malloc(static_cast<size_t>(size) + 10));
    if (!buffer) return false;
    uint32_t got = file.Read(buffer, size);
    file.Close();
    buffer[got] = 0;
    buffer[got + 1] = 0;
    Execute(false, buffer, static_cast<int>(got));
    std::free(buffer);
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
