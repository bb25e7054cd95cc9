// A test that works on real files: a fresh folder under /tmp, removed with all it holds.
#pragma once

#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "Utf8.h"

namespace reclaima {

class TempFolderTest : public ::testing::Test {
protected:
    explicit TempFolderTest(const std::string& name)
    {
        std::string pattern = "/tmp/reclaima-" + name + "-XXXXXX";
        Root = ::mkdtemp(pattern.data());
    }
    ~TempFolderTest() override { std::filesystem::remove_all(Root); }

    static std::wstring Wide(const std::filesystem::path& path) { return FromUtf8(path.string()); }

    static std::string ReadFile(const std::filesystem::path& path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    std::filesystem::path Root;
};

}  // namespace reclaima
