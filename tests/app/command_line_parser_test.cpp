#include "app/command_line_parser.h"
#include "app/file_helpers.h"

#include <gtest/gtest.h>

namespace {

struct Parsed {
    Settings settings;
    InputList inputs;
    int result = 0;
};

Parsed Parse(const std::string& line) {
    Parsed parsed;
    ResetSettings(parsed.settings);
    parsed.settings.helpFilePath = "/nonexistent/help.txt";  // keep the tests' output clean
    parsed.result = ParseCommandLine(line, parsed.settings, parsed.inputs);
    return parsed;
}

TEST(CommandLineParser, EmptyLineReturnsZeroAndOtherwiseOne) {
    EXPECT_EQ(Parse("").result, 0);
    EXPECT_EQ(Parse("-?").result, 1);
    EXPECT_EQ(Parse("loose words only").result, 1);
}

TEST(CommandLineParser, InputsAndOutputFolder) {
    const Parsed p = Parse("-i a.xps -i \"my docs/b.xps\" -o \"out dir\" -i a.xps");
    EXPECT_EQ(p.inputs, (InputList{"a.xps", "my docs/b.xps", "a.xps"}));
    EXPECT_EQ(p.settings.outputFolder, "out dir");
}

TEST(CommandLineParser, GluedLetterIsIgnoredButWNumbersBecomeZero) {
    const Parsed p = Parse("-tpng -ifile.xps -oout -wc12 -ws 20 -ws30");
    EXPECT_EQ(p.settings.imageType, 4);
    EXPECT_TRUE(p.inputs.empty());
    EXPECT_EQ(p.settings.outputFolder, "");
    EXPECT_EQ(p.settings.overlayColor, 0);
    EXPECT_EQ(p.settings.overlaySize, 0);  // the later glued -ws30 wrote 0
}

TEST(CommandLineParser, MissingArgumentsLeaveOrZeroTheSetting) {
    Parsed p = Parse("-mq");
    EXPECT_EQ(p.settings.jpegQuality, 75);
    p = Parse("-wp");
    EXPECT_EQ(p.settings.overlayPosition, 0);
    p = Parse("-wx -wy");  // -wx takes "-wy" as its argument: not a number, so 0
    EXPECT_EQ(p.settings.overlayX, 0);
    EXPECT_EQ(p.settings.overlayY, 0);
    p = Parse("-pt \"\"");
    EXPECT_EQ(p.settings.pdfTitle, "");
}

TEST(CommandLineParser, UpperCaseSwitchSkipsItsArgumentAndLooseWords) {
    const Parsed p = Parse("-T png more words -mq 50");
    EXPECT_EQ(p.settings.imageType, 4);
    EXPECT_EQ(p.settings.jpegQuality, 50);
}

TEST(CommandLineParser, QuotedArguments) {
    Parsed p = Parse("-o \"C x/y z\" -t bmp");
    EXPECT_EQ(p.settings.outputFolder, "C x/y z");
    EXPECT_EQ(p.settings.imageType, 1);
    // Without a closing quote the rest of the line is the argument, switches included.
    p = Parse("-o \"a b -t bmp");
    EXPECT_EQ(p.settings.outputFolder, "a b -t bmp");
    EXPECT_EQ(p.settings.imageType, 4);
    // A backslash before the closing quote is an ordinary character.
    p = Parse("-pt \"x\\\" -pa y");
    EXPECT_EQ(p.settings.pdfTitle, "x\\");
    EXPECT_EQ(p.settings.pdfAuthor, "y");
}

TEST(CommandLineParser, InputTakesTheNextSwitchAsItsArgument) {
    const Parsed p = Parse("-i -t png");
    EXPECT_EQ(p.inputs, (InputList{"-t"}));
    EXPECT_EQ(p.settings.imageType, 4);
}

TEST(CommandLineParser, RepeatedOptionsLastWins) {
    const Parsed p = Parse("-t png -t gif -mq 10 -mq 20 -pt one -pt two");
    EXPECT_EQ(p.settings.imageType, 6);
    EXPECT_EQ(p.settings.imageExtension, ".gif");
    EXPECT_EQ(p.settings.jpegQuality, 20);
    EXPECT_EQ(p.settings.pdfTitle, "two");
}

TEST(CommandLineParser, TabsBelongToWords) {
    const Parsed p = Parse("-t\tpng -mq 5\t0");
    EXPECT_EQ(p.settings.imageType, 4);    // "t\tpng" is a glued letter
    EXPECT_EQ(p.settings.jpegQuality, 5);  // atoi stops at the tab
}

TEST(CommandLineParser, NumberCorrectionsAtTheBoundaries) {
    struct Case {
        std::string line;
        int32_t Settings::*field;
        int32_t expected;
    };
    const Case cases[] = {
        {"-mq 0", &Settings::jpegQuality, 1},        {"-mq 1", &Settings::jpegQuality, 1},
        {"-mq 100", &Settings::jpegQuality, 100},    {"-mq 150", &Settings::jpegQuality, 100},
        {"-mq abc", &Settings::jpegQuality, 1},      {"-mx 50", &Settings::resolutionX, 72},
        {"-mx 72", &Settings::resolutionX, 72},      {"-mx 600", &Settings::resolutionX, 600},
        {"-mx 1200", &Settings::resolutionX, 600},   {"-my 300dpi", &Settings::resolutionY, 300},
        {"-mg 45", &Settings::rotation, 0},          {"-mg 90", &Settings::rotation, 90},
        {"-mg 270", &Settings::rotation, 270},       {"-mg 360", &Settings::rotation, 0},
        {"-pl 64", &Settings::pdfKeyLength, 40},     {"-pl 128", &Settings::pdfKeyLength, 128},
        {"-pe 100", &Settings::pdfRestrictions, 60}, {"-pe -5", &Settings::pdfRestrictions, 0},
        {"-pe 4", &Settings::pdfRestrictions, 4},    {"-wr 450", &Settings::overlayRotation, 90},
        {"-wr 720", &Settings::overlayRotation, 0},  {"-wr 360", &Settings::overlayRotation, 360},
        {"-wr -30", &Settings::overlayRotation, 0},  {"-wr 1", &Settings::overlayRotation, 1},
        {"-mb 16", &Settings::bitsPerPixel, 16},     {"-wc 65280", &Settings::overlayColor, 65280},
        {"-mq 99999999999", &Settings::jpegQuality, 100},
    };
    for (const Case& c : cases) {
        const Parsed p = Parse(c.line);
        EXPECT_EQ(p.settings.*c.field, c.expected) << c.line;
    }
}

TEST(CommandLineParser, EncryptionOptionsTurnEncryptionOnForGood) {
    EXPECT_EQ(Parse("-pl 64").settings.pdfEncrypt, 1);
    EXPECT_EQ(Parse("-pe 0").settings.pdfEncrypt, 1);
    EXPECT_EQ(Parse("-pn owner").settings.pdfEncrypt, 1);
    EXPECT_EQ(Parse("-pu user").settings.pdfEncrypt, 1);
    EXPECT_EQ(Parse("-pt title -pa me").settings.pdfEncrypt, 0);
}

TEST(CommandLineParser, SizeArgument) {
    Parsed p = Parse("-ms 800X600");
    EXPECT_EQ(p.settings.imageWidth, 800);
    EXPECT_EQ(p.settings.imageHeight, 600);
    p = Parse("-ms 700");
    EXPECT_EQ(p.settings.imageWidth, 0);
    EXPECT_EQ(p.settings.imageHeight, 700);
    p = Parse("-ms \" 640x480 \"");
    EXPECT_EQ(p.settings.imageWidth, 640);
    EXPECT_EQ(p.settings.imageHeight, 480);
}

TEST(CommandLineParser, TypeKeywords) {
    EXPECT_EQ(Parse("-t PDF").settings.outputPdf, 1);
    Parsed p = Parse("-t pdf -t tiff");
    EXPECT_EQ(p.settings.outputPdf, 0);
    EXPECT_EQ(p.settings.imageType, 7);
    EXPECT_EQ(p.settings.imageExtension, ".tif");
    p = Parse("-t png -t pdf");
    EXPECT_EQ(p.settings.outputPdf, 1);
    EXPECT_EQ(p.settings.imageType, 5);  // PDF leaves the image type alone
    p = Parse("-t webp");
    EXPECT_EQ(p.settings.imageType, 4);
    EXPECT_EQ(p.settings.imageExtension, ".jpg");
    const std::pair<const char*, int32_t> types[] = {
        {"bmp", 1}, {"emf", 2}, {"wmf", 3}, {"jpeg", 4}, {"png", 5}, {"gif", 6}, {"tif", 7},
        {"pcx", 8}, {"tga", 9}, {"jp2", 10}, {"ras", 11}, {"jpc", 12}, {"JPC", 12},
    };
    for (const auto& [word, type] : types) EXPECT_EQ(Parse(std::string("-t ") + word).settings.imageType, type) << word;
}

TEST(CommandLineParser, CompressionKeywords) {
    const std::pair<const char*, int32_t> cases[] = {
        {"none", 0}, {"NONE", 0}, {"lzw", 1}, {"LZW", 1},   {"jpg", 2},     {"JPG", 2},
        {"jpeg", 2}, {"packbits", 3}, {"PackBits", 3}, {"g4", 4}, {"g3", 5}, {"G3", 5},
        {"rle", 6},  {"zip", 2},
    };
    for (const auto& [word, code] : cases) EXPECT_EQ(Parse(std::string("-mc ") + word).settings.tiffCompression, code) << word;
}

TEST(CommandLineParser, FlagsOnlyTurnOn) {
    Parsed p = Parse("-mm 0 -wg");
    EXPECT_EQ(p.settings.multiPageTiff, 1);
    EXPECT_EQ(p.settings.overlayFlag, 1);
    p = Parse("-mmx -wgx");
    EXPECT_EQ(p.settings.multiPageTiff, 0);
    EXPECT_EQ(p.settings.overlayFlag, 0);
}

TEST(CommandLineParser, OverlayTextEnablesTheOverlay) {
    Parsed p = Parse("-wt \"TOP SECRET\" -wp 3");
    EXPECT_EQ(p.settings.overlayText, "TOP SECRET");
    EXPECT_EQ(p.settings.overlayEnabled, 1);
    EXPECT_EQ(p.settings.overlayPosition, 3);
    EXPECT_EQ(Parse("-wt").settings.overlayEnabled, 0);
}

TEST(CommandLineParser, GroupLetterFollowedByOtherCharacterDoesNothing) {
    const Parsed p = Parse("-m q 5 -mz 9 -p -w");
    EXPECT_EQ(p.settings.jpegQuality, 75);
}

TEST(CommandLineParser, LongTextsAreCutAtTheirCapacity) {
    const std::string longTitle(400, 't');
    Parsed p = Parse("-pt " + longTitle);
    EXPECT_EQ(p.settings.pdfTitle.size(), kArgumentCapacity);
    // A command line longer than its capacity is cut; what lies beyond is never seen.
    p = Parse("-pa " + std::string(1100, 'a') + " -mq 5");
    EXPECT_EQ(p.settings.jpegQuality, 75);
}

TEST(CommandLineParser, LoneDashAndTrailingQuote) {
    Parsed p = Parse("- -mq 9 -");
    EXPECT_EQ(p.settings.jpegQuality, 9);
    p = Parse("-o \"x\"glued -mq 8");
    EXPECT_EQ(p.settings.outputFolder, "x");
    EXPECT_EQ(p.settings.jpegQuality, 8);
}

TEST(TrimSpacesTest, OnlySpacesAreTrimmed) {
    std::string text = "  abc  ";
    EXPECT_EQ(TrimSpaces(text), 3u);
    EXPECT_EQ(text, "abc");
    text = "     ";
    EXPECT_EQ(TrimSpaces(text), 0u);
    EXPECT_EQ(text, "");
    text = "\tabc\t";
    EXPECT_EQ(TrimSpaces(text), 5u);
}

TEST(ReadNumberTest, BehavesLikeAtoiWithoutOverflow) {
    EXPECT_EQ(ReadNumber("  42abc"), 42);
    EXPECT_EQ(ReadNumber("-7"), -7);
    EXPECT_EQ(ReadNumber("+8"), 8);
    EXPECT_EQ(ReadNumber("x1"), 0);
    EXPECT_EQ(ReadNumber("99999999999999999999"), INT32_MAX);
    EXPECT_EQ(ReadNumber("-99999999999999999999"), INT32_MIN);
}

}  // namespace
