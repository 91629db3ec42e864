// Object templates read their keys from their configuration section: the
// base keys, the grid member's and the weapon's, and the sound sets.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/support/TempDir.h"
#include "tests/support/WorldTestHost.h"
#include "world/ExplosionManager.h"
#include "world/GridMember.h"
#include "world/UnitWeapon.h"

namespace {

using SKeys = std::vector<std::pair<const char*, const char*>>;

class TemplatesTest : public ::testing::Test {
protected:
    template <class T>
    T* Load(const SKeys& keys, const char* name = "Thing") {
        T* t = host.MakeTemplate<T>(host.m_root, ++m_nextId, name);
        for (const auto& k : keys) t->m_config.Add(k.first, k.second);
        t->LoadProperties();
        return t;
    }

    CWorldTestHost host;
    uint32_t m_nextId = 0;
};

TEST_F(TemplatesTest, BaseKeysAndTheirDefaults) {
    new CExplosionType(host.explosions, "Big Bang");
    new CRace(host.players, "Humans");
    CTessarakObjectTemplate* bare = Load<CTessarakObjectTemplate>({});
    EXPECT_EQ(bare->m_power, 1.0f);
    EXPECT_EQ(bare->m_collisionDamage, 1.0f);
    EXPECT_EQ(bare->m_debrisChance, 0.4f);
    EXPECT_EQ(bare->m_density, 1.0f);
    EXPECT_EQ(bare->m_homingStrength, 0.0f);
    EXPECT_EQ(bare->m_race, host.players->m_defaultRace);
    EXPECT_EQ(bare->m_spreadingSpeed, -1.0f);
    EXPECT_EQ(bare->m_destructionMethod, CTessarakObjectTemplate::kDestructionNone);

    CTessarakObjectTemplate* t = Load<CTessarakObjectTemplate>({
        {"Name", "Crate"},
        {"Race", "HUMANS"},
        {"Power", "0"},  // exactly 0 is stored as 1.0
        {"ResourceHeld", "250,5"},
        {"AutoDestructionMin", "500"},  // ignored: no random limit
        {"AnimationTime", "100"},
        {"ExplosionMass", "2000"},
        {"Animate", "OnBuildComplete"},
        {"DestructionMethod", "Big Bang"},
        {"AutoRotationP", "1.5"},
        {"HomingStrength", "3"},
        {"Billboard", "1"},
        {"MorphStepTexture", "0"},
        {"MorphStepVertex", "1"},
        {"DisableBoundRadius", ""},
    });
    EXPECT_STREQ(t->m_name.GetText(), "Crate");
    EXPECT_STREQ(t->m_race->m_name.GetText(), "Humans");
    EXPECT_EQ(t->m_power, 1.0f);
    EXPECT_EQ(t->m_resourceAmount, 250.5f);
    EXPECT_EQ(t->m_hasResource, 1);
    EXPECT_EQ(t->m_autoDestructionMin, 0.0f);
    EXPECT_EQ(t->m_animationTime, 119318);
    EXPECT_EQ(t->m_duration, 119318u);
    EXPECT_FLOAT_EQ(t->m_explosionMass, 2.0f);
    EXPECT_EQ(t->m_animateOnFire + t->m_animateAlways, 0);
    EXPECT_EQ(t->m_destructionMethod, CTessarakObjectTemplate::kDestructionExplosion);
    EXPECT_STREQ(t->m_explosion->m_name.GetText(), "Big Bang");
    EXPECT_EQ(t->m_autoRotate, 1);
    EXPECT_EQ(t->m_autoRotation[1], 1.5f);
    EXPECT_EQ(t->m_homing, 1);
    EXPECT_TRUE(t->m_flagsA & kFrameFacing);
    EXPECT_EQ(t->m_meshFlagsA & 0x70, CTessarakObjectTemplate::kMorphVertex);
    EXPECT_TRUE(t->m_meshFlagsB & kMeshNoBounds);

    struct SCase {
        SKeys keys;
        int32_t method;
        float min;
    } cases[] = {
        {{{"DestructionMethod", "NoSuchType"}}, CTessarakObjectTemplate::kDestructionNone, 0},
        {{{"DestructionMethod", "AutoExplosion"}}, CTessarakObjectTemplate::kDestructionAuto, 0},
        {{{"AutoDestructionRandomLimit", "2000"}, {"AutoDestructionMin", "500"}}, 0, 0.5f},
    };
    for (const SCase& c : cases) {
        CTessarakObjectTemplate* x = Load<CTessarakObjectTemplate>(c.keys);
        EXPECT_EQ(x->m_destructionMethod, c.method);
        EXPECT_FLOAT_EQ(x->m_autoDestructionMin, c.min);
    }
    // An unknown race takes the first race of the list.
    EXPECT_EQ(Load<CTessarakObjectTemplate>({{"Race", "Martians"}})->m_race, host.players->m_races.front());
}

TEST_F(TemplatesTest, ChildTemplatesReadTheirSectionsWithTheirParent) {
    CTessarakObjectTemplate* parent = host.MakeTemplate<CTessarakObjectTemplate>(host.m_root, 90, "Parent");
    CTessarakObjectTemplate* child = host.MakeTemplate<CTessarakObjectTemplate>(parent, 91, "Child");
    child->m_config.Add("Power", "7");
    parent->LoadProperties();
    EXPECT_EQ(child->m_power, 7.0f);
}

TEST_F(TemplatesTest, GridMemberKeys) {
    CGridMemberTemplate* bare = Load<CGridMemberTemplate>({});
    EXPECT_EQ(bare->m_buildTime, 1.0f);
    EXPECT_EQ(bare->m_splashDamageModifier, 1.0f);
    EXPECT_EQ(bare->m_expense, 0.0f);
    CGridMemberTemplate* g = Load<CGridMemberTemplate>(
        {{"BuildTime", "12"}, {"Expense", "300"}, {"NoYCollision", "1"}, {"InvisibleToPathfinding", "2"}});
    EXPECT_EQ(g->m_buildTime, 12.0f);
    EXPECT_EQ(g->m_expense, 300.0f);
    EXPECT_EQ(g->m_noYCollision, 1);
    EXPECT_EQ(g->m_invisibleToPathfinding, 1);
    // The new member copies the flag into both of its flag bytes.
    CGridMember* m = static_cast<CGridMember*>(host.scene->CreateObjectByClass(g, nullptr, nullptr, 1));
    EXPECT_TRUE(m->m_gridFlags & CGridMember::kG_NoYCollision);
    EXPECT_TRUE(m->m_gridFlags2 & CGridMember::kG2_NoYCollision);
    EXPECT_EQ(host.scene->m_gridTemplateCount, 2);
}

TEST_F(TemplatesTest, WeaponKeysFollowTheirMethod) {
    Load<CTessarakObjectTemplate>({}, "Shell");
    Load<CTessarakObjectTemplate>({}, "Blob");
    CUnitWeaponTemplate* bare = Load<CUnitWeaponTemplate>({});
    EXPECT_FLOAT_EQ(bare->m_rotationSpeed, 3.1415927f);
    EXPECT_EQ(bare->m_reloadTime, 0.25f);
    EXPECT_EQ(bare->m_weaponMethod, CUnitWeaponTemplate::kDisabled);
    struct SCase {
        const char* what;
        SKeys keys;
        int32_t method;
        const char* thrown;
        float hitDamage;
    } cases[] = {
        {"thrower",
         {{"WeaponMethod", "ObjectThrower"}, {"ThrowObject", "shell"}, {"ThrowSpeed", "4"}},
         1,
         "Shell",
         0},
        {"thrower without speed",
         {{"WeaponMethod", "ObjectThrower"}, {"ThrowObject", "Shell"}},
         0,
         nullptr,
         0},
        {"thrower without object", {{"WeaponMethod", "ObjectThrower"}, {"ThrowSpeed", "4"}}, 0, nullptr, 0},
        {"scale wins over throw",
         {{"WeaponMethod", "ObjectThrower"},
          {"ThrowObject", "Shell"},
          {"ThrowSpeed", "4"},
          {"ScaleObject", "Blob"}},
         1,
         "Blob",
         0},
        {"hit damage of a thrower is not read",
         {{"WeaponMethod", "ObjectThrower"},
          {"ThrowObject", "Shell"},
          {"ThrowSpeed", "4"},
          {"HitDamage", "5"}},
         1,
         "Shell",
         0},
        {"direct hit", {{"WeaponMethod", "DirectHit"}}, 3, nullptr, 10.0f},
        {"laser", {{"WeaponMethod", "Laser"}, {"HitDamage", "33"}}, 2, nullptr, 33.0f},
        {"thunder", {{"WeaponMethod", "Thunder"}, {"HitDamage", "5"}}, 4, nullptr, 0},
        {"unknown method", {{"WeaponMethod", "Catapult"}}, 0, nullptr, 0},
    };
    for (const SCase& c : cases) {
        CUnitWeaponTemplate* w = Load<CUnitWeaponTemplate>(c.keys);
        EXPECT_EQ(w->m_weaponMethod, c.method) << c.what;
        if (c.thrown) {
            ASSERT_NE(w->m_throwObject, nullptr) << c.what;
            EXPECT_STREQ(w->m_throwObject->m_name.GetText(), c.thrown) << c.what;
        }
        EXPECT_EQ(w->m_hitDamage, c.hitDamage) << c.what;
    }
    CUnitWeaponTemplate* w = Load<CUnitWeaponTemplate>({{"WeaponMethod", "Laser"},
                                                        {"LaserBurnTime", "100"},
                                                        {"AngleMovement", "90"},
                                                        {"ReloadTime", "1500"},
                                                        {"FlameObject", "Shell"},
                                                        {"HitObject", "Nothing"},
                                                        {"LockedRotation", ""},
                                                        {"DefineWeapon", "2"}});
    EXPECT_EQ(w->m_laserBurnTime, 119318);
    EXPECT_FLOAT_EQ(w->m_rotationSpeed, 1.5707964f);
    EXPECT_FLOAT_EQ(w->m_reloadTime, 1.5f);
    EXPECT_EQ(w->m_hasFlameObject, 1);
    EXPECT_EQ(w->m_hasHitObject, 0);
    EXPECT_EQ(w->m_lockedRotation, 1);
    EXPECT_EQ(w->m_weaponNumber, 2);
    // A weapon made from it carries the template's speed, method and flags.
    CUnitWeapon* made = static_cast<CUnitWeapon*>(host.scene->CreateObjectByClass(w, nullptr, nullptr, 1));
    EXPECT_FLOAT_EQ(made->m_words[1], 1.5707964f);
    EXPECT_EQ(made->m_method, CUnitWeaponTemplate::kLaser);
    EXPECT_EQ(made->m_weaponFlags, CUnitWeapon::kW_HasFlame | CUnitWeapon::kW_LockedRotation);
    EXPECT_EQ(host.scene->m_weaponCount, 1);
}

TEST_F(TemplatesTest, SoundSetsFromAKeyOrNumberedFiles) {
    CTempDir dir;
    host.soundOff = false;
    host.root = dir.Win();
    // Numbered files 1, 2 and 4 exist: three are counted, the third is
    // missing; a number without its MP3 takes the WAV of the same name.
    for (const char* n : {"Tank_Death1.mp3", "Tank_Death2.wav", "Tank_Death4.mp3"})
        ASSERT_TRUE(dir.Write(std::string("Units/Sounds/") + n, "x"));
    auto path = [&](const char* rel) { return dir.Win() + "\\" + rel; };
    host.soundFiles = {path("Units\\Sounds\\Tank_Death1.mp3"), path("Units\\Sounds\\Tank_Death2.wav"),
                       path("Units\\Folder\\b.wav"), path("Units\\one.wav")};
    CTessarakObjectTemplate* t = Load<CTessarakObjectTemplate>(
        {{"Name", "Tank"}, {"SoundCreated", "one.wav"}, {"SoundLife", "Folder a.wav b.wav"}});
    ASSERT_EQ(t->m_soundDeath.m_samples.size(), 3u);
    EXPECT_NE(t->m_soundDeath.m_samples[0], nullptr);
    EXPECT_NE(t->m_soundDeath.m_samples[1], nullptr);
    EXPECT_EQ(t->m_soundDeath.m_samples[2], nullptr);
    ASSERT_EQ(t->m_soundCreated.m_samples.size(), 1u);
    // A folder and its files: each file is looked for in the folder, and the
    // process's current folder is left alone.
    ASSERT_EQ(t->m_soundLife.m_samples.size(), 2u);
    EXPECT_EQ(t->m_soundLife.m_samples[0], nullptr);
    EXPECT_NE(t->m_soundLife.m_samples[1], nullptr);
    for (const std::string& p : host.loadedSounds) EXPECT_EQ(p.find("Tank_Death4"), std::string::npos);

    // The samples play at the object's place, loudness by the distance to the listener.
    CTessarakObject* o = host.scene->CreateObjectByClass(t, nullptr, nullptr, 1);
    host.listen[0] = 10.0f;
    o->PlaySound(t->m_soundCreated, 1);
    ASSERT_EQ(host.played.size(), 1u);
    EXPECT_EQ(host.played[0].volume, 60);  // (40 - 10) x 0.025 x 80
    host.listen[0] = 40.0f;
    o->PlaySound(t->m_soundCreated, 1);
    o->m_stateA |= CTessarakObject::kA_Silent;
    host.listen[0] = 0.0f;
    o->PlaySound(t->m_soundCreated, 1);
    EXPECT_EQ(host.played.size(), 1u);
}

}  // namespace
