// An X server of a test's own (Xvfb): windows that the test drives with real
// X events (xdotool) meet no other window that could take the keyboard
// focus meanwhile.
#pragma once

#include <string>

#include "tests/support/Process.h"

class CTestXServer {
public:
    CTestXServer() = default;
    ~CTestXServer() { m_server.Stop(); }
    CTestXServer(const CTestXServer&) = delete;
    CTestXServer& operator=(const CTestXServer&) = delete;

    // Starts Xvfb (1280 x 1024, 24 bits, no TCP); false when it does not run.
    // The server picks a free display itself. A display whose lock file is
    // gone while its server still runs makes it give up, not try the next:
    // then numbers of our own are tried.
    bool Start();
    // ":N" once started, else "".
    const std::string& Display() const { return m_display; }
    // Runs a command line against this server: its standard output.
    std::string Shell(const std::string& command) const;

private:
    bool StartOn(const char* display);

    CTestProcess m_server;
    std::string m_display;
};

// Whether a tool is on the PATH.
bool Test_OnPath(const char* tool);
