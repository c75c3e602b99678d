// The command line of an unattended collection.
#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(CommandLine, FlagsAndQuotedValuesWithBlanks)
{
    CommandLineOptions options;
    char problem[64];
    ASSERT_TRUE(ParseCommandLine("/UNATTENDED /EXTENDED /NAME=\"Erika Mustermann\" /COMPANY=Muster\"&\"Co "
                                 "/TICKET= /NODESKTOP /HTMLPATH=\"D:\\My Out\\\" /HOMEPATH=\\\\server\\share",
                                 &options, problem, sizeof problem))
        << problem;
    EXPECT_TRUE(options.unattended && options.extended && options.noDesktop);
    EXPECT_FALSE(options.help);
    EXPECT_STREQ(options.name, "Erika Mustermann");
    EXPECT_STREQ(options.company, "Muster&Co");
    EXPECT_TRUE(options.ticketGiven);
    EXPECT_STREQ(options.ticket, "") << "an empty text is a text";
    EXPECT_STREQ(options.htmlPath, "D:\\My Out\\") << "read without its quotes";
    EXPECT_STREQ(options.homePath, "\\\\server\\share");

    CommandLineOptions none;
    EXPECT_TRUE(ParseCommandLine("   ", &none, problem, sizeof problem));
    EXPECT_FALSE(none.unattended || none.nameGiven);
}

TEST(CommandLine, WhatIsNotAnOptionIsNamed)
{
    const char* bad[][2] = {
        {"/UNATTENDED /FAST", "/FAST"},
        {"/UNATTENDED report", "report"},
        {"/unattended", "/unattended"},      // options are upper case, as "/HOMEPATH=" always was
        {"/UNATTENDED /HTMLPATH=", "/HTMLPATH="},  // a path cannot be empty
        {"/HOMEPATH=\"\"", "/HOMEPATH="},
    };
    for (const auto& c : bad) {
        CommandLineOptions options;
        char problem[64];
        EXPECT_FALSE(ParseCommandLine(c[0], &options, problem, sizeof problem)) << c[0];
        EXPECT_STREQ(problem, c[1]) << c[0];
    }
    // A path is used exactly as read, or not at all: one that depends on the
    // current folder or drive and a device path are refused; the options
    // around them still count.
    for (const char* path :
         {"C:/Out/", "C:", "C:Out\\", "\\Windows\\", "\\\\.\\PhysicalDrive0\\", "\\\\?\\C:\\Out\\"}) {
        CommandLineOptions options;
        char problem[64];
        const std::string word = std::string("/HTMLPATH=") + path;
        const std::string line = "/EXTENDED " + word + " /NODESKTOP";
        EXPECT_FALSE(ParseCommandLine(line.c_str(), &options, problem, sizeof problem));
        EXPECT_EQ(word, problem);
        EXPECT_TRUE(!options.htmlPathGiven && word == options.refusedPath && options.noDesktop) << path;
    }

    // A word longer than any option value is refused, not cut into another.
    CommandLineOptions options;
    char problem[8];
    std::string longName = "/NAME=" + std::string(2000, 'n');
    EXPECT_FALSE(ParseCommandLine(longName.c_str(), &options, problem, sizeof problem));
    EXPECT_STREQ(problem, "/NAME=n");
}

}  // namespace
