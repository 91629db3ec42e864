// Pasting into the edit field: a megabyte of clipboard text into the console
// line, in insert and in overwrite mode.
#include <benchmark/benchmark.h>

#include <string>

#include "console/EditField.h"

namespace {
void BM_PasteMegabyte(benchmark::State& state) {
    const std::string clip(1 << 20, 'x');
    CEditField edit;
    CEditField::SHooks hooks;
    hooks.getClipboard = [&clip](std::string& out) {
        out = clip;
        return CEditField::CLIP_OK;
    };
    edit.SetHooks(hooks);
    edit.m_selectOnAttach = 0;
    edit.m_insert = static_cast<uint8_t>(state.range(0));
    for (auto _ : state) {
        CStrBuf line("Echo(\"\");");
        edit.Attach(&line);
        edit.Home();
        edit.CursorRight();
        edit.Paste();
        benchmark::DoNotOptimize(line.GetText());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(clip.size()));
}
BENCHMARK(BM_PasteMegabyte)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
}  // namespace
