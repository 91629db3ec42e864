#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
#include "netgame/SyncChecks.h"
#include "nwe/Wire.h"
#include "world/StateArchive.h"

void SyncReport_Write(CStateArchive& ar, const SSyncReport& report) {
    uint16_t frame = report.frame;
    ar.U16(frame);
    ar.WriteU8(report.kind);
    ar.WriteI32(report.id);
    ar.WriteU32(report.value);
}

bool SyncReport_Read(const uint8_t* data, size_t size, SSyncReport* out) {
    if (size != kSyncReportSize) return false;
    out->frame = NWE_Get16(data);
    out->kind = data[2];
    out->id = static_cast<int32_t>(NWE_Get32(data + 3));
    out->value = NWE_Get32(data + 7);
    return out->kind >= kReportObjectCrc && out->kind <= kReportShortFrame;
}

void CSentChecks::Note(uint16_t frame, uint8_t kind, int32_t id, uint32_t value) {
    if (m_checks.size() >= kKept) m_checks.pop_front();
    m_checks.push_back(SCheck{frame, kind, id, value});
}

bool CSentChecks::Agrees(const SSyncReport& report) const {
    uint8_t kind = report.kind == kReportNoObject ? uint8_t(kReportObjectCrc) : uint8_t(report.kind);
    // The newest check of that frame and object first: a frame number comes
    // round again only after some thousand frames.
    for (auto it = m_checks.rbegin(); it != m_checks.rend(); ++it) {
        if (it->frame != report.frame || it->kind != kind || it->id != report.id) continue;
        return report.kind == kReportNoObject || it->value != report.value;
    }
    return false;
}
