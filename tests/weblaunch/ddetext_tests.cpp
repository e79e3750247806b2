// KELDR32's DDE command building and window-information parsing.
#include <gtest/gtest.h>
#include <windows.h>

#include <stdlib.h>
#include <string>

#include "ddetext.h"

using keldr::BuildDdeCommand;
using keldr::FindWindowInfoTitle;

namespace {

std::string Command(const char* templ, const char* address)
{
    char* text = BuildDdeCommand(templ, address);
    if (!text)
        return "<null>";
    std::string result = text;
    free(text);
    return result;
}

// The title a reply of `size` bytes yields, or "<none>".
std::string Title(const char* reply, size_t size)
{
    const keldr::TitleSpan span = FindWindowInfoTitle(reply, size);
    if (!span.found)
        return "<none>";
    EXPECT_LE(span.offset + span.length, size);
    return std::string(reply + span.offset, span.length);
}

std::string Title(const std::string& reply) { return Title(reply.data(), reply.size()); }

}  // namespace

TEST(DdeCommand, ReplacesOnlyTheFirstMarker)
{
    EXPECT_EQ(Command("\"%1\",,-1,0,,,,", "http://a.test/"), "\"http://a.test/\",,-1,0,,,,");
    EXPECT_EQ(Command("[open(\"%1\",\"%1\")]", "x"), "[open(\"x\",\"%1\")]");
    EXPECT_EQ(Command("%1", "http://a.test/"), "http://a.test/");
    EXPECT_EQ(Command("%1", ""), "");
}

TEST(DdeCommand, KeepsTheAddressVerbatim)
{
    const char address[] = "http://a.test/say \"hi\"?q=100%25&r=%1 x";
    EXPECT_EQ(Command("\"%1\",,-1", address), std::string("\"") + address + "\",,-1");
}

TEST(DdeCommand, TemplateWithoutMarkerIsSentAsItStands)
{
    EXPECT_EQ(Command("[activate]", "http://a.test/"), "[activate]");
    EXPECT_EQ(Command("%", "http://a.test/"), "%");
    EXPECT_EQ(Command("tail %", "http://a.test/"), "tail %");
}

TEST(WindowInfoReply, TakesTheSecondField)
{
    EXPECT_EQ(Title("\"1\",\"Page - Browser\",\"x\""), "Page - Browser");
    EXPECT_EQ(Title("\"4294967295\",\"T\""), "T");
    EXPECT_EQ(Title("\"\",\"T\""), "T");
    EXPECT_EQ(Title(std::string("\"1\",\"T\"\0junk\"", 12)), "T");
}

TEST(WindowInfoReply, WithoutItsQuotesYieldsNothing)
{
    EXPECT_EQ(Title(""), "<none>");
    EXPECT_EQ(Title("\""), "<none>");
    EXPECT_EQ(Title("no quotes at all"), "<none>");
    EXPECT_EQ(Title("\"1\""), "<none>");
    EXPECT_EQ(Title("\"1\","), "<none>");
    EXPECT_EQ(Title("\"1\" , \"T\""), "<none>");
    EXPECT_EQ(Title("\"1\",\"unterminated"), "<none>");
    EXPECT_EQ(Title(nullptr, 0), "<none>");
}

TEST(WindowInfoReply, ScansOnlyWithinTheReportedSize)
{
    const std::string full = "\"1\",\"Title\",\"x\"";
    // Cut before the closing quote of the title: the rest is not the reply's.
    EXPECT_EQ(Title(full.data(), 9), "<none>");
    EXPECT_EQ(Title(full.data(), 11), "Title");
    // A NUL ends the text even when the size reaches past it.
    EXPECT_EQ(Title(std::string("\"1\",\"Ti\0tle\"", 12)), "<none>");
    EXPECT_EQ(Title(std::string("\"1\0\",\"T\"", 8)), "<none>");
}
