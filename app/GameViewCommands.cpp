// The video area of the command set: the display settings that Video.cfg
// holds, the driver and resolution lists, the display restart, the
// character set and a few drawing switches. Start-up registers them right
// after the interpreter exists, so that Video.cfg can run before the display
// is set up.
#include <cstdio>
#include <cstring>

#include "app/Game.h"
#include "app/GameView.h"
#include "console/CommandInterpreter.h"
#include "console/CommandTable.h"
#include "core/VFSFile.h"
#include "e3d/Engine.h"

namespace {

CGame* Game(CConsoleCommand* record) {
    return static_cast<CGame*>(record->GetContext());
}
SVideoSettings* Slot(CConsoleCommand* record) {
    CGame* game = Game(record);
    return game ? &game->Video(0) : nullptr;
}

void Print(CConsoleCommand* record, const char* text) {
    record->GetInterpreter()->Print(text);
}

void WriteLine(CVFSFile* file, const char* text) {
    file->Write(text, static_cast<uint32_t>(std::strlen(text)));
}

void Restarted(CConsoleCommand* record) {
    if (CGame* game = Game(record)) game->CheckVideoSettingsChanged();
}

// A flag is false when it starts with 0 or a lower-case f.
bool Flag(const char* text) {
    return !(text && (text[0] == '0' || text[0] == 'f'));
}

// The shape every setting shares: write the line into Video.cfg, print the
// value without arguments, store it with exactly the right count.
void IntSetting(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file, int32_t* value,
                const char* printFormat) {
    char line[320];
    if (file) {
        std::snprintf(line, sizeof line, "%s(%d);\r\n", record->GetName(), *value);
        WriteLine(file, line);
    } else if (args->count == 0) {
        std::snprintf(line, sizeof line, printFormat, *value);
        Print(record, line);
    } else if (args->count == 1) {
        args->arg[0].GetInt(*value);
        Restarted(record);
    }
}

void FlagSetting(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file, uint8_t* value) {
    char line[320];
    if (file) {
        std::snprintf(line, sizeof line, "%s(%d);\r\n", record->GetName(), *value ? 1 : 0);
        WriteLine(file, line);
    } else if (args->count == 0) {
        std::snprintf(line, sizeof line, "%s = %s", record->GetName(), *value ? "true" : "false");
        Print(record, line);
    } else if (args->count == 1) {
        *value = Flag(args->Text(0));
        Restarted(record);
    }
}

void Cmd_Driver(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    SVideoSettings* s = Slot(record);
    if (!s) return;
    CStrBuf line;
    if (file) {
        line.Format("%s(\"%s\");\r\n", record->GetName(), s->driverName.GetText());
        WriteLine(file, line.GetText());
    } else if (args->count == 0) {
        line.Format("Vid_Driver = %s", s->driverName.GetText());
        Print(record, line.GetText());
    } else if (args->count == 1) {
        s->driverName = args->Text(0);
        Restarted(record);
    }
}

void Cmd_Resolution(CConsoleCommand* record, SCommandArgs* args, CVFSFile* file) {
    SVideoSettings* s = Slot(record);
    if (!s) return;
    char line[320];
    if (file) {
        std::snprintf(line, sizeof line, "%s(%d,%d);\r\n", record->GetName(), s->width, s->height);
        WriteLine(file, line);
    } else if (args->count == 0) {
        std::snprintf(line, sizeof line, "Vid_Resolution = %d x %d", s->width, s->height);
        Print(record, line);
    } else if (args->count == 2) {
        args->arg[0].GetInt(s->width);
        args->arg[1].GetInt(s->height);
        Restarted(record);
    }
}

void Cmd_Hardware(CConsoleCommand* r, SCommandArgs* a, CVFSFile* f) {
    if (SVideoSettings* s = Slot(r)) FlagSetting(r, a, f, &s->hardware);
}
void Cmd_Windowed(CConsoleCommand* r, SCommandArgs* a, CVFSFile* f) {
    if (SVideoSettings* s = Slot(r)) FlagSetting(r, a, f, &s->windowed);
}
void Cmd_RefreshRate(CConsoleCommand* r, SCommandArgs* a, CVFSFile* f) {
    if (SVideoSettings* s = Slot(r)) IntSetting(r, a, f, &s->refreshRate, "Vid_RefreshRate = %d");
}
void Cmd_BitDepth(CConsoleCommand* r, SCommandArgs* a, CVFSFile* f) {
    if (SVideoSettings* s = Slot(r)) IntSetting(r, a, f, &s->bitDepth, "Vid_BitDepth = %d");
}
void Cmd_TextureDetail(CConsoleCommand* r, SCommandArgs* a, CVFSFile* f) {
    if (SVideoSettings* s = Slot(r)) IntSetting(r, a, f, &s->textureDetail, "Vid_TextureDetail = %d ");
}
void Cmd_TextureQuality(CConsoleCommand* r, SCommandArgs* a, CVFSFile* f) {
    if (SVideoSettings* s = Slot(r)) IntSetting(r, a, f, &s->textureQuality, "Vid_TextureQuality = %d ");
}

void ForceRestart(CGame* game) {
    if (!game) return;
    if (game->GameView()) game->GameView()->ChangeDisplayMode();
    game->SetVideoRestartPending(0);
}

void Cmd_ForceRestart(CConsoleCommand* record, SCommandArgs*, CVFSFile*) {
    ForceRestart(Game(record));
}

void Cmd_Restart(CConsoleCommand* record, SCommandArgs*, CVFSFile*) {
    CGame* game = Game(record);
    if (game && game->VideoRestartPending())
        ForceRestart(game);
    else
        Print(record, "Video does not need restarting. To force a restart use vid_ForceRestart();");
}

void ListDrivers(CConsoleCommand* record, bool modes) {
    CGame* game = Game(record);
    CE3DEngine* engine = game && game->GameView() ? game->GameView()->m_engine : nullptr;
    CStrBuf line;
    Print(record, "");
    line.Format("%-10s%-30s%s", "Number", "Name", "Description");
    Print(record, line.GetText());
    for (int i = 0; engine && i < engine->m_driverCount; ++i) {
        const SDirectDrawDesc* d = engine->m_drivers[i];
        line.Format("%-10d%-30s%s", i, d->driverName, d->description);
        Print(record, line.GetText());
        for (int m = 0; modes && m < d->modeCount; ++m) {
            const DDSURFACEDESC2& mode = *d->modes[m];
            char size[32];
            std::snprintf(size, sizeof size, "%d x %d", mode.dwWidth, mode.dwHeight);
            line.Format("%-13s: %-2d %-3d", size, mode.ddpfPixelFormat.dwRGBBitCount, mode.dwRefreshRate);
            Print(record, line.GetText());
        }
    }
    Print(record, "");
}

void Cmd_ListDrivers(CConsoleCommand* record, SCommandArgs*, CVFSFile*) {
    ListDrivers(record, false);
}
void Cmd_ListResolutions(CConsoleCommand* record, SCommandArgs*, CVFSFile*) {
    ListDrivers(record, true);
}

}  // namespace

void RegisterVideoCommands(CCommandInterpreter* ip) {
    CGame* game = static_cast<CGame*>(ip->GetContext());
    if (!game || ip->GetCommand("Vid_Restart")) return;
    game->RegisterVariables(
        ip, {"Vid_Charset", "Vid_BinkSoundTrack", "g_DontDrawConsole", "g_DrawProgressBars", "GUI_Disable"});
    const SCommandRow rows[] = {
        SCommandRow::Function("Vid_Driver", Cmd_Driver, "Selects the driver for the selected monitor",
                              "Vid_Driver(int Monitor = 0, str DriverName);")
            .Config("Video.cfg"),
        SCommandRow::Function("Vid_Resolution", Cmd_Resolution,
                              "Sets the resoultion for the selected monitor",
                              "Vid_Resolution(int Monitor = 0, int Width, int Height);")
            .Config("Video.cfg"),
        SCommandRow::Function("Vid_ListResolutions", Cmd_ListResolutions,
                              "Lists the awailable resolutions for the selected nonitor",
                              "Vid_ListResolutions(int Monitor = 0);"),
        SCommandRow::Function("Vid_Hardware", Cmd_Hardware,
                              "Enables hardware 3D rasterazion on the selected monitor",
                              "Vid_Hardware(int Monitor = 0, bool Enable);")
            .Config("Video.cfg"),
        SCommandRow::Function("Vid_RefreshRate", Cmd_RefreshRate,
                              "Selects the prefered refreshrate for the slected monitor",
                              "Vid_RefreshRate(int Monitor = 0, );")
            .Config("Video.cfg"),
        SCommandRow::Function("Vid_BitDepth", Cmd_BitDepth,
                              "Selects the prefered bitdepth for the selected monitor",
                              "Vid_BitDepth(int Monitor = 0, int BitDepth);")
            .Config("Video.cfg"),
        SCommandRow::Function("Vid_Windowed", Cmd_Windowed, "Selects windowed mode for the selected monitor",
                              "Vid_Windowed(int Monitor = 0, bool Windowed);")
            .Config("Video.cfg"),
        SCommandRow::Function("Vid_TextureDetail", Cmd_TextureDetail,
                              "Selects texture detail selected monitor",
                              "Vid_TextureDetail(int Monitor = 0, int Detail);")
            .Config("Video.cfg"),
        SCommandRow::Function("Vid_TextureQuality", Cmd_TextureQuality,
                              "Selects texture quality for the selected monitor",
                              "Vid_TextureQuality(int Monitor = 0, int Qualitu);")
            .Config("Video.cfg"),
        SCommandRow::Function("Vid_ForceRestart", Cmd_ForceRestart, "Restares the video system",
                              "Vid_ForceRestart"),
        SCommandRow::Function("Vid_Restart", Cmd_Restart, "Restares the video system", "Vid_Restart"),
        SCommandRow::Function("Vid_ListDrivers", Cmd_ListDrivers, "Lists the available drivers",
                              "Vid_ListDrivers();"),
    };
    CommandTable_Register(ip, rows);
    game->RegisterVariables(ip, {"Vid_mon1_Windowed"});
}
