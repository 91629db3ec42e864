// Writer of sound bank records, as GUI packfiles carry them (the reader is
// SoundBank::Load in app/SoundSample.cpp, which gives the layout).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct SSoundBankEntry {
    std::string name;
    uint32_t volume = 100;
    uint32_t rate = 22050;
    int32_t pan = 0;  // -128 to 127; stored as pan / 2 + 64
    uint8_t flag = 0;
    uint16_t formatTag = 1;
    uint16_t channels = 1;
    uint32_t samplesPerSec = 22050;
    uint16_t bits = 16;
    std::string data;           // PCM bytes
    int64_t sizeOverride = -1;  // a lying data size, for damaged fixtures
};

std::string SoundBank_Build(const std::string& name, const std::vector<SSoundBankEntry>& entries,
                            int64_t countOverride = -1);
