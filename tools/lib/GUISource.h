// The content builder's reading of a GUI description: the text source of a
// GUI packfile (a folder "<name>.gui" of TOML files, read in name order)
// becomes the packfile and the pictures it shows, all generated from a few
// numbers. content/README.md describes the tables and keys for modders.
//
//   [[picture]]   a generated picture: name, size, colour, shape, frames, ...
//   [[bank]]      a sound bank with generated tones ([[bank.sample]])
//   [[screen]]    a top-level GUI: id, its objects ([[screen.object]], whose
//                 children are [[screen.object.object]] and so on)
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ui/GUIPackfile.h"

// A file the build makes beside the packfile, by its path below the GUI
// folder ("resources\panel.bmp", "Mouse\select001.bmp", "Load\Load1.jpg"),
// or below the game folder when gameFolder is set (the unit icons,
// "Units\Icons\<template>.bmp", which the units' own folder holds).
struct SGUIBuildFile {
    std::string path;
    std::vector<uint8_t> bytes;
    bool gameFolder = false;
};

struct SGUIBuild {
    SGUIPack pack;
    std::vector<SGUIBuildFile> files;
};

// False with a message naming the file (and line) at the first error.
bool GUISource_Load(const std::string& folder, SGUIBuild& out, std::string& error);
