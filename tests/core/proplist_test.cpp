#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/PropertyList.h"
#include "core/VFSFile.h"
#include "tests/support/TempDir.h"
#include "tools/lib/PackWriter.h"
#include "tools/lib/PropertyListWriter.h"

namespace {

std::string Pairs(const CPropertyList& list) {
    std::string s;
    for (CProperty* p = list.GetFirst(); p; p = p->GetNext())
        s += std::string(p->GetName()) + "=" + p->GetValueText() + ";";
    return s;
}

// Loads bytes as a property list at a version, through a real file.
bool LoadBytes(const CTempDir& dir, const std::string& bytes, int version, CPropertyList& list,
               uint32_t* consumed = nullptr) {
    dir.Write("list.bin", bytes + "TAIL");
    CVFSTable table;
    CVFSFile f(dir.WinFile("list.bin").c_str(), 0, &table);
    bool ok = list.Load(f, version);
    if (consumed) *consumed = f.Tell();
    return ok;
}

}  // namespace

TEST(PropertyList, NumbersFromValues) {
    CPropertyList list;
    struct SCase {
        const char* value;
        int asInt;
        float asFloat;
    };
    const SCase cases[] = {{"1,5", 1, 1.5f},   {"2.75", 2, 2.75f},     {"speed", 0, 0.0f},
                           {"0,25", 0, 0.25f}, {"  -12", -12, -12.0f}, {"99999999999", 2147483647, 1e11f}};
    for (const auto& c : cases) {
        EXPECT_EQ(list.Add("i", c.value)->GetInt(), c.asInt) << c.value;
        EXPECT_FLOAT_EQ(list.Add("f", c.value)->GetFloat(), c.asFloat) << c.value;
    }
    // Reading an int leaves its blanks in the value: the comma's first,
    // else the full stop's.
    CProperty* both = list.Add("b", "1,5.5");
    EXPECT_EQ(both->GetInt(), 1);
    EXPECT_STREQ(both->GetValueText(), "1 5 5");
    EXPECT_STREQ(list.Add("s", "2.75")->GetValueText(), "2.75");
    EXPECT_EQ(list.Find("s")->GetInt(), 2);
    EXPECT_STREQ(list.Find("s")->GetValueText(), "2 75");
    CProperty* comma = list.Add("c", "1,5");
    comma->GetFloat();
    EXPECT_STREQ(comma->GetValueText(), "1.5");  // the float reader keeps its full stop

    CProperty* longValue = list.Add("long", std::string(300, 'x').c_str());
    char buf[512];
    std::memset(buf, '#', sizeof buf);
    // 256 characters at most and no zero after them; a short value is
    // padded with zeros up to the maximum, and nothing is written beyond.
    longValue->GetString(buf, 512);
    EXPECT_EQ(std::string(buf, 256), std::string(256, 'x'));
    EXPECT_EQ(buf[256], '#');
    char small[9];
    std::memset(small, '#', sizeof small);
    longValue->GetString(small, 8);
    EXPECT_EQ(std::string(small, 9), "xxxxxxxx#");
    std::memset(buf, '#', sizeof buf);
    list.Add("short", "ab")->GetString(buf, 6);
    EXPECT_EQ(std::string(buf, 7), std::string("ab\0\0\0\0#", 7));
    CStrBuf v;
    EXPECT_STREQ(list.Find("C")->GetValue(v).GetText(), "1.5");
}

TEST(PropertyList, FindAndCopyOrder) {
    CPropertyList list;
    list.Add("Speed", "1");
    list.Add("SPEED", "2");  // nearer the front
    list.Add("Armour", "3");
    EXPECT_STREQ(list.Find("speed")->GetValueText(), "2");
    EXPECT_EQ(list.Find("Spee"), nullptr);
    EXPECT_EQ(list.Find(std::string(300, 'a').c_str()), nullptr);
    CPropertyList copy;
    copy.Add("old", "gone");
    copy = list;
    EXPECT_EQ(Pairs(copy), "Speed=1;SPEED=2;Armour=3;");  // reversed
    EXPECT_EQ(copy.GetCount(), 3);
    delete copy.Find("speed");
    EXPECT_EQ(copy.GetCount(), 2);
    EXPECT_EQ(Pairs(copy), "SPEED=2;Armour=3;");
}

TEST(PropertyList, SaveAndLoadEveryVersion) {
    CTempDir dir;
    CPropertyList list;
    list.Add("a", "1");
    list.Add("b", "2");  // list order: b, a
    {
        CVFSTable table;
        CVFSFile out(dir.WinFile("saved.bin").c_str(), 2, &table);
        EXPECT_FALSE(list.Save(out, 29));  // older versions are not written
        EXPECT_TRUE(list.Save(out, 30));
    }
    const char expect[] =
        "\x02\0\0\0\x01\0b\x01\0"
        "2\x01\0a\x01\0"
        "1";
    EXPECT_EQ(dir.Read("saved.bin"), std::string(expect, sizeof expect - 1));

    CPropertyList loaded;
    ASSERT_TRUE(LoadBytes(dir, dir.Read("saved.bin"), 30, loaded));
    EXPECT_EQ(Pairs(loaded), "a=1;b=2;");  // each load reverses

    const CPropertyPairs pairs = {{"Name", "Tank"}, {"Speed", "2,5"}};
    for (int version : {29, 30, 31}) {
        CPropertyList l;
        ASSERT_TRUE(LoadBytes(dir, PropertyListWriter_Build(pairs, version), version, l)) << version;
        EXPECT_EQ(Pairs(l), "Speed=2,5;Name=Tank;") << version;
    }
    for (int version : {4, 12, 28}) {
        CPropertyList l;
        uint32_t consumed = 0;
        ASSERT_TRUE(LoadBytes(dir, PropertyListWriter_Build(pairs, version), version, l, &consumed));
        EXPECT_EQ(Pairs(l), "Speed=2,5;Name=Tank;");
        EXPECT_EQ(consumed, 4u + 512u * 2);
        EXPECT_EQ(l.Find("name")->GetValue(*new CStrBuf).GetSize(), 5);  // trimmed to the text
    }
    CPropertyList old;
    old.Add("keep", "x");
    EXPECT_FALSE(LoadBytes(dir, PropertyListWriter_Build(pairs, 30), 3, old));
    EXPECT_EQ(old.GetCount(), 0);
}

TEST(PropertyList, DamagedListsStopAtTheData) {
    CTempDir dir;
    std::string full = PropertyListWriter_Build({{"a", "1"}, {"b", "2"}}, 30);
    std::string hugeCount = full;
    PackWriter_Poke32(hugeCount, 0, 0xFFFFFFFFu);
    std::string longString = full.substr(0, 4);
    PackWriter_PutU16(longString, 60000);  // runs past the end
    std::string fixed = PropertyListWriter_Build({{std::string(256, 'N'), std::string(256, 'V')}}, 12);
    struct SCase {
        const char* name;
        std::string bytes;
        int version;
        bool ok;
        int count;
    };
    const SCase cases[] = {
        {"huge count", hugeCount, 30, false, 2},  // 2 sound entries, then the tail is no entry
        {"string past the end", longString, 30, false, 0},
        {"no count", "", 30, false, 0},
        {"fixed fields without terminators", fixed, 12, true, 1},
        {"fixed fields cut short", fixed.substr(0, 300), 12, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CPropertyList l;
        EXPECT_EQ(LoadBytes(dir, c.bytes, c.version, l), c.ok);
        EXPECT_LE(l.GetCount(), c.count + 1);
        if (c.ok) {
            EXPECT_EQ(l.GetCount(), c.count);
        }
    }
    CPropertyList l;
    LoadBytes(dir, fixed, 12, l);
    EXPECT_EQ(std::strlen(l.GetFirst()->GetName()), 256u);
    EXPECT_EQ(std::strlen(l.GetFirst()->GetValueText()), 256u);
}
