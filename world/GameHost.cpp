#include "core/Determinism.h"

#include "world/GameHost.h"

#include <cstdarg>

#include "core/StrBuf.h"

namespace {
CGameHost* s_host = nullptr;
}

CGameHost* GameHost() {
    return s_host;
}

void GameHost_Set(CGameHost* host) {
    s_host = host;
}

void CGameHost::Printf(const char* fmt, ...) {
    CStrBuf text;
    va_list ap;
    va_start(ap, fmt);
    text.FormatV(fmt, ap);
    va_end(ap);
    Print(text.GetText());
}
