#include "console/Console.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "console/CommandInterpreter.h"

CConsole::CConsole(IConsoleHost* host) : m_host(host) {}

CConsole::~CConsole() {
    ReleasePictures();
    SetBackgroundVideo(nullptr);
}

bool CConsole::Init(int scrollBack, int marginX, int marginY) {
    CSysScopedLock<CSysMutex> lock(m_mutex);
    m_marginX = marginX;
    m_marginY = marginY;
    if (m_lines.empty() && scrollBack > 0) {
        m_lines.resize(static_cast<size_t>(scrollBack));
        m_newest = 0;
        m_lineCount = 0;
        m_viewOffset = 0;
    }
    if (m_screen.empty()) {
        m_screen.resize(kScreenLines);
        m_screenNewest = 0;
        m_screenCount = 0;
    }
    return true;
}

void CConsole::Show() {
    m_visible = 1;
    if (m_host) m_host->ConsoleVisibilityChanged();
}

void CConsole::Hide() {
    m_visible = 0;
    if (m_host) m_host->ConsoleVisibilityChanged();
}

uint64_t CConsole::Now() const {
    return m_host ? m_host->ConsoleClockNow() : 0;
}

uint64_t CConsole::Frequency() const {
    return m_host ? m_host->ConsoleClockFrequency() : 0;
}

void CConsole::Push(std::vector<CConsoleLine>& ring, int& newest, int& count, int* viewOffset,
                    const char* text, bool replaceLast, int r, int g, int b) {
    const int n = static_cast<int>(ring.size());
    if (!replaceLast) {
        // The oldest line becomes the newest. A view that follows the newest
        // line keeps following; a scrolled-back view stays on its line, unless
        // that line is the one recycled.
        newest = (newest + 1) % n;
        if (count < n) ++count;
        if (viewOffset && *viewOffset > 0 && ++*viewOffset >= n) *viewOffset = 0;
    } else if (count == 0)
        count = 1;
    CConsoleLine& line = ring[static_cast<size_t>(newest)];
    line.text.Assign(text);
    line.r = static_cast<uint8_t>(r);
    line.g = static_cast<uint8_t>(g);
    line.b = static_cast<uint8_t>(b);
}

bool CConsole::Print(const char* text, bool replaceLast, int r, int g, int b, bool echo) {
    if (!text) text = "";
    CSysScopedLock<CSysMutex> lock(m_mutex);
    if (!echo) {
        if (!m_lines.empty()) Push(m_lines, m_newest, m_lineCount, &m_viewOffset, text, replaceLast, r, g, b);
    } else {
        m_screenExpiry = Now() + static_cast<uint64_t>(static_cast<double>(Frequency()) * 4.0);
        if (!m_lines.empty() && text[0])
            Push(m_lines, m_newest, m_lineCount, &m_viewOffset, text, replaceLast, r, g, b);
        if (!m_screen.empty())
            Push(m_screen, m_screenNewest, m_screenCount, nullptr, text, replaceLast, r, g, b);
    }
    if (m_echoStdout) {
        std::fputs(text, stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }
    if (m_sink) m_sink(m_sinkUser, text, r, g, b, echo);
    return true;
}

bool CConsole::Printf(const char* format, ...) {
    CStrBuf text;
    va_list ap;
    va_start(ap, format);
    text.FormatV(format, ap);
    va_end(ap);
    return Print(text.GetText(), false, 255, 255, 255, false);
}

bool CConsole::PrintfColor(const char* format, int r, int g, int b, int echo, ...) {
    CStrBuf text;
    va_list ap;
    va_start(ap, echo);
    text.FormatV(format, ap);
    va_end(ap);
    return Print(text.GetText(), false, r, g, b, echo != 0);
}

bool CConsole::PrintAndRender(const char* text, bool replaceLast, bool flag) {
    Print(text, replaceLast, 255, 255, 255, false);
    if (m_host) m_host->ConsoleRenderNow(flag);
    return true;
}

void CConsole::PrintTime() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    Printf("Current time is : %d:%.2d:%.2d %d/%d, %d", local.tm_hour, local.tm_min, local.tm_sec,
           local.tm_mday, local.tm_mon + 1, local.tm_year + 1900);
}

void CConsole::SetLineSink(ConsoleLineSink sink, void* user) {
    CSysScopedLock<CSysMutex> lock(m_mutex);
    m_sink = sink;
    m_sinkUser = user;
}

const CConsoleLine* CConsole::GetLine(int fromNewest) const {
    if (fromNewest < 0 || fromNewest >= m_lineCount) return nullptr;
    const int n = static_cast<int>(m_lines.size());
    return &m_lines[static_cast<size_t>((m_newest - fromNewest + n) % n)];
}

void CConsole::ScrollOlder(int lines) {
    CSysScopedLock<CSysMutex> lock(m_mutex);
    int limit = m_lineCount > 0 ? m_lineCount - 1 : 0;
    m_viewOffset = (lines > limit - m_viewOffset) ? limit : m_viewOffset + lines;
}

void CConsole::ScrollNewer(int lines) {
    CSysScopedLock<CSysMutex> lock(m_mutex);
    m_viewOffset = (lines >= m_viewOffset) ? 0 : m_viewOffset - lines;
}

void CConsole::ScrollToOldest() {
    CSysScopedLock<CSysMutex> lock(m_mutex);
    m_viewOffset = m_lineCount > 0 ? m_lineCount - 1 : 0;
}

void CConsole::AdvanceScreenMessages() {
    // Printing threads change the same ring, so this takes the mutex too.
    CSysScopedLock<CSysMutex> lock(m_mutex);
    uint64_t now = Now();
    if (now <= m_screenExpiry || m_screen.empty()) return;
    m_screenExpiry = now + static_cast<uint64_t>(static_cast<double>(Frequency()) * 2.0);
    Push(m_screen, m_screenNewest, m_screenCount, nullptr, " ", false, 0, 0, 0);
}

const CConsoleScreenLine* CConsole::GetScreenLine(int fromNewest) const {
    if (fromNewest < 0 || fromNewest >= m_screenCount) return nullptr;
    const int n = static_cast<int>(m_screen.size());
    return &m_screen[static_cast<size_t>((m_screenNewest - fromNewest + n) % n)];
}

void CConsole::ClearScreenMessages() {
    CSysScopedLock<CSysMutex> lock(m_mutex);
    for (CConsoleScreenLine& line : m_screen) line.text.Clear();
}

void CConsole::ResetBlink() {
    m_blinkPhase = 1;
    m_blinkTime = Now();
}

int CConsole::UpdateBlink() {
    uint64_t now = Now();
    uint64_t quarter = static_cast<uint64_t>(static_cast<double>(Frequency()) * 0.25);
    if (now - m_blinkTime > quarter) {
        m_blinkPhase ^= 1;
        m_blinkTime = now;
    }
    return m_blinkPhase;
}

const char* CConsole::GetHistory(int index) const {
    return (index >= 0 && index < kHistoryLines) ? m_history[index].GetText() : "";
}

void CConsole::PushHistory() {
    for (int i = 0; i < kHistoryLines - 1; ++i) m_history[i] = static_cast<CStrBuf&&>(m_history[i + 1]);
    m_history[kHistoryLines - 1].Assign(m_commandLine);
}

bool CConsole::ExecuteCommandLine(const char* text) {
    if (!m_commandLine.IsEmpty()) PushHistory();
    m_historyIndex = 0;
    if (!text) return true;
    CCommandInterpreter* interpreter = m_host ? m_host->ConsoleInterpreter() : nullptr;
    if (interpreter && !interpreter->Execute(true, const_cast<char*>(text), -1)) return true;
    // Nothing ran: the line is chat, without the " ;" the caller appended.
    size_t n = std::strlen(text);
    CStrBuf chat;
    chat.Append(text, static_cast<int32_t>(n >= 2 ? n - 2 : 0));
    if (m_host) m_host->ConsoleSendChat(chat.GetText());
    return true;
}

bool CConsole::PasteToCommandLine() {
    CStrBuf clip;
    IConsoleHost::EClipboard result =
        m_host ? m_host->ConsoleGetClipboard(clip) : IConsoleHost::kClipboardNotText;
    if (result == IConsoleHost::kClipboardNotText) {
        Printf("Clipboard format is not text...");
        return false;
    }
    if (result == IConsoleHost::kClipboardOpenFailed) {
        Printf("Failed to open clipboard...");
        return false;
    }
    m_commandLine.Append(clip.GetText());
    return true;
}

bool CConsole::CopyFromCommandLine() {
    if (m_commandLine.IsEmpty()) return false;
    if (!m_host || !m_host->ConsoleSetClipboard(m_commandLine.GetText())) {
        Printf("Failed to open clipboard...");
        return false;
    }
    return true;
}

void CConsole::SubmitCommandLine() {
    if (m_commandLine.IsEmpty()) return;
    PrintfColor("%s", 255, 128, 255, false, m_commandLine.GetText());
    m_commandLine.Append(" ;");
    CStrBuf text(m_commandLine);
    ExecuteCommandLine(text.GetText());
    // The history keeps the line as typed.
    CStrBuf& newest = m_history[kHistoryLines - 1];
    int32_t length = newest.GetLength();
    if (length >= 2) newest.SetAt(length - 2, 0);
    newest.ShrinkToFit();
    m_commandLine.Assign("");
}

void CConsole::StoreCommandLine() {
    if (m_commandLine.IsEmpty()) return;
    PushHistory();
    m_historyIndex = 0;
    m_commandLine.Assign("");
}

void CConsole::HistoryOlder() {
    if (m_historyIndex < kHistoryLines) ++m_historyIndex;
    if (m_history[kHistoryLines - m_historyIndex].IsEmpty()) --m_historyIndex;
    m_commandLine.Assign(m_historyIndex > 0 ? m_history[kHistoryLines - m_historyIndex].GetText() : "");
}

void CConsole::HistoryNewer() {
    if (--m_historyIndex < 0) m_historyIndex = 0;
    m_commandLine.Assign(m_historyIndex > 0 ? m_history[kHistoryLines - m_historyIndex].GetText() : "");
}

bool CConsole::CompleteCommandLine() {
    CCommandInterpreter* interpreter = m_host ? m_host->ConsoleInterpreter() : nullptr;
    if (!interpreter) return false;
    CStrBuf completed(m_commandLine);
    bool one = interpreter->GetClosestCommand(m_commandLine.GetText(), completed) == 1;
    m_commandLine.Assign(completed);
    if (one) m_commandLine.Append(" ");
    return one;
}
