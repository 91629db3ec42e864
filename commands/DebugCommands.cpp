#include "commands/DebugCommands.h"

#include <ctime>

#include "app/Game.h"
#include "commands/CommandArgs.h"
#include "commands/CommandContext.h"
#include "console/CommandInterpreter.h"
#include "console/CommandTable.h"
#include "platform/sys/Chatter.h"

namespace {

void Cmd_SaveScreenCapture(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    if (CGame* game = file ? nullptr : GameOf(record)) game->SetCaptureMode(1);
}

// The sizes of two records of the network engine as the game reported them.
void Cmd_ReportClassSizes(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    if (file) return;
    CCommandInterpreter* ip = record->GetInterpreter();
    ip->Printf("CNWEDupPacket %d", 112);
    ip->Printf("CNWEDataPacket %d", 1712);
}

// The capture rate of Capture_Start and Capture_Video: 30 without an
// argument, else frames per second above 0 and at most 1000; false (said)
// when wrong.
bool CaptureRate(CConsoleCommand* record, SCommandArgs* args, float* rate) {
    *rate = 30.0f;
    if (Args_Count(args) > 1) return Args_Error(record, "To many arguments"), false;
    if (Args_Count(args) == 1 && (!Args_Float(args, 0, *rate) || !(*rate > 0.0f) || *rate > 1000.0f))
        return Args_Error(record, "Ivalid argument (frames per second above 0 and at most 1000)"), false;
    return true;
}

// Capture_Start(Fps): pictures of the game view at that rate, from the next
// frame on (ScreenCaptures\AnimNNNNNN.bmp).
void Cmd_CaptureStart(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CGame* game = file ? nullptr : GameOf(record);
    float rate;
    if (game && CaptureRate(record, args, &rate)) game->StartCaptureAnimation(rate);
}

// Capture_Video(Fps): the same into one video file (ScreenCaptures\AnimNNNNNN.avi).
void Cmd_CaptureVideo(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    CGame* game = file ? nullptr : GameOf(record);
    float rate;
    if (game && CaptureRate(record, args, &rate)) game->StartCaptureVideo(rate);
}

void Cmd_CaptureStop(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    if (CGame* game = file ? nullptr : GameOf(record)) game->SetCaptureMode(0);
}

// "Current time is : 9:05:07 1/3, 2024": the local time, the day of the
// month and the month.
void Cmd_ShowTime(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    if (file) return;
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    record->GetInterpreter()->Printf("Current time is : %d:%.2d:%.2d %d/%d, %d", local.tm_hour, local.tm_min,
                                     local.tm_sec, local.tm_mday, local.tm_mon + 1, local.tm_year + 1900);
}

// The sound and system libraries' own messages, which stay off the
// terminal: the last ones kept, oldest first.
void Cmd_LibraryLog(CConsoleCommand* record, SCommandArgs*, CVFSFile* file) {
    if (file) return;
    CCommandInterpreter* ip = record->GetInterpreter();
    const std::vector<std::string> lines = Chatter_Lines();
    ip->Printf("The libraries said %d message%s; the last %d:", Chatter_Count(),
               Chatter_Count() == 1 ? "" : "s", static_cast<int>(lines.size()));
    for (const std::string& line : lines) ip->Printf("%s", line.c_str());
}

}  // namespace

void RegisterDebugCommands(CCommandInterpreter* ip) {
    const SCommandRow rows[] = {
        SCommandRow::Function("SaveScreenCapture", Cmd_SaveScreenCapture, "Saves a screencapture to disk",
                              "SaveScreenCapture"),
        SCommandRow::Function("ReportClassSizes", Cmd_ReportClassSizes, "Saves a screencapture to disk",
                              "ReportClassSizes"),
        SCommandRow::Function("Capture_Start", Cmd_CaptureStart,
                              "starts to capture a animation with the supplied fps as framerate",
                              "Capture_Start(float Fps);"),
        SCommandRow::Function("Capture_Stop", Cmd_CaptureStop, "Stops the capture of a animation",
                              "Capture_Stop();"),
        SCommandRow::Function("Capture_Video", Cmd_CaptureVideo,
                              "Records the game view into a video file at the supplied frames per second",
                              "Capture_Video(float Fps);"),
        SCommandRow::Function("ShowTime", Cmd_ShowTime, "Shows the current time in the console",
                              "ShowTime();"),
        SCommandRow::Function("dbg_LibraryLog", Cmd_LibraryLog,
                              "Shows the last messages of the sound and system libraries, which are kept off "
                              "the terminal",
                              "dbg_LibraryLog();"),
    };
    CommandTable_Register(ip, rows);
}
