// Shared by the tests of the dialog's commands: a temporary folder holding
// the ROM and the WAV that the dialog's fields name, and what the stand-in
// records of the warning every failed file access shows.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "standin.h"

namespace fs = std::filesystem;

class FolderTest : public testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/brevox-frontend-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir = name;
        romPath = (dir / "rom.gba").string();
        wavPath = (dir / "cry.wav").string();
    }
    void TearDown() override { fs::remove_all(dir); }

    std::vector<std::string> Log() const { return standin::Log(); }

    fs::path dir;
    std::string romPath, wavPath;
};

inline const std::string Invalid = "box Erreur!: Fichier invalide!";

// "%X", as the dialog shows offsets.
inline std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%X", value);
    return text;
}
