// A scratch SupportData folder as the run's output root, so the navigation
// lines that copies and captured outputs add land in a NAVI.html of the test.
#pragma once
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <string>

class OutputRootFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // scratch\SupportData (no trailing backslash).
    const std::string& Root() const { return root_; }
    std::string RootJoin(const std::string& name) const { return root_ + "\\" + name; }
    // A fresh folder for source files, outside the output root.
    const std::string& Source() const { return source_; }
    std::string SourceJoin(const std::string& name) const { return source_ + "\\" + name; }
    // Everything NAVI.html holds so far (empty when it was never written).
    std::string NaviText() const;

    testing_support::ScratchFolder scratch_{"harvin-info"};

private:
    std::string root_;
    std::string source_;
};

std::string ReadWholeFile(const std::string& path);
// The same with CR LF line ends turned into LF (pages are written in text mode).
std::string ReadTextFile(const std::string& path);
// The href and caption markup AddNaviLink writes for a relative address.
std::string NaviLinkMarkup(const std::string& relativeHref, const std::string& caption);
