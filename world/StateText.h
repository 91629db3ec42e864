// Texts inside saved state records: a u16 character count and that many
// 8-bit characters, no terminator (the convention of every file the game
// writes). A reader takes at most maxLength characters into the text and
// refuses a longer one (the archive fails): a count from a file is never
// trusted beyond what the field may hold.
#pragma once

#include <string>

#include "core/StrBuf.h"
#include "world/StateArchive.h"

inline void StateText_Transfer(CStateArchive& ar, CStrBuf& text, uint16_t maxLength) {
    if (ar.IsWriting()) {
        const char* t = text.GetText();
        size_t n = 0;
        while (t[n] && n < maxLength) ++n;
        uint16_t count = static_cast<uint16_t>(n);
        ar.U16(count);
        ar.Bytes(const_cast<char*>(t), n);
        return;
    }
    const uint16_t count = ar.ReadU16();
    if (count > maxLength || count > ar.GetRemaining()) {
        ar.Fail();
        return;
    }
    std::string read(count, '\0');
    const CStateArchive::EMode mode = ar.SetReadMode(CStateArchive::kApply);
    ar.Bytes(&read[0], count);
    ar.SetReadMode(mode);
    if (ar.Ok() && ar.IsApplying()) text.Assign(read.c_str());
}
