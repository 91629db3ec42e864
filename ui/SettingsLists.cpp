#include "ui/SettingsLists.h"

#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "console/CommandInterpreter.h"
#include "netgame/MasterProtocol.h"
#include "netgame/NetGame.h"
#include "netgame/ServerBrowser.h"
#include "ui/Interface.h"
#include "world/Player.h"

const char* const CSettingsLists::kClassNames[9] = {
    "GraphicsClass",       "GraphicsGraphicsClass", "SoundClass",  "MusicClass",  "InterfaceClass",
    "MultiplayerSettings", "MultiplayerLobby",      "ServerStats", "MatchServers"};

namespace {

// A system text by its identifier's name (the tables read as the texts do).
int32_t Lid(const char* name) {
    std::string full = std::string("SYSLID_") + name;
    for (int i = 0; i < kSystemTextCount; ++i)
        if (full == kSystemTextNames[i]) return i;
    return -1;
}

CSettingsLists* Lists(CSettingEntry* e) {
    return static_cast<CSettingsLists*>(e->m_class->m_owner);
}

CNetGame* Net(CSettingsLists* s) {
    return s->m_ui->NetGame();
}

CCommandInterpreter* Interpreter(CSettingsLists* s) {
    return s->m_ui->ConsoleInterpreter();
}

// Runs a command line as a script line would (the owner's own road).
void Run(CSettingsLists* s, const std::string& text) {
    if (CCommandInterpreter* ip = Interpreter(s)) ip->Execute(true, text.c_str());
}

double Variable(CSettingsLists* s, const char* name) {
    return SettingValue_Variable(Interpreter(s), name).Shown();
}

void SetVariable(CSettingsLists* s, const char* name, double value) {
    if (Variable(s, name) != value) SettingValue_Variable(Interpreter(s), name).set(value);
}

// The graphics presets: screen mode, width, height, the three filters,
// texture detail and texture quality.
struct SGraphicsPreset {
    int32_t screenMode, width, height, magnification, minification, mipmap, detail, quality;
};
constexpr SGraphicsPreset kGraphicsPresets[4] = {
    {16, 640, 480, 2, 2, 2, 2, 32},
    {16, 640, 480, 2, 2, 2, 1, 32},
    {16, 800, 600, 2, 2, 2, 0, 32},
    {32, 1024, 768, 2, 2, 3, 0, 64},
};

// The connection presets: both rates and the packet size.
struct SConnectionPreset {
    float rate;
    int32_t packetSize;
};
constexpr SConnectionPreset kConnectionPresets[14] = {
    {0, 0},         {1350, 384},    {2700, 512},     {3150, 512},     {3500, 512},
    {6000, 768},    {12000, 768},   {45000, 768},    {50000, 768},    {140000, 1024},
    {180000, 1024}, {500000, 1024}, {1000000, 1024}, {3000000, 1350},
};

const char* const kConnectionNames[14] = {
    "CONNECTION_CUSTOM", "CONNECTION_144",      "CONNECTION_288",   "CONNECTION_336",    "CONNECTION_576",
    "CONNECTION_ISDN",   "CONNECTION_DUALISDN", "CONNECTION_CABLE", "CONNECTION_ASDL",   "CONNECTION_T1",
    "CONNECTION_2MBIT",  "CONNECTION_10MBIT",   "CONNECTION_T3",    "CONNECTION_100MBIT"};

// The thirteen locations in list order, with their values.
const struct {
    const char* name;
    int32_t value;
} kLocations[13] = {
    {"LOCATION_US", 10},          {"LOCATION_WESTUS", 11},       {"LOCATION_CENTRALUS", 12},
    {"LOCATION_EASTUS", 13},      {"LOCATION_EUROPE", 4},        {"LOCATION_CENTRALEUROPE", 6},
    {"LOCATION_SCANDINAVIA", 5},  {"LOCATION_EASTERNEUROPE", 7}, {"LOCATION_SOUTHAMERICA", 8},
    {"LOCATION_NORTHAMERICA", 9}, {"LOCATION_AUSTRALIA", 3},     {"LOCATION_AFRICA", 1},
    {"LOCATION_ASIA", 2}};

void AddLocations(CSettingEntry* e) {
    for (const auto& l : kLocations) e->AddChoice(Lid(l.name), l.value);
}

void AddDedicated(CSettingEntry* e) {
    e->AddChoice(Lid("GENERAL_DONTCARE"), 0);
    const char* const names[8] = {"GUISETTING_DEDICATED_NOTDEDICATED",
                                  "GUISETTING_DEDICATED_DEDICATED",
                                  "GUISETTING_DEDICATED_WIN9x",
                                  "GUISETTING_DEDICATED_WIN2000",
                                  "GUISETTING_DEDICATED_NOTDEDICATEDWIN9X",
                                  "GUISETTING_DEDICATED_NOTDEDICATEDWIN2000",
                                  "GUISETTING_DEDICATED_DEDICATEDWIN9X",
                                  "GUISETTING_DEDICATED_DEDICATEDWIN2000"};
    for (int i = 0; i < 8; ++i) e->AddChoice(Lid(names[i]), i + 1);
}

void AddConnections(CSettingEntry* e, bool dontCare) {
    if (dontCare) e->AddChoice(Lid("GENERAL_DONTCARE"), 0);
    for (int i = dontCare ? 1 : 0; i < 14; ++i) e->AddChoice(Lid(kConnectionNames[i]), i);
}

// ---- the callbacks

void OnGraphicsQuality(CSettingEntry* e) {
    CSettingsLists* s = Lists(e);
    // "Other" applies the first preset.
    s->ApplyGraphicsPreset(s->m_qualityPreset == 4 ? 0 : s->m_qualityPreset);
}

void OnDisplayDriver(CSettingEntry* e) {
    CSettingsLists* s = Lists(e);
    SVideoRequest request;
    if (const SDisplayDriver* d = s->m_driver >= 0 && s->m_driver < (int32_t)s->m_drivers.size()
                                      ? &s->m_drivers[s->m_driver]
                                      : nullptr;
        d && s->m_ui->GUIGame().VideoRequest(request)) {
        request.driver = d->name;
        s->m_ui->GUIGame().SetVideoRequest(request);
    }
    s->FillScreenModes();
}

void OnScreenMode(CSettingEntry* e) {
    CSettingsLists* s = Lists(e);
    SVideoRequest request;
    if (s->m_ui->GUIGame().VideoRequest(request)) {
        request.windowed = s->m_screenMode == 0;
        if (s->m_screenMode != 0) request.bitDepth = s->m_screenMode;
        s->m_ui->GUIGame().SetVideoRequest(request);
    }
    s->FillResolutions();
}

void OnResolution(CSettingEntry* e) {
    CSettingsLists* s = Lists(e);
    SVideoRequest request;
    if (s->m_resolution >= 0 && s->m_resolution < (int32_t)s->m_sizes.size() &&
        s->m_ui->GUIGame().VideoRequest(request)) {
        request.width = s->m_sizes[s->m_resolution].width;
        request.height = s->m_sizes[s->m_resolution].height;
        s->m_ui->GUIGame().SetVideoRequest(request);
    }
    s->FillRefreshRates();
}

void OnRefreshRate(CSettingEntry* e) {
    CSettingsLists* s = Lists(e);
    SVideoRequest request;
    if (s->m_ui->GUIGame().VideoRequest(request)) {
        request.refreshRate = s->m_refreshRate;
        s->m_ui->GUIGame().SetVideoRequest(request);
    }
    s->DetectGraphicsPreset();
}

void OnDisplayOption(CSettingEntry* e) {
    Lists(e)->DetectGraphicsPreset();
}

void OnUpdateTextureFilter(CSettingEntry* e) {
    Lists(e)->UpdateTextureFilter();
}

void OnTextureFilter(CSettingEntry* e) {
    CSettingsLists* s = Lists(e);
    // "Other" is no filter of its own: stepping on from trilinear returns to
    // bilinear.
    if (s->m_textureFilter == 2) s->m_textureFilter = 0;
    SetVariable(s, "cg_TextureMagnification", 2);
    SetVariable(s, "cg_TextureMinification", 2);
    SetVariable(s, "cg_TextureMipmapMode", s->m_textureFilter == 1 ? 3 : 2);
    s->DetectGraphicsPreset();
}

void OnSoundQuality(CSettingEntry* e) {
    Run(Lists(e), "se_Quality();");
}

void OnPlayMusic(CSettingEntry* e) {
    Run(Lists(e), "se_MusicActive();");
}

void OnMusicVolume(CSettingEntry* e) {
    // The stream's volume follows at once.
    CSettingsLists* s = Lists(e);
    Run(s, "se_MusicVolume(" + std::to_string((int)std::lround(Variable(s, "musicopt_Volume"))) + ");");
}

void OnPlayerName(CSettingEntry*) {}

void OnConnection(CSettingEntry* e) {
    CSettingsLists* s = Lists(e);
    s->ApplyConnectionPreset(s->m_connectionPreset);
}

void OnRate(CSettingEntry* e) {
    Lists(e)->DetectConnectionPreset();
}

void OnResetFindServers(CSettingEntry* e) {
    CSettingsLists* s = Lists(e);
    s->m_find = CSettingsLists::SFind();
    s->ApplyFindServers();
}

void OnFindServers(CSettingEntry* e) {
    Lists(e)->ApplyFindServers();
}

void OnResetServerFilter(CSettingEntry* e) {
    CSettingsLists* s = Lists(e);
    s->m_filter = CSettingsLists::SFilter();
    s->ApplyServerFilter();
}

void OnServerFilter(CSettingEntry* e) {
    Lists(e)->ApplyServerFilter();
}

// A value of the network game's current (announced) description, and the
// host's own setting it is written to.
SSettingValue Announced(CSettingsLists* s, int32_t (*get)(const CServerInfo&), const char* variable) {
    SSettingValue v = SettingValue_Variable(Interpreter(s), variable);
    v.shown = [s, get]() -> double {
        CNetGame* net = Net(s);
        return net ? get(net->m_joinedInfo) : 0.0;
    };
    return v;
}

}  // namespace

int32_t CSettingsLists::ConnectionClassFromRate(float rate) {
    return Net_ConnectionClassFromRate(rate);
}

CSettingClass* CSettingsLists::Find(const char* name) {
    if (!name) return nullptr;
    for (std::unique_ptr<CSettingClass>& c : m_classes)
        if (c->m_name == name) return c.get();
    return nullptr;
}

CSettingClass* CSettingsLists::NewClass(const char* name) {
    m_classes.push_back(std::make_unique<CSettingClass>(name, this));
    CSettingClass* c = m_classes.back().get();
    CInterface* ui = m_ui;
    c->m_systemText = [ui](int32_t index) { return ui->SystemTextOrName(index); };
    return c;
}

void CSettingsLists::Parse() {
    m_classes.clear();
    m_driverEntry = m_screenModeEntry = m_resolutionEntry = m_refreshEntry = nullptr;
    m_searchClass = nullptr;
    NewClass(kClassNames[0]);
    BuildGraphics();
    BuildSound();
    BuildInterface();
    BuildMultiplayer();
    BuildLobby();
    BuildSearch();
}

void CSettingsLists::BuildGraphics() {
    CSettingClass* c = NewClass("GraphicsGraphicsClass");
    CCommandInterpreter* ip = Interpreter(this);
    CSettingEntry* e = c->AddChoice(Lid("GUISETTING_GRAPHICS_QUALITY"), OnGraphicsQuality, kSettingBoth,
                                    SettingValue_Int(&m_qualityPreset));
    for (const char* n : {"GENERAL_POOR", "GENERAL_LOW", "GENERAL_MEDIUM", "GENERAL_HIGH"})
        e->AddChoice(Lid(n), int32_t(e->m_choices.size()));
    e->AddChoice(Lid("GUISETTING_GRAPHICS_TEXTUREFILTER_OTHER"), 4);

    // The drivers: one choice each (the same GUID once; none without modes),
    // its value the driver's index in the list.
    m_drivers.clear();
    m_driverEntry = c->AddChoice(Lid("GUISETTING_VIDEO_DRIVER"), OnDisplayDriver, kSettingBoth,
                                 SettingValue_Int(&m_driver));
    for (const SDisplayDriver& d : m_ui->GUIGame().DisplayDrivers()) {
        if (d.modes.empty()) continue;
        bool seen = false;
        for (const SDisplayDriver& o : m_drivers)
            seen = seen || (o.primary == d.primary && std::memcmp(o.guid, d.guid, sizeof d.guid) == 0);
        if (seen) continue;
        m_drivers.push_back(d);
        const char* label = strcasecmp(d.description.c_str(), "Primary Display Driver") == 0
                                ? "Primary"
                                : d.description.c_str();
        m_driverEntry->AddChoiceText(label, int32_t(m_drivers.size()) - 1);
    }
    m_screenModeEntry = c->AddChoice(Lid("GUISETTING_VIDEO_SCREENMODE"), OnScreenMode, kSettingBoth,
                                     SettingValue_Int(&m_screenMode));
    m_resolutionEntry = c->AddChoice(Lid("GUISETTING_VIDEO_RESOLUTION"), OnResolution, kSettingBoth,
                                     SettingValue_Int(&m_resolution));
    m_refreshEntry = c->AddChoice(Lid("GUISETTING_VIDEO_REFRESHRATE"), OnRefreshRate, kSettingAdvanced,
                                  SettingValue_Int(&m_refreshRate));

    // The requested display's own values, through the game.
    IGUIGame* game = &m_ui->GUIGame();
    auto request = [game](auto field) {
        SSettingValue v;
        v.shown = [game, field]() -> double {
            SVideoRequest r;
            return game->VideoRequest(r) ? double(field(r)) : 0.0;
        };
        v.set = [game, field](double x) {
            SVideoRequest r;
            if (!game->VideoRequest(r)) return;
            field(r) = std::remove_reference_t<decltype(field(r))>(std::lround(x));
            game->SetVideoRequest(r);
        };
        return v;
    };
    c->AddBool(Lid("GUISETTING_VIDEO_USEHARDWARE"), OnDisplayOption, kSettingAdvanced,
               request([](SVideoRequest& r) -> bool& { return r.hardware; }));
    e = c->AddChoice(Lid("GUISETTING_GRAPHICS_TEXTUREDETAIL"), OnDisplayOption, kSettingBoth,
                     request([](SVideoRequest& r) -> int32_t& { return r.textureDetail; }));
    e->AddChoice(Lid("GENERAL_POOR"), 3);
    e->AddChoice(Lid("GENERAL_LOW"), 2);
    e->AddChoice(Lid("GENERAL_MEDIUM"), 1);
    e->AddChoice(Lid("GENERAL_HIGH"), 0);
    e = c->AddChoice(Lid("GUISETTING_GRAPHICS_TEXTUREQUALITY"), OnDisplayOption, kSettingAdvanced,
                     request([](SVideoRequest& r) -> int32_t& { return r.textureQuality; }));
    e->AddChoice(Lid("GUISETTING_GRAPHICS_TEXTUREQUALITY_16BIT"), 16);
    e->AddChoice(Lid("GUISETTING_GRAPHICS_TEXTUREQUALITY_DEFAULT"), 32);
    e->AddChoice(Lid("GUISETTING_GRAPHICS_TEXTUREQUALITY_32BITOVERIDE"), 64);
    // Now that every value of the display is there: the preset it matches,
    // and the driver's modes.
    SyncFromVideoRequest();
    DetectGraphicsPreset();
    FillScreenModes();

    e = c->AddChoice(Lid("GUISETTING_GRAPHICS_TEXTUREFILTER"), OnTextureFilter, kSettingBoth,
                     SettingValue_Int(&m_textureFilter));
    e->AddChoice(Lid("GUISETTING_GRAPHICS_TEXTUREFILTER_BILINEAR"), 0);
    e->AddChoice(Lid("GUISETTING_GRAPHICS_TEXTUREFILTER_TRILINEAR"), 1);
    e->AddChoice(Lid("GUISETTING_GRAPHICS_TEXTUREFILTER_OTHER"), 2);
    c->AddBool(Lid("GUISETTING_GRAPHICS_TEXTURES"), nullptr, kSettingAdvanced,
               SettingValue_Variable(ip, "cg_EnableTextures"));
    const char* const filters[3] = {"GUISETTING_GRAPHICS_GENERAL_FILTER_POINT",
                                    "GUISETTING_GRAPHICS_GENERAL_FILTER_LINEAR",
                                    "GUISETTING_GRAPHICS_GENERAL_FILTER_ANISIOTROPHIC"};
    e = c->AddChoice(Lid("GUISETTING_GRAPHICS_TEXTUREMAGNIFICATION"), OnUpdateTextureFilter, kSettingAdvanced,
                     SettingValue_Variable(ip, "cg_TextureMagnification"));
    e->AddChoice(Lid(filters[0]), 1);
    e->AddChoice(Lid(filters[1]), 2);
    e->AddChoice(Lid(filters[2]), 5);
    e = c->AddChoice(Lid("GUISETTING_GRAPHICS_TEXTUREMINIFICATION"), OnUpdateTextureFilter, kSettingAdvanced,
                     SettingValue_Variable(ip, "cg_TextureMinification"));
    for (int i = 0; i < 3; ++i) e->AddChoice(Lid(filters[i]), i + 1);
    e = c->AddChoice(Lid("GUISETTING_GRAPHICS_TEXTUREMIPMAP"), OnUpdateTextureFilter, kSettingAdvanced,
                     SettingValue_Variable(ip, "cg_TextureMipmapMode"));
    e->AddChoice(Lid("GENERAL_OFF"), 1);
    e->AddChoice(Lid(filters[0]), 2);
    e->AddChoice(Lid(filters[1]), 3);
    e = c->AddChoice(Lid("GUISETTING_GRAPHICS_FILLMODE"), nullptr, kSettingAdvanced,
                     SettingValue_Variable(ip, "cg_MaxFillMode"));
    for (const char* n : {"GUISETTING_GRAPHICS_FILLMODE_POINT", "GUISETTING_GRAPHICS_FILLMODE_WIRE",
                          "GUISETTING_GRAPHICS_FILLMODE_SOLID"})
        e->AddChoice(Lid(n), int32_t(e->m_choices.size()) + 1);
    e = c->AddChoice(Lid("GUISETTING_GRAPHICS_SHADEMODE"), nullptr, kSettingAdvanced,
                     SettingValue_Variable(ip, "cg_MaxShadeMode"));
    for (const char* n : {"GUISETTING_GRAPHICS_SHADEMODE_FLAT", "GUISETTING_GRAPHICS_SHADEMODE_GOURAUD",
                          "GUISETTING_GRAPHICS_SHADEMODE_PHONG"})
        e->AddChoice(Lid(n), int32_t(e->m_choices.size()) + 1);
    c->AddBool(Lid("GUISETTING_GRAPHICS_ALPHABLENDING"), nullptr, kSettingAdvanced,
               SettingValue_Variable(ip, "cg_EnableAlphaBlending"));
    c->AddBool(Lid("GUISETTING_GRAPHICS_ANTIALIASING"), nullptr, kSettingAdvanced,
               SettingValue_Variable(ip, "cg_EnableAntialiasing"));
    c->AddBool(Lid("GUISETTING_GRAPHICS_DITHERING"), nullptr, kSettingAdvanced,
               SettingValue_Variable(ip, "cg_EnableDithering"));
    c->AddInt(Lid("GUISETTING_GRAPHICS_MAXNUMBEROFLIGHTS"), nullptr, kSettingAdvanced,
              SettingValue_Variable(ip, "cg_MaxNumLights"), 1, 32, 1);
    UpdateTextureFilter();
}

void CSettingsLists::BuildSound() {
    CCommandInterpreter* ip = Interpreter(this);
    CSettingClass* c = NewClass("SoundClass");
    CSettingEntry* e = c->AddChoice(Lid("GENERAL_QUALITY"), OnSoundQuality, kSettingBasic,
                                    SettingValue_Variable(ip, "sndopt_Quality"));
    for (const char* n : {"GENERAL_POOR", "GENERAL_LOW", "GENERAL_MEDIUM", "GENERAL_HIGH"})
        e->AddChoice(Lid(n), int32_t(e->m_choices.size()) + 1);
    c->AddBool(Lid("GUISETTING_SOUNDEFFECTS"), nullptr, kSettingBasic,
               SettingValue_Variable(ip, "sndopt_EffectsActive"));
    c->AddInt(Lid("GUISETTING_SOUNDEFFECTSVOLUME"), nullptr, kSettingBasic,
              SettingValue_Variable(ip, "sndopt_EffectsVolume"), 0, 100, 5);
    c->AddBool(Lid("GUISETTING_INTERFACESOUND"), nullptr, kSettingBasic,
               SettingValue_Variable(ip, "sndopt_InterfaceSoundsActive"));
    c->AddInt(Lid("GUISETTING_INTERFACEVOLUME"), nullptr, kSettingBasic,
              SettingValue_Variable(ip, "sndopt_InterfaceVolume"), 0, 100, 5);

    c = NewClass("MusicClass");
    c->AddBool(Lid("GUISETTING_PLAYMUSIC"), OnPlayMusic, kSettingBasic,
               SettingValue_Variable(ip, "musicopt_Active"));
    c->AddInt(Lid("GUISETTING_MUSICVOLUME"), OnMusicVolume, kSettingBasic,
              SettingValue_Variable(ip, "musicopt_Volume"), 0, 100, 5);
    IGUIGame* game = &m_ui->GUIGame();
    SSettingValue playlist;
    playlist.shownText = [game] { return game->MusicPlaylist(); };
    playlist.setText = [game](const std::string& name) { game->SetMusicPlaylist(name); };
    c->AddString(Lid("GUISETTING_MP3PLAYLIST"), nullptr, kSettingBasic, playlist, 1024);
}

void CSettingsLists::BuildInterface() {
    CCommandInterpreter* ip = Interpreter(this);
    CSettingClass* c = NewClass("InterfaceClass");
    c->AddBool(Lid("GUISETTING_CONTROLTYPE"), nullptr, kSettingBasic,
               SettingValue_Variable(ip, "Interfaceopt_ControlType"));
    c->AddBool(Lid("GUISETTING_MAJORITYSELECTION"), nullptr, kSettingBasic,
               SettingValue_Variable(ip, "Interfaceopt_MajoritySelection"));
    // The variables' own callbacks set the speeds.
    const char* const speeds[5] = {"GENERAL_VERYSLOW", "GENERAL_SLOW", "GENERAL_NORMAL", "GENERAL_HIGH",
                                   "GENERAL_VERYHIGH"};
    for (const char* variable : {"Interfaceopt_GameSpeed", "Interfaceopt_ScrollSpeed"}) {
        CSettingEntry* e =
            c->AddChoice(Lid(variable[13] == 'G' ? "GUISETTING_GAMESPEED" : "GUISETTING_SCROLLSPEED"),
                         nullptr, kSettingBasic, SettingValue_Variable(ip, variable));
        for (int i = 0; i < 5; ++i) e->AddChoice(Lid(speeds[i]), i + 1);
    }
    c->AddBool(Lid("GUISETTING_SHOWTOOLTIP"), nullptr, kSettingBasic,
               SettingValue_Variable(ip, "Interfaceopt_ToolTips"));
    c->AddInt(Lid("GUISETTING_MESSAGELINES"), nullptr, kSettingBasic,
              SettingValue_Variable(ip, "Interfaceopt_NumMessagesLines"), 1, 10, 1);
}

void CSettingsLists::BuildMultiplayer() {
    CCommandInterpreter* ip = Interpreter(this);
    CSettingClass* c = NewClass("MultiplayerSettings");
    // The local player of the moment (the session makes it again when it
    // resets).
    SSettingValue name;
    name.shownText = [this]() -> std::string {
        CNetGame* net = Net(this);
        CPlayer* local = net ? net->LocalPlayer() : nullptr;
        return local ? local->m_name.GetText() : "";
    };
    // The name typed is the player's own (Name): every game it hosts or
    // joins takes it, and the next start too. Blanks alone name nobody: the
    // name stays.
    name.setText = [this](const std::string& text) {
        CNetGame* net = Net(this);
        if (net && text.find_first_not_of(' ') != std::string::npos) net->SetWantedName(text.c_str());
    };
    c->AddString(Lid("GUISETTING_MULTIPLAYER_NAME"), OnPlayerName, kSettingBoth, name,
                 CPlayer::kMaxNameLength);
    CSettingEntry* e = c->AddChoice(Lid("GUISETTING_MULTIPLAYER_CONNECTION"), OnConnection, kSettingBoth,
                                    SettingValue_Int(&m_connectionPreset));
    AddConnections(e, false);
    e = c->AddChoice(Lid("GUISETTING_MULTIPLAYER_LOCATION"), nullptr, kSettingBoth,
                     SettingValue_Variable(ip, "si_Location"));
    AddLocations(e);
    c->AddFloat(Lid("GUISETTING_MULTIPLAYER_CLIENTRATE"), OnRate, kSettingAdvanced,
                SettingValue_Variable(ip, "cl_Rate"), 1350.0f, 9000000.0f, 1000.0f, 0, false);
    c->AddFloat(Lid("GUISETTING_MULTIPLAYER_SERVERRATE"), OnRate, kSettingAdvanced,
                SettingValue_Variable(ip, "srv_Rate"), 1350.0f, 9000000.0f, 1000.0f, 0, false);
    c->AddInt(Lid("GUISETTING_MULTIPLAYER_PACKETSIZE"), OnRate, kSettingAdvanced,
              SettingValue_Variable(ip, "nw_MaxPacketSize"), 256, 1600, 16);
    DetectConnectionPreset();
}

void CSettingsLists::BuildLobby() {
    CSettingClass* lobby = NewClass("MultiplayerLobby");
    CSettingClass* stats = NewClass("ServerStats");
    // The lobby shows what the server announced and writes the host's
    // settings; a host's change goes to its clients with its description.
    // The statistics show the contacted server's values when the browser
    // holds a contact, else the current server's, and change nothing.
    auto closedOf = [](const CServerInfo& i) { return int32_t(i.m_flags & 3u); };
    auto playersOf = [](const CServerInfo& i) { return i.m_maxPlayers; };
    auto resourcesOf = [](const CServerInfo& i) { return i.m_startResources; };
    auto fogOf = [](const CServerInfo& i) { return int32_t(i.m_fogOfWar); };
    auto unitsOf = [](const CServerInfo& i) { return i.m_maxUnits; };
    auto alliedOf = [](const CServerInfo& i) { return int32_t(i.m_alliedVictory); };

    SSettingValue closed = Announced(this, closedOf, "");
    closed.target = [this]() -> double {
        CNetGame* net = Net(this);
        return net ? double(net->m_serverInfo.m_flags & 3u) : 0.0;
    };
    closed.set = [this](double v) {
        if (CNetGame* net = Net(this)) net->SetServerAccess(uint32_t(std::lround(v)));
    };
    SSettingValue players = Announced(this, playersOf, "");
    players.target = [this]() -> double {
        CNetGame* net = Net(this);
        return net ? double(net->m_serverInfo.m_maxPlayers) : 0.0;
    };
    players.set = [this](double v) {
        if (CNetGame* net = Net(this)) net->SetMaxPlayers(int32_t(std::lround(v)));
    };
    auto closedChoices = [](CSettingEntry* e) {
        e->AddChoice(Lid("GAMECLOSED_OPEN"), 3);
        e->AddChoice(Lid("GAMECLOSED_NEWCONNECTIONCLOSED"), 1);
        e->AddChoice(Lid("GAMECLOSED_CHATCLOSED"), 2);
        e->AddChoice(Lid("GAMECLOSED_CLOSED"), 0);
    };
    closedChoices(lobby->AddChoice(Lid("GUISETTING_SERVER_GAMECLOSED"), nullptr, kSettingBasic, closed));
    lobby->AddInt(Lid("GUISETTING_SERVER_MAXPLAYERS"), nullptr, kSettingBasic, players, 2, 64, 1);
    lobby->AddInt(Lid("GUISETTING_SERVER_STARTRESOURCES"), nullptr, kSettingBoth,
                  Announced(this, resourcesOf, "si_StartResources"), 0, 10000, 500);
    lobby->AddBool(Lid("GUISETTING_SERVER_FOGOFWAR"), nullptr, kSettingBoth,
                   Announced(this, fogOf, "si_FogOfWar"));
    lobby->AddInt(Lid("GUISETTING_SERVER_MAXUNITS"), nullptr, kSettingBoth,
                  Announced(this, unitsOf, "si_MaxUnits"), 0, 1000, 5);
    IGUIGame* game = &m_ui->GUIGame();
    SSettingValue difficulty;
    difficulty.shown = [game] { return double(game->AIDifficulty()); };
    difficulty.set = [game](double v) { game->SetAIDifficulty(int32_t(std::lround(v))); };
    CSettingEntry* e = lobby->AddChoice(Lid("DIFFICULTY"), nullptr, kSettingBoth, difficulty);
    e->AddChoice(Lid("EASY"), 0);
    e->AddChoice(Lid("MEDIUM"), 1);
    e->AddChoice(Lid("HARD"), 2);
    lobby->AddBool(Lid("GUISETTING_SERVER_ALLIEDVICTORY"), nullptr, kSettingBoth,
                   Announced(this, alliedOf, "si_AlliedVictory"));

    // The statistics: no target, nothing written.
    auto shown = [this](int32_t (*get)(const CServerInfo&), int32_t (*entry)(const CServerListEntry&)) {
        SSettingValue v;
        v.shown = [this, get, entry]() -> double {
            CNetGame* net = Net(this);
            if (!net) return 0.0;
            if (net->m_browser) {
                std::lock_guard<std::recursive_mutex> hold(net->m_browser->m_lock);
                if (const CServerListEntry* contact = net->m_browser->Contact()) return entry(*contact);
            }
            return get(net->m_joinedInfo);
        };
        return v;
    };
    closedChoices(stats->AddChoice(
        Lid("GUISETTING_SERVER_GAMECLOSED"), nullptr, kSettingBasic,
        shown(closedOf, [](const CServerListEntry& s) { return s.m_inProgress ? 0 : 3; }), true));
    stats->AddInt(Lid("GUISETTING_SERVER_MAXUNITS"), nullptr, kSettingBasic,
                  shown(unitsOf, [](const CServerListEntry& s) { return s.m_maxUnits; }), 0, 1000, 5, true);
    stats->AddInt(Lid("GUISETTING_SERVER_STARTRESOURCES"), nullptr, kSettingBasic,
                  shown(resourcesOf, [](const CServerListEntry& s) { return s.m_startResources; }), 0, 10000,
                  500, true);
    stats->AddBool(Lid("GUISETTING_SERVER_FOGOFWAR"), nullptr, kSettingBasic,
                   shown(fogOf, [](const CServerListEntry& s) { return int32_t(s.m_fogOfWar); }), true);
    stats->AddInt(Lid("GUISETTING_SERVER_MAXPLAYERS"), nullptr, kSettingBasic,
                  shown(playersOf, [](const CServerListEntry& s) { return int32_t(s.m_maxPlayers); }), 2, 64,
                  1, true);
    stats->AddBool(Lid("GUISETTING_SERVER_ALLIEDVICTORY"), nullptr, kSettingBasic,
                   shown(alliedOf, [](const CServerListEntry& s) { return int32_t(s.m_alliedVictory); }),
                   true);
}

void CSettingsLists::BuildSearch() {
    CSettingClass* c = NewClass("MatchServers");
    m_searchClass = c;
    const uint32_t B = kSettingBasic, A = kSettingAdvanced;
    auto yesNo = [](CSettingEntry* e) {
        e->AddChoice(Lid("GENERAL_NO"), 2);
        e->AddChoice(Lid("GENERAL_YES"), 1);
        e->AddChoice(Lid("GENERAL_DONTCARE"), 0);
    };
    auto net = [](CSettingEntry* e) {
        e->AddChoice(Lid("GUISETTING_NET_LAN"), 1);
        e->AddChoice(Lid("GUISETTING_NET_INTERNET"), 2);
        e->AddChoice(Lid("GUISETTING_NET_BOTH"), 3);
    };
    // The find-servers rows.
    CSettingEntry* e =
        c->AddChoice(Lid("GENERAL_DEFAULT"), OnResetFindServers, B, SettingValue_Int(&m_find.defaultChoice));
    e->AddChoice(Lid("GENERAL_SAYWHAT"), 1);
    e->AddChoice(Lid("GENERAL_YES"), 0);
    net(c->AddChoice(Lid("GUISETTING_JOIN_FINDSERVERS_NET"), OnFindServers, B,
                     SettingValue_Int(&m_find.network)));
    e = c->AddChoice(Lid("GUISETTING_JOIN_FINDSERVERS_LOCATION"), OnFindServers, B,
                     SettingValue_Int(&m_find.location));
    e->AddChoice(Lid("LOCATION_ANYWHERE"), 0);
    AddLocations(e);
    yesNo(c->AddChoice(Lid("GUISETTING_JOIN_FINDSERVERS_GAMEINPROGRESS"), OnFindServers, B,
                       SettingValue_Int(&m_find.inProgress)));
    AddDedicated(c->AddChoice(Lid("GUISETTING_JOIN_FINDSERVERS_DEDICATED"), OnFindServers, B,
                              SettingValue_Int(&m_find.dedicated)));
    c->AddInt(Lid("GUISETTING_JOIN_FINDSERVERS_SPEED"), OnFindServers, B, SettingValue_Int(&m_find.speed), 0,
              2000, 50);
    AddConnections(c->AddChoice(Lid("GUISETTING_JOIN_FINDSERVERS_CONNECTION"), OnFindServers, B,
                                SettingValue_Int(&m_find.connection)),
                   true);
    c->AddString(Lid("GUISETTING_JOIN_FINDSERVERS_MAP"), OnFindServers, B, SettingValue_Text(&m_find.map),
                 256);
    c->AddString(Lid("GUISETTING_JOIN_FINDSERVERS_GAME"), OnFindServers, B, SettingValue_Text(&m_find.game),
                 256);
    c->AddString(Lid("GUISETTING_JOIN_FINDSERVERS_SERVERNAME"), OnFindServers, B,
                 SettingValue_Text(&m_find.serverName), 256);

    // The server-list filters.
    SFilter& f = m_filter;
    e = c->AddChoice(Lid("GENERAL_DEFAULT"), OnResetServerFilter, A, SettingValue_Int(&f.defaultChoice));
    e->AddChoice(Lid("GENERAL_SAYWHAT"), 1);
    e->AddChoice(Lid("GENERAL_YES"), 0);
    net(c->AddChoice(Lid("GUISETTING_JOIN_FILTERSERVERS_NET"), OnServerFilter, A,
                     SettingValue_Int(&f.network)));
    e = c->AddChoice(Lid("GUISETTING_JOIN_FILTERSERVERS_FAVO"), OnServerFilter, A,
                     SettingValue_Int(&f.favourites));
    e->AddChoice(Lid("GENERAL_OFF"), 0);
    e->AddChoice(Lid("GUISETTING_JOIN_FILTERSERVERS_FAVO_DISPLAY"), 1);
    e->AddChoice(Lid("GUISETTING_JOIN_FILTERSERVERS_FAVO_HIDE"), 2);
    e = c->AddChoice(Lid("GUISETTING_JOIN_FILTERSERVERS_LOCATION"), OnServerFilter, A,
                     SettingValue_Int(&f.location));
    e->AddChoice(Lid("LOCATION_ANYWHERE"), 0);
    AddLocations(e);
    yesNo(c->AddChoice(Lid("GUISETTING_JOIN_FILTERSERVERS_GAMEINPROGRESS"), OnServerFilter, A,
                       SettingValue_Int(&f.inProgress)));
    AddDedicated(c->AddChoice(Lid("GUISETTING_JOIN_FILTERSERVERS_DEDICATED"), OnServerFilter, A,
                              SettingValue_Int(&f.dedicated)));
    c->AddInt(Lid("GUISETTING_JOIN_FILTERSERVERS_SPEED"), OnServerFilter, A, SettingValue_Int(&f.speed), 0,
              2000, 50);
    AddConnections(c->AddChoice(Lid("GUISETTING_JOIN_FILTERSERVERS_CONNECTION"), OnServerFilter, A,
                                SettingValue_Int(&f.connection)),
                   true);
    c->AddString(Lid("GUISETTING_JOIN_FILTERSERVERS_MAP"), OnServerFilter, A, SettingValue_Text(&f.map), 256);
    c->AddString(Lid("GUISETTING_JOIN_FILTERSERVERS_GAME"), OnServerFilter, A, SettingValue_Text(&f.game),
                 256);
    c->AddString(Lid("GUISETTING_JOIN_FILTERSERVERS_SERVERNAME"), OnServerFilter, A,
                 SettingValue_Text(&f.serverName), 256);
    c->AddString(Lid("GUISETTING_JOIN_FILTERSERVERS_PLAYER"), OnServerFilter, A, SettingValue_Text(&f.player),
                 256);
    struct {
        const char* label;
        int32_t* value;
    } counts[5] = {{"GUISETTING_JOIN_FILTERSERVERS_FREESPOTS", &f.freeSpots},
                   {"GUISETTING_JOIN_FILTERSERVERS_MINPLAYERS", &f.minPlayers},
                   {"GUISETTING_JOIN_FILTERSERVERS_MINMAXPLAYERS", &f.minMaxPlayers},
                   {"GUISETTING_JOIN_FILTERSERVERS_MAXPLAYERS", &f.maxPlayers},
                   {"GUISETTING_JOIN_FILTERSERVERS_MAXMAXPLAYERS", &f.maxMaxPlayers}};
    for (const auto& n : counts)
        c->AddInt(Lid(n.label), OnServerFilter, A, SettingValue_Int(n.value), 0, 128, 1);
    SSettingValue ping;
    ping.shown = [&f] { return double(f.ping); };
    ping.set = [&f](double v) { f.ping = int32_t(std::lround(v)); };
    c->AddFloat(Lid("GUISETTING_JOIN_FILTERSERVERS_PING"), OnServerFilter, A, ping, 0.0f, 2000.0f, 10.0f, 0,
                false);
    c->AddInt(Lid("GUISETTING_JOIN_FILTERSERVERS_PLAYERSMINSPEED"), OnServerFilter, A,
              SettingValue_Int(&f.playersMinSpeed), 0, 2000, 50);
    AddConnections(c->AddChoice(Lid("GUISETTING_JOIN_FILTERSERVERS_PLAYERSMINCONNECTION"), OnServerFilter, A,
                                SettingValue_Int(&f.playersMinConnection)),
                   true);
    for (auto* v : {&f.fogOfWar, &f.alliedVictory}) {
        e = c->AddChoice(Lid(v == &f.fogOfWar ? "GUISETTING_JOIN_FILTERSERVERS_FOGOFWAR"
                                              : "GUISETTING_JOIN_FILTERSERVERS_ALLIEDVICTORY"),
                         OnServerFilter, A, SettingValue_Int(v));
        e->AddChoice(Lid("GENERAL_DONTCARE"), 0);
        e->AddChoice(Lid("GENERAL_ON"), 1);
        e->AddChoice(Lid("GENERAL_OFF"), 2);
    }
    c->AddInt(Lid("GUISETTING_JOIN_FILTERSERVERS_RESOURCESGREATERTHAN"), OnServerFilter, A,
              SettingValue_Int(&f.resourcesAbove), 0, 50000, 100);
    c->AddInt(Lid("GUISETTING_JOIN_FILTERSERVERS_RESOURCESLESSERTHAN"), OnServerFilter, A,
              SettingValue_Int(&f.resourcesBelow), 0, 50000, 100);
    c->AddInt(Lid("GUISETTING_JOIN_FILTERSERVERS_MAXUNITSGREATERTHAN"), OnServerFilter, A,
              SettingValue_Int(&f.maxUnitsAbove), 0, 5000, 20);
    c->AddInt(Lid("GUISETTING_JOIN_FILTERSERVERS_MAXUNITSLESSERTHAN"), OnServerFilter, A,
              SettingValue_Int(&f.maxUnitsBelow), 0, 5000, 20);
}

// ---------------------------------------------------------------------------
// Presets and the display chain

const SDisplayDriver* CSettingsLists::Driver() const {
    return m_driver >= 0 && m_driver < (int32_t)m_drivers.size() ? &m_drivers[m_driver] : nullptr;
}

const SGUIDisplayMode* CSettingsLists::Resolution() const {
    return m_resolution >= 0 && m_resolution < (int32_t)m_sizes.size() ? &m_sizes[m_resolution] : nullptr;
}

void CSettingsLists::SyncFromVideoRequest() {
    SVideoRequest r;
    if (!m_ui->GUIGame().VideoRequest(r)) return;
    m_driver = m_drivers.empty() ? -1 : 0;
    for (size_t i = 0; i < m_drivers.size(); ++i)
        if (strcasecmp(m_drivers[i].name.c_str(), r.driver.c_str()) == 0) m_driver = int32_t(i);
    m_screenMode = r.windowed ? 0 : r.bitDepth;
    m_refreshRate = r.refreshRate;
}

void CSettingsLists::DetectGraphicsPreset() {
    SVideoRequest r;
    const bool have = m_ui->GUIGame().VideoRequest(r);
    const int32_t mag = int32_t(Variable(this, "cg_TextureMagnification"));
    const int32_t min = int32_t(Variable(this, "cg_TextureMinification"));
    const int32_t mip = int32_t(Variable(this, "cg_TextureMipmapMode"));
    m_qualityPreset = 4;
    if (!have) return;
    for (int i = 0; i < 4; ++i) {
        const SGraphicsPreset& p = kGraphicsPresets[i];
        if (p.screenMode == m_screenMode && p.width == r.width && p.height == r.height &&
            p.magnification == mag && p.minification == min && p.mipmap == mip &&
            p.detail == r.textureDetail && p.quality == r.textureQuality) {
            m_qualityPreset = i;
            return;
        }
    }
}

void CSettingsLists::ApplyGraphicsPreset(int32_t preset) {
    if (preset < 0 || preset > 3) return;
    const SGraphicsPreset& p = kGraphicsPresets[preset];
    m_qualityPreset = preset;
    m_screenMode = p.screenMode;
    SVideoRequest r;
    if (m_ui->GUIGame().VideoRequest(r)) {
        r.windowed = p.screenMode == 0;
        if (p.screenMode) r.bitDepth = p.screenMode;
        r.width = p.width;
        r.height = p.height;
        r.textureDetail = p.detail;
        r.textureQuality = p.quality;
        m_ui->GUIGame().SetVideoRequest(r);
    }
    SetVariable(this, "cg_TextureMagnification", p.magnification);
    SetVariable(this, "cg_TextureMinification", p.minification);
    SetVariable(this, "cg_TextureMipmapMode", p.mipmap);
    UpdateTextureFilter();
    // The screen mode's road: the resolutions of the new depth, the preset's
    // size among them.
    FillResolutions();
}

void CSettingsLists::FillScreenModes() {
    if (m_screenModeEntry) m_screenModeEntry->ClearChoices();
    const SDisplayDriver* d = Driver();
    const int32_t windowed = Lid("GUISETTING_VIDEO_WINDOWED");
    if (!d || d->modes.empty()) {
        m_screenMode = 0;
        if (m_screenModeEntry) m_screenModeEntry->AddChoice(windowed, 0);
    } else {
        int32_t last = 0;
        bool has16 = false, has32 = false, current = false;
        for (const SGUIDisplayMode& m : d->modes) {
            bool& has = m.bitDepth == 16 ? has16 : has32;
            if ((m.bitDepth != 16 && m.bitDepth != 32) || has) continue;
            has = true;
            last = m.bitDepth;
            current = current || m.bitDepth == m_screenMode;
            if (m_screenModeEntry)
                m_screenModeEntry->AddChoice(Lid(m.bitDepth == 16 ? "GUISETTING_VIDEO_16BITFULLSCREEN"
                                                                  : "GUISETTING_VIDEO_32BITFULLSCREEN"),
                                             m.bitDepth);
        }
        // A full-screen depth the driver lacks becomes the last one it has.
        if (m_screenMode != 0 && !current) m_screenMode = last;
        if (m_screenModeEntry) m_screenModeEntry->AddChoice(windowed, 0);
    }
    if (m_screenModeEntry) {
        SVideoRequest r;
        if (m_ui->GUIGame().VideoRequest(r)) {
            r.windowed = m_screenMode == 0;
            if (m_screenMode) r.bitDepth = m_screenMode;
            m_ui->GUIGame().SetVideoRequest(r);
        }
    }
    FillResolutions();
}

void CSettingsLists::FillResolutions() {
    if (!m_resolutionEntry) {
        DetectGraphicsPreset();
        return;
    }
    SVideoRequest r;
    const bool have = m_ui->GUIGame().VideoRequest(r);
    ListResolutions(have ? r.width : 0, have ? r.height : 0);
    if (const SGUIDisplayMode* m = Resolution();
        m && have && (m->width != r.width || m->height != r.height)) {
        r.width = m->width;
        r.height = m->height;
        m_ui->GUIGame().SetVideoRequest(r);
    }
    FillRefreshRates();
}

void CSettingsLists::TakeDisplayInUse() {
    std::string driver;
    SGUIDisplayMode mode;
    if (!m_ui->GUIGame().DisplayInUse(driver, mode)) return;
    for (size_t i = 0; i < m_drivers.size(); ++i)
        if (strcasecmp(m_drivers[i].name.c_str(), driver.c_str()) == 0) m_driver = int32_t(i);
    m_screenMode = mode.bitDepth;
    m_refreshRate = mode.bitDepth ? mode.refreshRate : 0;
    m_inUse = mode;
}

void CSettingsLists::RebuildResolutions() {
    if (!m_resolutionEntry) return;
    SVideoRequest r;
    const bool have = m_ui->GUIGame().VideoRequest(r);
    const bool known = m_inUse.width > 0 && m_inUse.height > 0;
    ListResolutions(known ? m_inUse.width : have ? r.width : 0, known ? m_inUse.height : have ? r.height : 0);
    // The refresh rates of the running size, the running rate chosen.
    if (m_refreshEntry) {
        m_refreshEntry->ClearChoices();
        m_refreshEntry->AddChoice(Lid("GENERAL_DEFAULT"), 0);
        const SDisplayDriver* d = Driver();
        const SGUIDisplayMode* chosen = Resolution();
        bool found = false;
        for (const SGUIDisplayMode& m : d&& m_screenMode != 0 ? d->modes : std::vector<SGUIDisplayMode>()) {
            if ((chosen && (m.width != chosen->width || m.height != chosen->height)) ||
                m_refreshEntry->FindChoice(m.refreshRate))
                continue;
            char text[16];
            std::snprintf(text, sizeof text, "%d", (int)m.refreshRate);
            m_refreshEntry->AddChoiceText(text, m.refreshRate);
            found = found || m.refreshRate == m_refreshRate;
        }
        if (!found) m_refreshRate = 0;
    }
    DetectGraphicsPreset();
}

void Settings_ApplyResolution(CSettingEntry* resolution) {
    if (resolution && resolution->m_class) Lists(resolution)->TakeDisplayInUse();
}

void Settings_RebuildResolutionList(CSettingEntry* resolutionList) {
    if (resolutionList && resolutionList->m_class) Lists(resolutionList)->RebuildResolutions();
}

void CSettingsLists::ListResolutions(int32_t width, int32_t height) {
    m_resolutionEntry->ClearChoices();
    m_resolution = -1;
    m_sizes.clear();
    SVideoRequest r;
    const bool have = m_ui->GUIGame().VideoRequest(r);
    auto add = [this](int32_t w, int32_t h, int32_t depth) {
        if (w < 640 || h < 480) return;
        for (const SGUIDisplayMode& s : m_sizes)
            if (s.width == w && s.height == h) return;
        SGUIDisplayMode m;
        m.width = w;
        m.height = h;
        m.bitDepth = depth;
        m_sizes.push_back(m);
    };
    if (const SDisplayDriver* d = Driver()) {
        int32_t largestW = 0, largestH = 0;
        for (const SGUIDisplayMode& m : d->modes) {
            if (m_screenMode != 0 && m.bitDepth != m_screenMode) continue;
            add(m.width, m.height, m.bitDepth);
            if (m.width * m.height > largestW * largestH) {
                largestW = m.width;
                largestH = m.height;
            }
        }
        if (m_screenMode == 0) {
            // A window takes any size the display holds.
            const int32_t usual[][2] = {{640, 480},  {800, 600},   {1024, 768}, {1152, 864},
                                        {1280, 960}, {1280, 1024}, {1600, 1200}};
            for (const auto& u : usual)
                if (u[0] <= largestW && u[1] <= largestH) add(u[0], u[1], 0);
            if (have) add(r.width, r.height, 0);
            add(width, height, 0);
        }
    }
    std::sort(m_sizes.begin(), m_sizes.end(), [](const SGUIDisplayMode& a, const SGUIDisplayMode& b) {
        return a.width != b.width ? a.width < b.width : a.height < b.height;
    });
    for (size_t i = 0; i < m_sizes.size(); ++i) {
        const SGUIDisplayMode& m = m_sizes[i];
        char text[32];
        std::snprintf(text, sizeof text, "%dx%d", (int)m.width, (int)m.height);
        m_resolutionEntry->AddChoiceText(text, int32_t(i));
        if (m_resolution < 0 || (m.width == width && m.height == height)) m_resolution = int32_t(i);
    }
}

void CSettingsLists::FillRefreshRates() {
    if (!m_refreshEntry) {
        DetectGraphicsPreset();
        return;
    }
    m_refreshEntry->ClearChoices();
    SVideoRequest r;
    const bool have = m_ui->GUIGame().VideoRequest(r);
    m_refreshRate = have ? r.refreshRate : 0;
    m_refreshEntry->AddChoice(Lid("GENERAL_DEFAULT"), 0);
    const SDisplayDriver* d = Driver();
    if (m_screenMode == 0 || !d || d->modes.empty()) {
        m_refreshRate = 0;
    } else {
        const SGUIDisplayMode* chosen = Resolution();
        bool found = false;
        for (const SGUIDisplayMode& m : d->modes) {
            if (chosen && (m.width != chosen->width || m.height != chosen->height)) continue;
            if (m_refreshEntry->FindChoice(m.refreshRate)) continue;
            char text[16];
            std::snprintf(text, sizeof text, "%d", (int)m.refreshRate);
            m_refreshEntry->AddChoiceText(text, m.refreshRate);
            found = found || m.refreshRate == m_refreshRate;
        }
        if (!found) m_refreshRate = 0;
    }
    if (have && r.refreshRate != m_refreshRate) {
        r.refreshRate = m_refreshRate;
        m_ui->GUIGame().SetVideoRequest(r);
    }
    DetectGraphicsPreset();
}

void CSettingsLists::UpdateTextureFilter() {
    const int32_t mag = int32_t(Variable(this, "cg_TextureMagnification"));
    const int32_t min = int32_t(Variable(this, "cg_TextureMinification"));
    const int32_t mip = int32_t(Variable(this, "cg_TextureMipmapMode"));
    m_textureFilter = mag == 2 && min == 2 ? (mip == 2 ? 0 : mip == 3 ? 1 : 2) : 2;
    DetectGraphicsPreset();
}

void CSettingsLists::ApplyConnectionPreset(int32_t preset) {
    if (preset >= 1 && preset <= 13) {
        const SConnectionPreset& p = kConnectionPresets[preset];
        SetVariable(this, "cl_Rate", p.rate);
        SetVariable(this, "srv_Rate", p.rate);
        SetVariable(this, "nw_MaxPacketSize", p.packetSize);
    }
    if (CNetGame* net = Net(this)) net->ApplyRate();
    DetectConnectionPreset();
}

void CSettingsLists::DetectConnectionPreset() {
    const float client = float(Variable(this, "cl_Rate")), server = float(Variable(this, "srv_Rate"));
    const int32_t packet = int32_t(Variable(this, "nw_MaxPacketSize"));
    m_connectionPreset = 0;
    for (int i = 1; i <= 13; ++i)
        if (kConnectionPresets[i].rate == client && kConnectionPresets[i].rate == server &&
            kConnectionPresets[i].packetSize == packet) {
            m_connectionPreset = i;
            break;
        }
    // The local player's connection class follows its rate (the master and
    // the lobby show it).
    CNetGame* net = Net(this);
    CPlayer* local = net ? net->LocalPlayer() : nullptr;
    const int32_t kind = ConnectionClassFromRate(client);
    if (local && local->m_connectionKind != kind) local->SetConnection(uint8_t(kind));
}

void CSettingsLists::ApplyFindServers() {
    CNetGame* net = Net(this);
    if (!net || !net->m_browser) return;
    CServerBrowser* b = net->m_browser.get();
    std::lock_guard<std::recursive_mutex> hold(b->m_lock);
    b->m_querySources = uint8_t(m_find.network & 3);
    SMasterQueryFilter& q = b->m_query;
    q.location = uint8_t(m_find.location);
    q.inProgress = uint8_t(m_find.inProgress == 0 ? 0 : m_find.inProgress == 1 ? 1 : 2);
    q.connection = uint8_t(m_find.connection);
    // The dedicated kinds 1, 3 and 4 are no server of its own, 2, 5 and 6 ... are.
    q.dedicated = uint8_t(m_find.dedicated == 0                              ? 0
                          : (m_find.dedicated == 2 || m_find.dedicated >= 7) ? 1
                                                                             : 2);
    q.name = m_find.serverName;
    q.map = m_find.map;
    q.game = m_find.game;
}

void CSettingsLists::ApplyServerFilter() {
    CNetGame* net = Net(this);
    if (!net || !net->m_browser) return;
    CServerBrowser* b = net->m_browser.get();
    {
        std::lock_guard<std::recursive_mutex> hold(b->m_lock);
        SServerListFilter& f = b->m_filter;
        const SFilter& s = m_filter;
        f.sources = uint8_t(s.network & 3);
        f.location = uint8_t(s.location);
        f.flag = uint8_t(s.inProgress == 0 ? 0 : s.inProgress == 1 ? 1 : 2);
        f.connection = uint8_t(s.connection);
        f.minPlayers = s.minPlayers;
        f.minMaxPlayers = s.minMaxPlayers;
        f.maxPlayers = s.maxPlayers;
        f.maxMaxPlayers = s.maxMaxPlayers;
        f.freeSpots = s.freeSpots;
        f.maxPing = s.ping;
        f.name = s.serverName;
        f.map = s.map;
        f.game = s.game;
        f.player = s.player;
        f.favourites = uint8_t(s.favourites);
        f.minSpeed = s.speed;
        f.playersMinSpeed = s.playersMinSpeed;
        f.playersMinConnection = uint8_t(s.playersMinConnection);
        f.fogOfWar = uint8_t(s.fogOfWar);
        f.alliedVictory = uint8_t(s.alliedVictory);
        f.resourcesAbove = s.resourcesAbove;
        f.resourcesBelow = s.resourcesBelow;
        f.maxUnitsAbove = s.maxUnitsAbove;
        f.maxUnitsBelow = s.maxUnitsBelow;
        f.dedicated = uint8_t(s.dedicated);
    }
    b->FilterServerList();
}
