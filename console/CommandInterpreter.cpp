#include "console/CommandInterpreter.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "console/CommandHost.h"
#include "console/CommandTable.h"
#include "console/Console.h"

uint32_t g_CommandBucketMask = 0;

static inline char FoldCase(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}

static bool NamesEqual(const char* a, const char* b) {
    for (;; ++a, ++b) {
        char x = FoldCase(*a), y = FoldCase(*b);
        if (x != y) return false;
        if (!x) return true;
    }
}

static int CompareNames(const char* a, const char* b) {
    for (;; ++a, ++b) {
        unsigned char x = static_cast<unsigned char>(FoldCase(*a)),
                      y = static_cast<unsigned char>(FoldCase(*b));
        if (x != y || !x) return static_cast<int>(x) - static_cast<int>(y);
    }
}

uint32_t CommandState_Bits(const SCommandStateInputs& in) {
    uint32_t bits = 0;
    if (in.hasSession && in.hosting) bits |= kStateHost;
    if (in.hasSession && !in.hosting && in.clientConnected) bits |= kStateClient;
    if (in.gameState == 2 && in.guiWord == 0 && !in.gameLoading) bits |= kStateInGame;
    if (in.hasSession && in.editorServer) bits |= kStateEditor;
    if (in.hasSession && !in.gameReset) bits |= kStateSessionLive;
    if (!(bits & kStateInGame)) bits |= kStateNotInGame;
    return bits;
}

CCommandInterpreter::CCommandInterpreter(void* context, ICommandHost* host)
    : m_context(context), m_host(host) {
    g_CommandBucketMask = (1u << 11) - 1;
}

CCommandInterpreter::~CCommandInterpreter() {
    while (m_list) delete m_list;
    m_args.Clear();
}

void CCommandInterpreter::BeginRestricted(CVFSTable* box) {
    if (m_restricted++ == 0) m_restrictedBox = box;
}

void CCommandInterpreter::EndRestricted() {
    if (m_restricted > 0 && --m_restricted == 0) m_restrictedBox = nullptr;
}

uint32_t CCommandInterpreter::Bucket(const char* name) {
    char lower[kMaxCommandWord * 2];
    size_t n = 0;
    for (; name[n] && n < sizeof lower; ++n) lower[n] = FoldCase(name[n]);
    m_crc.Reset();
    m_crc.Update(lower, n);
    // Names longer than the buffer hash on their beginning; lookups compare
    // the whole name anyway.
    return m_crc.GetValue() & g_CommandBucketMask;
}

CConsoleCommand* CCommandInterpreter::GetCommand(const char* name) {
    if (!name) return nullptr;
    for (CConsoleCommand* c = m_buckets[Bucket(name)]; c; c = c->m_hashNext)
        if (NamesEqual(c->m_name.GetText(), name)) return c;
    return nullptr;
}

CConsoleCommand* CCommandInterpreter::GetCommandLinear(const char* name) const {
    if (!name) return nullptr;
    for (CConsoleCommand* c = m_list; c; c = c->m_listNext)
        if (NamesEqual(c->m_name.GetText(), name)) return c;
    return nullptr;
}

static bool StartsWithFolded(const char* name, const char* lowerPrefix, size_t prefixLen) {
    for (size_t i = 0; i < prefixLen; ++i)
        if (!name[i] || FoldCase(name[i]) != lowerPrefix[i]) return false;
    return true;
}

int CCommandInterpreter::GetClosestCommand(const char* prefix, CStrBuf& out) {
    if (!prefix || !prefix[0]) {
        out.Clear();
        return 0;
    }
    size_t len = std::strlen(prefix);
    if (len > 511) return 0;
    char lower[512];
    for (size_t i = 0; i <= len; ++i) lower[i] = FoldCase(prefix[i]);

    int matches = 0;
    CConsoleCommand* last = nullptr;
    for (CConsoleCommand* c = m_list; c; c = c->m_listNext)
        if (StartsWithFolded(c->GetName(), lower, len)) {
            ++matches;
            last = c;
        }
    if (matches == 1) {
        out.Assign(last->GetName());
        return 1;
    }
    if (matches == 0) return 0;

    Print("");
    std::vector<char> common;
    std::vector<char> result;
    bool first = true;
    for (CConsoleCommand* c = m_list; c; c = c->m_listNext) {
        const char* name = c->GetName();
        if (!StartsWithFolded(name, lower, len)) continue;
        PrintColor(name, 128, 255, 255);
        size_t n = std::strlen(name);
        if (first) {
            first = false;
            common.resize(n);
            for (size_t i = 0; i < n; ++i) common[i] = FoldCase(name[i]);
            result.assign(name, name + n);
            continue;
        }
        size_t keep = std::min(common.size(), n);
        common.resize(keep);
        for (size_t i = 0; i < keep; ++i)
            if (FoldCase(name[i]) != common[i]) {
                common.resize(i);
                result.assign(name, name + i);
                break;
            }
        if (result.size() > common.size()) result.resize(common.size());
    }
    result.push_back(0);
    out.Assign(result.data());
    return 0;
}

void CCommandInterpreter::RegisterAllCommands() {
    for (int area = 0; area < kCommandAreaCount; ++area)
        if (CommandAreaFn fn = CommandArea_Get(static_cast<ECommandArea>(area))) fn(this);
    SortCommands();
}

void CCommandInterpreter::SortCommands() {
    std::vector<CConsoleCommand*> all;
    all.reserve(static_cast<size_t>(m_count));
    for (CConsoleCommand* c = m_list; c; c = c->m_listNext) all.push_back(c);
    std::stable_sort(all.begin(), all.end(), [](const CConsoleCommand* a, const CConsoleCommand* b) {
        return CompareNames(a->GetName(), b->GetName()) < 0;
    });
    CConsoleCommand* prev = nullptr;
    for (CConsoleCommand* c : all) {
        c->m_listPrev = prev;
        c->m_listNext = nullptr;
        if (prev) prev->m_listNext = c;
        prev = c;
    }
    m_list = all.empty() ? nullptr : all.front();
}

CConsole* CCommandInterpreter::GetConsole() const {
    return m_host ? m_host->GetConsole() : nullptr;
}

void CCommandInterpreter::PrintColor(const char* text, int r, int g, int b) {
    if (CConsole* console = GetConsole())
        console->Print(text, false, r, g, b, false);
    else
        std::fprintf(stderr, "%s\n", text);
}

void CCommandInterpreter::Print(const char* text) {
    PrintColor(text, 255, 255, 255);
}

void CCommandInterpreter::Printf(const char* format, ...) {
    CStrBuf text;
    va_list ap;
    va_start(ap, format);
    text.FormatV(format, ap);
    va_end(ap);
    Print(text.GetText());
}

namespace {
void OnLastBindingsFile(CConsoleCommand* record, SCommandArgs*, CVFSFile*) {
    if (ICommandHost* host = record->GetInterpreter()->GetHost()) host->OnBindingsFileChanged();
}
}  // namespace

void CCommandInterpreter::RegisterOwnEntries() {
    const SCommandRow rows[] = {
        SCommandRow::Bool("true", &m_true, "Constant", "true").ReadOnly(),
        SCommandRow::Bool("false", &m_false, "Constant", "false").ReadOnly(),
        SCommandRow::String("input_LastFile", &m_lastBindingsFile, 260,
                            "Variable for saving the last used bindings file", "input_LastFile")
            .OnChange(OnLastBindingsFile),
    };
    CommandTable_Register(this, rows);
}
