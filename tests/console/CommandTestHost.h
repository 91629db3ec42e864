// A stand-in for the game around the interpreter and the console: the state
// bits, a clock the test moves by hand, a scripts root in a temporary folder,
// and every printed console line collected for comparison.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "console/CommandHost.h"
#include "console/CommandInterpreter.h"
#include "console/Console.h"
#include "platform/sys/Path.h"

class CTestCommandHost : public ICommandHost, public IConsoleHost
{
public:
  struct SLine
  {
    std::string text;
    int r, g, b;
    bool echo;
  };

  CTestCommandHost() : console(this), interpreter(nullptr, this)
  {
    console.Init(CConsole::kScrollBackLines, 17, 8);
    console.SetLineSink(&CTestCommandHost::Sink, this);
    interpreter.SetConfigSaveEnabled(true);
  }
  ~CTestCommandHost() override
  {
    if (!m_tempRoot.empty())
    {
      std::string cmd = "rm -rf '" + m_tempRoot + "'";
      if (std::system(cmd.c_str()) != 0)
        std::perror("rm");
    }
  }

  // A fresh folder under /tmp that GetPath resolves names below.
  const std::string& MakeRoot()
  {
    char pattern[] = "/tmp/tessarak-console-XXXXXX";
    m_tempRoot = mkdtemp(pattern);
    root = Sys_ToWindowsPath(m_tempRoot.c_str());
    return m_tempRoot;
  }
  void WriteFile(const std::string& relative, const std::string& content)
  {
    std::string path = m_tempRoot + "/" + relative;
    std::string dir = path.substr(0, path.rfind('/'));
    std::string cmd = "mkdir -p '" + dir + "'";
    if (std::system(cmd.c_str()) != 0)
      std::perror("mkdir");
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(content.data(), 1, content.size(), f);
    std::fclose(f);
    Sys_FlushPathCache();
  }
  std::string ReadFile(const std::string& relative)
  {
    std::string out;
    FILE* f = std::fopen((m_tempRoot + "/" + relative).c_str(), "rb");
    if (!f)
      return "<missing>";
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
      out.append(buf, n);
    std::fclose(f);
    return out;
  }

  // Runs text (copied) and returns the lines it printed, joined by '|'.
  std::string Run(const char* text, bool quiet = false)
  {
    lines.clear();
    lastResult = interpreter.Execute(quiet, text);
    return Joined();
  }
  std::string Joined() const
  {
    std::string out;
    for (size_t i = 0; i < lines.size(); ++i)
      out += (i ? "|" : "") + lines[i].text;
    return out;
  }

  // ICommandHost
  uint32_t GetGameStateBits() override { return bits; }
  CConsole* GetConsole() override { return &console; }
  const char* GetPath(const char* subFolder, const char* name) override
  {
    m_path = root;
    if (subFolder && *subFolder)
      m_path += std::string("\\") + subFolder;
    if (name && *name)
      m_path += std::string("\\") + name;
    return m_path.c_str();
  }
  void OnBindingsFileChanged() override { ++bindingsChanged; }

  // IConsoleHost
  uint64_t ConsoleClockNow() override { return now; }
  uint64_t ConsoleClockFrequency() override { return frequency; }
  CCommandInterpreter* ConsoleInterpreter() override { return &interpreter; }
  void ConsoleSendChat(const char* text) override { chats.push_back(text); }
  EClipboard ConsoleGetClipboard(CStrBuf& out) override
  {
    out.Assign(clipboard.c_str());
    return clipboardState;
  }
  bool ConsoleSetClipboard(const char* text) override
  {
    ++clipboardWrites;
    if (clipboardState == kClipboardOpenFailed)
      return false;
    clipboard = text;
    return true;
  }

  uint32_t bits = kStateNotInGame;
  uint64_t now = 0;
  uint64_t frequency = 1193182;
  std::string root;
  std::vector<SLine> lines;
  std::vector<std::string> chats;
  std::string clipboard;
  EClipboard clipboardState = kClipboardOk;
  int clipboardWrites = 0;
  int bindingsChanged = 0;
  bool lastResult = false;

  CConsole console;
  CCommandInterpreter interpreter;

private:
  static void Sink(void* user, const char* text, int r, int g, int b, bool echo)
  {
    static_cast<CTestCommandHost*>(user)->lines.push_back({text, r, g, b, echo});
  }
  std::string m_tempRoot;
  std::string m_path;
};

// "Echo(text)" prints its first argument; tests read arguments through it.
inline void TestCmd_Echo(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file)
{
  if (file || !args || args->count < 1)
    return;
  std::string all;
  for (int i = 0; i < args->count; ++i)
    all += (i ? "," : "") + std::string(args->Text(i) ? args->Text(i) : "<null>");
  record->GetInterpreter()->Print(all.c_str());
}
