#include "tools/lib/PropertyListWriter.h"

#include "tools/lib/PackWriter.h"

std::string PropertyListWriter_Build(const CPropertyPairs& entries, int version) {
    std::string out;
    if (version < 4) return out;
    PackWriter_PutU32(out, static_cast<uint32_t>(entries.size()));
    for (const auto& e : entries) {
        for (const std::string* text : {&e.first, &e.second}) {
            if (version >= 29) {
                PackWriter_PutU16(out, static_cast<uint16_t>(text->size()));
                out += *text;
            } else {
                std::string field = text->substr(0, 256);
                field.resize(256, '\0');
                out += field;
            }
        }
    }
    return out;
}
