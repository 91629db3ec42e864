#include "ui/GUIObject.h"

#include <strings.h>

#include <cstdlib>
#include <cstring>

#include "e3d/BitmapSurface.h"
#include "e3d/Font.h"
#include "ui/GUIPackfile.h"
#include "ui/Interface.h"

CGUIObject::CGUIObject(CInterface* ui, CGUIObject* parent, bool ownsResources)
    : m_ui(ui), m_Parent(parent), m_OwnsResources(ownsResources ? 1 : 0) {}

CGUIObject::~CGUIObject() {
    for (CGUIObject* child : m_Children) delete child;
    if (m_Font) m_Font->Release();
}

CGUIObject* CGUIObject::AddChild(bool ownsResources) {
    CGUIObject* child = new CGUIObject(m_ui, this, ownsResources);
    m_Children.push_back(child);
    return child;
}

void CGUIObject::SetScreen(CGUIObject* screen) {
    m_Screen = screen;
    for (CGUIObject* child : m_Children) child->SetScreen(screen);
}

void CGUIObject::LinkScreens() {
    if (!m_OwnsResources) return;
    for (CGUIObject* screen : m_Children) screen->SetScreen(screen);
}

bool CGUIObject::IsTopLevel() const {
    return m_Parent && !m_Parent->m_Parent;
}

const CGUIProperty* CGUIObject::Property(const char* name) const {
    for (const CGUIProperty& p : m_Properties)
        if (p.m_Name.Equals(name)) return &p;
    return nullptr;
}

void CGUIObject::FindByProperty(const char* name, const char* value) {
    for (const CGUIProperty& p : m_Properties)
        if (p.m_Name.Equals(name) && p.m_Value.Equals(value)) {
            if (m_ui->m_SearchFound) m_ui->m_SearchFoundTwice = 1;
            m_ui->m_SearchFound = 1;
            m_ui->m_SearchResult = this;
            break;
        }
    for (CGUIObject* child : m_Children) child->FindByProperty(name, value);
}

void CGUIObject::ShowByProperty(const char* name, const char* value, bool hide) {
    for (const CGUIProperty& p : m_Properties)
        if (p.m_Name.Equals(name) && p.m_Value.Equals(value)) {
            // What lies in a hidden panel is hidden with it.
            m_Visible = hide ? 0 : 1;
            m_ChildrenHidden = hide ? 1 : 0;
            return;
        }
    for (CGUIObject* child : m_Children) child->ShowByProperty(name, value, hide);
}

namespace {
int32_t Number(const CStrBuf& value) {
    return (int32_t)std::strtol(value.GetText(), nullptr, 10);
}
}  // namespace

void CGUIObject::ParseProperty(const CGUIProperty& p) {
    const char* name = p.m_Name.GetText();
    auto is = [name](const char* keyword) { return strcasecmp(name, keyword) == 0; };
    const CStrBuf& v = p.m_Value;
    if (is("IsBuildScroll"))
        m_IsBuildScroll = 1;
    else if (is("OnPressedBuild"))
        m_OnPressedBuild = 1;
    else if (is("ShowScreenConsole"))
        m_ShowScreenConsole = Number(v) != 0;
    else if (is("DisableTextClipping"))
        m_DisableTextClipping = Number(v) != 0;
    else if (is("MustBeServer"))
        m_MustBeServer = Number(v) != 0;
    else if (is("MustBeSkirmish"))
        m_MustBeSkirmish = Number(v) != 0;
    else if (is("DefineList"))
        m_DefineList = v;  // the settings lists bind the class by this name
    else if (is("CCE_OnPressed"))
        m_OnPressedCommand = v;
    else if (is("LID"))
        m_LIDText = v;
    else if (is("OnPressedMoveChildsX"))
        m_OnPressedMoveChildsX = Number(v);
    else if (is("OnPressedMoveChildsY"))
        m_OnPressedMoveChildsY = Number(v);
    else if (is("NoPressEffect"))
        m_NoPressEffect = Number(v) != 0;
    else if (is("OnConsoleModeMoveX"))
        m_OnConsoleModeMoveX = Number(v);
    else if (is("OnConsoleModeMoveY"))
        m_OnConsoleModeMoveY = Number(v);
    else if (is("OnNotConsoleModeMoveX"))
        m_OnNotConsoleModeMoveX = Number(v);
    else if (is("OnNotConsoleModeMoveY"))
        m_OnNotConsoleModeMoveY = Number(v);
    else if (is("Align")) {
        if (v.EqualsNoCase("Left"))
            m_Align = kAlignLeft;
        else if (v.EqualsNoCase("Right"))
            m_Align = kAlignRight;
        else if (v.EqualsNoCase("Top"))
            m_Align = kAlignTop;
        else if (v.EqualsNoCase("Bottom"))
            m_Align = kAlignBottom;
    } else if (is("G_MultiSelectButtons"))
        m_ui->m_MultiSelectButtons = Number(v);
    else if (is("G_BuildIconButtons"))
        m_ui->m_BuildIconButtons = Number(v);
    else if (is("G_MiniConsoleLines"))
        m_ui->m_MiniConsoleLines = Number(v);
    // "FlipListMode" (exact case only) names a settings class whose basic or
    // advanced rows a button flips; its caption follows when the classes are
    // bound.
    if (p.m_Name.Equals("FlipListMode")) m_FlipListMode = v;
}

void CGUIObject::Load(const SGUIObjectRecord& r) {
    m_OwnsResources = r.ownsResources ? 1 : 0;
    m_Name = r.name.c_str();
    m_X = r.x;
    m_Y = r.y;
    m_Kind = r.kind;
    m_ExtraA = (int32_t)r.extraA;
    m_BitmapState = (int32_t)r.bitmapState;
    m_Visible = (int32_t)r.visible;
    m_ChildrenHidden = (int32_t)r.childrenHidden;
    m_Layer = r.layer;
    if (m_Layer > m_ui->m_HighestLayer) m_ui->m_HighestLayer = m_Layer;
    m_ExtraB = (int32_t)r.extraB;
    m_BitmapId = (int32_t)r.bitmapId;
    m_AltBitmapId = (int32_t)r.altBitmapId;
    for (int i = 0; i < 3; ++i) {
        m_StateBitmapIds[i] = (int32_t)r.stateBitmapIds[i];
        m_StatePositions[i][0] = r.statePositions[i][0];
        m_StatePositions[i][1] = r.statePositions[i][1];
    }
    m_FontWidth = (int32_t)r.fontWidth;
    m_FontHeight = (int32_t)r.fontHeight;
    m_ExtraC = r.extraC;
    m_TextAlign = (int32_t)r.textAlign;
    m_FontWeightIndex = (int32_t)r.fontWeightIndex;
    m_FontAttributes = (int32_t)r.fontAttributes;
    m_ExtraD = r.extraD;
    m_ExtraE = r.extraE;
    auto pack = [](const uint32_t c[3]) {
        return (c[0] & 0xFF) | ((c[1] & 0xFF) << 8) | ((c[2] & 0xFF) << 16);
    };
    m_Color1 = pack(r.color1);
    m_Color2 = pack(r.color2);
    m_TextLines.clear();
    for (const std::string& line : r.textLines) m_TextLines.emplace_back(line.c_str());
    m_Text = m_TextLines.empty() ? CStrBuf() : m_TextLines[0];
    m_TextLength = m_Text.GetLength();
    // The command text is read up to its first zero byte.
    m_CommandText = r.commandText.c_str();
    m_FontName = r.fontName.c_str();
    m_HoverFlag = (int32_t)r.hoverFlag;
    m_SoundBank = (int32_t)r.soundBank;
    m_ExtraF = (int32_t)r.extraF;
    for (int i = 0; i < 5; ++i) m_EventSamples[i] = (int32_t)r.eventSamples[i];
    m_Frames.clear();
    m_CurrentFrame = nullptr;
    m_OwnedFrame.reset();
    if (r.hasFrames) {
        for (const SGUIFrameRecord& f : r.frames)
            m_Frames.push_back(SGUIFrame{f.resourceId, f.name.c_str(), f.duration, f.value});
        if (r.hasCurrentFrame) {
            const SGUIFrameRecord& f = r.currentFrame;
            m_OwnedFrame.reset(new SGUIFrame{f.resourceId, f.name.c_str(), f.duration, f.value});
            m_CurrentFrame = m_OwnedFrame.get();
        }
        m_ExtraG = (int32_t)r.extraG;
        m_SequenceStops = (int32_t)r.sequenceStops;
        m_ExtraI = r.extraI;
    }
    m_Properties.clear();
    for (const SGUIPropertyRecord& pr : r.properties) {
        CGUIProperty p;
        p.m_Name = pr.name.c_str();
        p.m_Value = pr.value.c_str();
        m_Properties.push_back(p);
        ParseProperty(m_Properties.back());
    }
    m_ExtraJ = (int32_t)r.extraJ;
    m_GUIId = r.guiId;
    m_JumpTarget = (int32_t)r.jumpTarget;
    m_JumpFlag = (int32_t)r.jumpFlag;
    for (const SGUIObjectRecord& child : r.children) AddChild(m_OwnsResources != 0)->Load(child);
}

CBitmapSurface* CGUIObject::Picture(int32_t id) const {
    const CGUIObject* owner = m_OwnsResources ? this : m_Screen;
    if (!owner) return nullptr;
    for (const std::unique_ptr<CImageHandle>& h : owner->m_Resources)
        if (h && h->m_index == id) return h->m_bitmap;
    return nullptr;
}

int32_t CGUIObject::BitmapIdShown() const {
    switch (m_Kind) {
        case 0:
            return m_BitmapId;
        case 1:
            return m_AltBitmapId;
        case 2:
            return m_BitmapState >= 0 && m_BitmapState < 3 ? m_StateBitmapIds[m_BitmapState] : 0;
        default:
            return 0;
    }
}

void CGUIObject::GetSize(int32_t size[2], bool textOnly) {
    size[0] = size[1] = 0;
    if (!textOnly && m_Kind >= 0 && m_Kind <= 2) {
        if (CBitmapSurface* picture = Picture(BitmapIdShown())) {
            size[0] = picture->m_width;
            size[1] = picture->m_height;
        }
    }
    if (HasText()) {
        int32_t width = 0;
        for (size_t i = 0; i < m_TextLines.size(); ++i) {
            int32_t w = 0, h = 0;
            // The lines as they show now (a list's filler or SetLid may
            // have changed them since the load).
            if (m_Font) m_Font->MeasureText(ShownLine(i), &w, &h);
            if (w > width) width = w;
        }
        m_TextSize[0] = width;
        m_TextSize[1] = (m_FontHeight + 1) * (int32_t)m_TextLines.size();
        if (m_TextSize[0] > size[0]) size[0] = m_TextSize[0];
        if (m_TextSize[1] > size[1]) size[1] = m_TextSize[1];
    }
}

bool CGUIObject::GetStatePosition(int32_t& x, int32_t& y) const {
    if (m_PositionState < 0 || m_PositionState > 2) return false;
    x = m_StatePositions[m_PositionState][0];
    y = m_StatePositions[m_PositionState][1];
    return true;
}

int32_t CGUIObject::GetSequenceLength() const {
    int64_t sum = 0;
    for (const SGUIFrame& f : m_Frames) sum += f.duration > 0 ? f.duration : 0;
    return sum > INT32_MAX ? INT32_MAX : (int32_t)sum;
}

void CGUIObject::StartSequence() {
    m_SequenceStart = m_ui->ClockNow();
    m_SequenceLength = GetSequenceLength();
    m_SequenceRunning = 1;
    PlayEventSound(4);
}

bool CGUIObject::SelectSequenceFrame(int32_t elapsed) {
    int64_t before = 0;
    for (SGUIFrame& f : m_Frames) {
        const int64_t after = before + (f.duration > 0 ? f.duration : 0);
        if (elapsed >= before && elapsed < after) {
            m_OwnedFrame.reset();
            m_CurrentFrame = &f;
            return true;
        }
        before = after;
    }
    return false;
}
