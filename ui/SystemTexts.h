// System texts: every text the game shows the player outside the GUI
// packfiles, 331 entries addressed by index and named by a SYSLID_
// identifier. The texts are not part of the program: the language script
// (Languages\<language>.box, Scripts\<language>.cfg) gives them with
// SetLid("SYSLID_...", "text"); lines, in the game's code page.
//
// A text is data, never a printf format: the few texts that take values
// hold "%s" where each value goes, and SystemText_Format fills them only
// when the text holds exactly as many conversions as the caller gives
// values. The event texts (SYSLID_EVENT_) take two: the sender's prefix and
// the event's argument.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "core/StrBuf.h"

constexpr int kSystemTextCount = 331;
extern const char* const kSystemTextNames[kSystemTextCount];

// Indexes the code names.
enum ESystemText : int {
    kSysLidYes = 3,
    kSysLidNo = 4,
    kSysLidOn = 6,
    kSysLidOff = 7,
    kSysLidPlayers = 25,
    kSysLidBasicSettings = 108,
    kSysLidAdvancedSettings = 109,
    kSysLidLoadingInterface = 227,
    kSysLidStartingMap = 228,
    kSysLidLoadingSound = 233,
    kSysLidLoadingObjects = 234,
    kSysLidFirstEvent = 253,
    kSysLidLastEvent = 280,
    kSysLidServerSkirmish = 289,
    kSysLidYourAddress = 290,
    kSysLidVictory = 292,
    kSysLidDefeat = 293,
    kSysLidEnterName = 295,
};

struct SSystemTextEntry {
    CStrBuf name;
    CStrBuf text;
    uint8_t set = 0;  // given by SetLid
};

// The number of "%s" in a text, or -1 when it holds another conversion (a
// '%' not followed by 's' or a second '%').
int SystemText_Conversions(const char* text);
// The text with each "%s" replaced by the next argument and "%%" by '%';
// false (out unchanged) when the count of "%s" is not the count of
// arguments or the text holds another conversion.
bool SystemText_Format(const char* text, std::initializer_list<const char*> args, std::string& out);
// How many values the callers of a system text give: 2 for the event texts,
// the HUD's read-outs (energy, resources, the radar's counts, the mouse's
// information) theirs, none for every other.
int SystemText_Arguments(int index);
