#include "scratch_dir.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cerrno>
#include <filesystem>
#include <system_error>
#include <vector>

ScratchDir::ScratchDir() {
    std::string pattern = testing::TempDir() + "motelog-test-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (!mkdtemp(name.data()))
        throw std::system_error(errno, std::generic_category(), "mkdtemp " + pattern);
    path_ = name.data();
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;  // a leftover in /tmp must not fail the test that made it
    std::filesystem::remove_all(path_, ignored);
}
