// Loading a GUI packfile into the interface: the records are read whole and
// checked first (ui/GUIPackfile.cpp), so that a file that cannot be read
// leaves the loaded interface as it was; then the objects are made, their
// pictures loaded from the GUI folder's "resources" folder, their fonts
// taken from the screen and the sound banks handed to the sound engine.
#include <algorithm>
#include <vector>

#include "core/VFSFile.h"
#include "core/VFSTable.h"
#include "e3d/BitmapSurface.h"
#include "e3d/Font.h"
#include "e3d/Screen.h"
#include "ui/GUIObject.h"
#include "ui/GUIPackfile.h"
#include "ui/GUIRoles.h"
#include "ui/GUISound.h"
#include "ui/Interface.h"

namespace {

// The progress stack, reached through the engine's hooks to the game.
void ProgressPush(const char* title, int steps) {
    if (E3D_GameHooks().progressPush) E3D_GameHooks().progressPush(title, steps);
}
void ProgressSetText(const char* text, int steps) {
    if (E3D_GameHooks().progressSetText) E3D_GameHooks().progressSetText(text, "", steps < 1 ? 1 : steps);
}
void ProgressStep(const char* text) {
    if (E3D_GameHooks().progressStep) E3D_GameHooks().progressStep(text);
}
void ProgressPop() {
    if (E3D_GameHooks().progressPop) E3D_GameHooks().progressPop();
}

// A font weight for the record's index; an index outside 0 to 8 is taken as
// the nearest one.
int32_t FontWeight(int32_t index) {
    return (std::clamp(index, 0, 8) + 1) * 100;
}

}  // namespace

void CInterface::FreeGUI() {
    delete m_GUIRoot;
    m_GUIRoot = nullptr;
    for (void* bank : m_SoundBanks)
        if (m_guiSound && bank) m_guiSound->FreeBank(bank);
    m_SoundBanks.clear();
    // Nothing may point into the tree that went: the panels are bound again
    // by g_IdentifyPanels.
    for (CGUIObject*& panel : m_Panels) panel = nullptr;
    m_MultiButtons.clear();
    m_BuildIcons.clear();
    m_consolePanel.bound = 0;
    m_HoveredGUIObject = nullptr;
    m_lastActiveGUI = nullptr;
    m_SearchResult = nullptr;
    m_SearchFound = m_SearchFoundTwice = 0;
    m_guiPressing = 0;
    m_GUIInput = 0;
    m_editObject = nullptr;
    if (m_mode == 3) m_mode = 0;
    UnbindSettingsLists();
}

namespace {

// Pictures, fonts and text boxes of an object and everything below it.
void Dress(CInterface* ui, CGUIObject* o) {
    CE3DScreen* screen = ui->Screen();
    if (o->m_OwnsResources && screen) {
        for (std::unique_ptr<CImageHandle>& h : o->m_Resources) {
            if (!h || h->m_bitmap) continue;
            CStrBuf path;
            path.Format("%s\\resources\\%s.bik", ui->m_guiResourceFolder.GetText(), h->m_name.GetText());
            if (!g_VFS.Find(path.GetText()))
                path.Format("%s\\resources\\%s.bmp", ui->m_guiResourceFolder.GetText(), h->m_name.GetText());
            h->m_bitmap = CBitmapSurface_LoadShared(screen, path.GetText());
            if (!h->m_bitmap) {
                ui->m_console.PrintfColor(
                    "%s failed to load, the resource will be replaced with SYSIMAGE_DELETED.BMP", 255, 255,
                    255, 0, h->m_name.GetText());
                path.Format("%s\\resources\\SYSIMAGE_DELETED.BMP", ui->m_guiResourceFolder.GetText());
                h->m_bitmap = CBitmapSurface_LoadShared(screen, path.GetText());
                // Without the replacement the picture is simply not shown;
                // the game goes on.
                if (!h->m_bitmap) {
                    ui->m_console.PrintfColor(
                        "SYSIMAGE_DELETED.BMP failed to load, the program will now terminate.", 255, 255, 255,
                        0);
                    ui->m_console.PrintfColor("SYSIMAGE_DELETED.BMP failed to load too: %s is not shown", 255,
                                              0, 0, 0, h->m_name.GetText());
                }
            }
            if (h->m_bitmap) h->m_bitmap->SetColorKey(0, 255, 255);
        }
    }
    // A packfile's fonts come with it: the screen holds them among the
    // game's own, and the objects find them there.
    if (o->HasText() && !o->m_Font) {
        ui->PrepareFont(o->m_FontName.GetText(), o->m_FontWidth, o->m_FontHeight,
                        FontWeight(o->m_FontWeightIndex), o->m_FontAttributes, 0);
        o->m_Font = ui->BuildFont(o->m_FontName.GetText(), o->m_FontWidth, o->m_FontHeight,
                                  FontWeight(o->m_FontWeightIndex), o->m_FontAttributes, 0);
    }
    o->GetSize(o->m_TextBox, true);
    o->m_TextBox[0] += 2;
    o->m_TextBox[1] += 2;
    for (CGUIObject* child : o->m_Children) Dress(ui, child);
}

// The resource tables of the records, for the objects made from them.
void TakeResources(CGUIObject* o, const SGUIObjectRecord& r) {
    if (o->m_OwnsResources) {
        o->m_Resources.clear();
        for (const SGUIResourceRecord& res : r.resources) {
            std::unique_ptr<CImageHandle> h(new CImageHandle);
            h->m_name = res.name.c_str();
            h->m_index = res.id;
            o->m_Resources.push_back(std::move(h));
        }
    }
}

void TakeResourcesTree(CGUIObject* o, const SGUIObjectRecord& r, size_t firstChild) {
    TakeResources(o, r);
    for (size_t i = 0; i < r.children.size() && firstChild + i < o->m_Children.size(); ++i)
        TakeResourcesTree(o->m_Children[firstChild + i], r.children[i], 0);
}

}  // namespace

bool CInterface::LoadGUIPack(const SGUIPack& pack, const char* name, bool append) {
    // An edit under way ends first (its box may go with the tree).
    LeaveEditMode(true);
    if (append && !m_GUIRoot) {
        m_console.Print("Can't append to nonexisting gui.", false, 255, 255, 255, false);
        return false;
    }
    // The banks first: the sound engine makes what it can of each.
    std::vector<void*> banks;
    ProgressSetText(GetSystemText(kSysLidLoadingSound), (int)pack.banks.size());
    for (size_t i = 0; i < pack.banks.size(); ++i) {
        banks.push_back(m_guiSound ? m_guiSound->LoadBank(pack.banks[i].raw) : nullptr);
        if (i + 1 < pack.banks.size()) {
            CStrBuf step;
            step.Format("SoundBank # %d", (int)i + 2);
            ProgressStep(step.GetText());
        }
    }
    ProgressSetText(GetSystemText(kSysLidLoadingObjects), (int)pack.root.children.size());
    size_t firstNew = 0;
    int32_t bankOffset = 0;
    if (!append) {
        FreeGUI();
        m_HighestLayer = 0;
        m_GUIRoot = new CGUIObject(this, nullptr, true);
    } else {
        // The appended screens keep their own banks after the loaded ones.
        firstNew = m_GUIRoot->m_Children.size();
        bankOffset = (int32_t)m_SoundBanks.size();
    }
    m_GUIRoot->Load(pack.root);
    TakeResourcesTree(m_GUIRoot, pack.root, firstNew);
    for (void* bank : banks) m_SoundBanks.push_back(bank);
    for (size_t i = firstNew; i < m_GUIRoot->m_Children.size(); ++i) {
        CGUIObject* screen = m_GUIRoot->m_Children[i];
        if (bankOffset && screen->m_SoundBank > 0) screen->m_SoundBank += bankOffset;
        Dress(this, screen);
        if (i + 1 < m_GUIRoot->m_Children.size()) ProgressStep(screen->m_Name.GetText());
    }
    m_GUIRoot->LinkScreens();
    BindSettingsLists();
    m_GUIChanged = 1;
    m_RefreshLists = 1;
    (void)name;
    m_console.Print("Loading GUI Finished...", false, 255, 255, 255, false);
    m_console.Print(" ", false, 255, 255, 255, false);
    return true;
}

namespace {
// The whole file, read through the file table (a pack member or a loose
// file); false when it cannot be opened.
bool ReadWhole(const char* path, std::vector<uint8_t>& out) {
    CVFSFile file;
    if (!file.Open(path, CVFSFile::kModeRead)) return false;
    const uint32_t size = file.GetSize();
    out.resize(size);
    const bool ok = file.Read(out.data(), size) == size;
    file.Close();
    return ok;
}
}  // namespace

static bool LoadNamed(CInterface* ui, const char* name, bool append) {
    if (!name) name = "";
    // A text being typed into a box of the old GUI ends.
    if (ui->m_mode == 3) ui->m_mode = 0;
    ProgressPush(ui->GetSystemText(kSysLidLoadingInterface), 2);
    if (append && !ui->m_GUIRoot) {
        ui->m_console.Print("Can't append to nonexisting gui.", false, 255, 255, 255, false);
        ProgressPop();
        return false;
    }
    CStrBuf path;
    path.Format("%s\\%s", ui->m_guiResourceFolder.GetText(), name);
    std::vector<uint8_t> bytes;
    SGUIPack pack;
    std::string error;
    const bool read = ReadWhole(path.GetText(), bytes);
    if (!read) error = "it cannot be read";
    const bool ok = read && GUIPack_Parse(bytes.data(), bytes.size(), pack, error);
    if (!ok) {
        // The file's own message first (a missing file or one of another
        // version, else a damaged one); the game does not end over it: the
        // interface it had stays (none before the first file).
        const bool wrongFile = !read || !GUIPack_IsPackfileOfOurVersion(bytes.data(), bytes.size());
        ui->m_console.PrintAndRender(
            wrongFile ? "GUI file doesn't exist or has wrong version. Program will terminate."
                      : "GUI Packfile Is Corrupt.",
            false, false);
        ui->m_console.PrintfColor("GUI file %s is refused: %s. The interface stays as it was.", 255, 0, 0, 0,
                                  path.GetText(), error.c_str());
        ProgressPop();
        return false;
    }
    const bool loaded = ui->LoadGUIPack(pack, name, append);
    ProgressPop();
    return loaded;
}

bool CInterface::LoadGUI(const char* name) {
    return LoadNamed(this, name, false);
}

bool CInterface::AppendGUI(const char* name) {
    return LoadNamed(this, name, true);
}
