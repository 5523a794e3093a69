// Code-page cases: a run started for one code page fails when it got another, and a case that
// needs the other code page is skipped.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include "tests/common/ExpectedCodePage.h"

namespace ombrel::test {

class PeerCastCodePage : public ::testing::Test {
protected:
    void SetUp() override {
        const UINT expected = ExpectedAnsiCodePage();
        if (expected != 0) {
            ASSERT_EQ(GetACP(), expected) << "OMBREL_EXPECT_ACP=" << expected;
        }
    }

    static bool Has(UINT codePage) { return GetACP() == codePage; }
};

}  // namespace ombrel::test
