// Readable GoogleTest names for table-driven cases: a case's `name` with every
// character that is not a letter or digit turned into '_'.
#pragma once

#include <cctype>
#include <string>

#include <gtest/gtest.h>

struct CaseName {
    template <class Case> std::string operator()(const testing::TestParamInfo<Case> &param) const {
        std::string name = param.param.name;
        for (char &ch : name) {
            if (!std::isalnum(static_cast<unsigned char>(ch))) {
                ch = '_';
            }
        }
        return name;
    }
};
