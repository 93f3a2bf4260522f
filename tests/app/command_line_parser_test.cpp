#include "app/command_line_parser.h"
#include "app/input_list_file.h"
#include "app/long_options.h"
#include "app/run_program.h"
#include "app/trim_spaces.h"
#include "app/winansi_text.h"

#include <gtest/gtest.h>

#include "support/test_paths.h"
#include "support/test_support.h"

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
        {"-pl 40", &Settings::pdfKeyLength, 40},     {"-pl 128", &Settings::pdfKeyLength, 128},
        {"-pl 256", &Settings::pdfKeyLength, 256},   {"-pu x", &Settings::pdfKeyLength, 128},
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
    EXPECT_EQ(Parse("-pl 40").settings.pdfEncrypt, 1);
    EXPECT_EQ(Parse("-pe 0").settings.pdfEncrypt, 1);
    EXPECT_EQ(Parse("-pn owner").settings.pdfEncrypt, 1);
    EXPECT_EQ(Parse("-pu user").settings.pdfEncrypt, 1);
    EXPECT_EQ(Parse("-pt title -pa me").settings.pdfEncrypt, 0);
}

// A key length other than the three, however it came, refuses the run; 40 works with a caution.
// Passwords become the bytes other readers derive from the same typed text.
TEST(CommandLineParser, KeyLengthsAndPasswordBytes) {
    const auto parse = [](const std::string& line, Settings& settings) {
        ResetSettings(settings);
        InputList inputs;
        ParseReport report;
        ParseCommandLine(line, settings, inputs, &report);
        EXPECT_TRUE(report.warnings.empty()) << line;
        return report;
    };
    Settings settings;
    for (const std::string value : {"265", "AES", "64", "128abc", "0x80", "\"\""}) {
        const ParseReport report = parse("-t pdf -pu x -pl " + value, settings);
        EXPECT_EQ(report.refusal, "xpsconv: -pl " + (value == "\"\"" ? std::string("has no value") : value +
                                  " is not a key length") + ": use 40, 128 or 256; nothing was converted");
    }
    EXPECT_TRUE(parse("-t png -pl 40", settings).notices.empty());
    EXPECT_EQ(parse("-t pdf -pu x -pl 40", settings).notices,
              (std::vector<std::string>{"xpsconv: -pl 40: a 40-bit key can be found by trying every key; "
                                        "-pl 128 or 256 protects"}));

    const struct {
        std::string line;
        std::string user;  // the bytes, or the refusal after "the password of "
        std::string owner;
    } cases[] = {
        // PDFDocEncoding: Latin-1 letters keep their codes; the bullet and the euro sign move.
        {"-t pdf -pu p\xC3\xA4ssw\xC3\xB6rd -pn \xE2\x82\xAC\xE2\x80\xA2", "p\xE4ssw\xF6rd", "\xA0\x80"},
        {"-t pdf -pl 40 -pu \xE4\xB8\xAD", "-pu holds U+4E2D, which an RC4 password (-pl 40 or 128) cannot hold; use "
                                           "-pl 256 or other characters", ""},
        // AES: UTF-8 as typed, other spaces made plain, soft hyphens and joiners gone.
        {"-t pdf -pl 256 -pu p\xC3\xA4ss\xC2\xA0w\xC2\xADrd -pn \xE4\xB8\xAD", "p\xC3\xA4ss w" "rd", "\xE4\xB8\xAD"},
        {"-t pdf -pl 256 -pn a\x07", "", "-pn holds U+0007, which a password cannot hold"},
        {"-t pdf -pl 256 -pu a\xD7\x90", "-pu mixes right-to-left letters with others in a way a password cannot", ""},
        {"-t pdf -pl 256 -pu \xC2\xAD", "-pu has no character a password keeps", ""},
        // Page images take no password: nothing to convert or refuse.
        {"-t png -pu \xE4\xB8\xAD", "\xE4\xB8\xAD", ""},
    };
    for (const auto& c : cases) {
        const ParseReport report = parse(c.line, settings);
        if (c.user.starts_with("-p") || c.owner.starts_with("-p")) {
            EXPECT_EQ(report.refusal, "xpsconv: the password of " + c.user + c.owner + "; nothing was converted");
        } else {
            EXPECT_EQ(report.refusal, "") << c.line;
            EXPECT_EQ(settings.pdfUserPassword, c.user) << c.line;
            EXPECT_EQ(settings.pdfOwnerPassword, c.owner) << c.line;
        }
    }
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

TEST(CommandLineParser, TextsBeyondTheirCapacityRefuseTheRun) {
    Settings settings;
    InputList inputs;
    ParseReport report;
    // Exactly at the capacity is fine.
    ASSERT_EQ(ParseCommandLine("-pt " + std::string(255, 't') + " -pu secret", settings, inputs, &report), 1);
    EXPECT_EQ(report.refusal, "");
    EXPECT_EQ(settings.pdfTitle.size(), 255u);
    EXPECT_EQ(settings.pdfUserPassword, "secret");
    for (const char* option : {"-pt", "-i", "-o", "-wt", "-pu"}) {
        report = ParseReport{};
        ParseCommandLine(std::string(option) + " " + std::string(256, 'v') + " -pu secret", settings, inputs, &report);
        EXPECT_EQ(report.refusal, std::string("xpsconv: the value of ") + option +
                                      " is longer than 255 characters; nothing was converted");
    }
    // The whole line: 1023 characters are taken, one more refuses, naming the way out.
    const std::string filler = "-i " + std::string(1020, 'f');
    report = ParseReport{};
    ParseCommandLine(filler, settings, inputs, &report);
    EXPECT_NE(report.refusal.find("-i is longer than 255"), std::string::npos);
    report = ParseReport{};
    ParseCommandLine(filler + "x", settings, inputs, &report);
    const std::string overLine = "xpsconv: the command line is longer than 1023 characters (1024); name a folder "
                                 "with -i, or list the documents with --list, instead of many files. Nothing was "
                                 "converted";
    EXPECT_EQ(report.refusal, overLine);
    // Long options, wherever they stand, are not the grammar's text.
    const std::string grammar = "-pt " + std::string(255, 't') + " -pa " + std::string(255, 'a') + " -pk " +
                                std::string(255, 'k') + " -ps " + std::string(239, 's');
    ASSERT_EQ(grammar.size(), 1023u);
    for (const std::string& line : {"--jobs 2 " + grammar + " --shard=1/3 -q --recursive",
                                    "-j 2 " + grammar + " --report \"" + std::string(200, 'r') + "\""}) {
        report = ParseReport{};
        ParseCommandLine(line, settings, inputs, &report);
        EXPECT_EQ(report.refusal, "") << line.substr(0, 12);
    }
    report = ParseReport{};
    ParseCommandLine("--jobs 2 " + grammar + "x --quiet", settings, inputs, &report);
    EXPECT_EQ(report.refusal, overLine);
}

// Each long option, in both spellings, wherever a switch may stand; a value it cannot take
// refuses the run and names the option.
TEST(CommandLineParser, LongOptionsSetTheirFieldsOrRefuse) {
    Parsed p = Parse("-t png --jobs 3 -mq 50 --recursive --skip-existing --shard=2/5 --report \"r 1.jsonl\" -q --dpi=150");
    EXPECT_EQ(p.settings.jobs, 3);
    EXPECT_TRUE(p.settings.recursive);
    EXPECT_TRUE(p.settings.skipExisting);
    EXPECT_EQ(p.settings.shardIndex, 2);
    EXPECT_EQ(p.settings.shardCount, 5);
    EXPECT_EQ(p.settings.reportPath, "r 1.jsonl");
    EXPECT_TRUE(p.settings.quiet);
    EXPECT_EQ(p.settings.resolutionX, 150);
    EXPECT_EQ(p.settings.resolutionY, 150);
    EXPECT_EQ(p.settings.imageType, 5);
    EXPECT_EQ(p.settings.jpegQuality, 50);
    p = Parse("-j 0 --quiet --dpi 600 -mx 100");
    EXPECT_EQ(p.settings.jobs, 0);
    EXPECT_TRUE(p.settings.quiet);
    EXPECT_EQ(p.settings.resolutionX, 100);  // later wins, as ever
    EXPECT_EQ(p.settings.resolutionY, 600);

    const std::pair<const char*, const char*> refused[] = {
        {"--jobs -1", "--jobs -1: give a whole number from 0 (one per core) to 256"},
        {"-j 257", "-j 257: give a whole number from 0 (one per core) to 256"},
        {"--jobs=2x", "--jobs 2x: give a whole number from 0 (one per core) to 256"},
        {"--shard 4/4", "--shard 4/4: give K/N, whole numbers with 0 <= K < N (parts count from 0)"},
        {"--shard 0/0", "--shard 0/0: give K/N, whole numbers with 0 <= K < N (parts count from 0)"},
        {"--shard 3", "--shard 3: give K/N, whole numbers with 0 <= K < N (parts count from 0)"},
        {"--shard -1/2", "--shard -1/2: give K/N, whole numbers with 0 <= K < N (parts count from 0)"},
        {"--dpi 71", "--dpi 71: give a whole number from 72 to 600"},
        {"--dpi 601", "--dpi 601: give a whole number from 72 to 600"},
        {"-i a.xps --jobs", "--jobs needs a value (N)"},
        {"--report= -i a.xps", "--report needs a value (FILE)"},
        {"--quiet=yes", "--quiet takes no value"},
        {"--list /nonexistent/list.txt", "--list /nonexistent/list.txt: the list cannot be read"},
    };
    for (const auto& [line, message] : refused) {
        Settings settings;
        InputList inputs;
        ParseReport report;
        ParseCommandLine(line, settings, inputs, &report);
        EXPECT_TRUE(report.refusal.starts_with(std::string("xpsconv: ") + message)) << line << ": " << report.refusal;
        EXPECT_TRUE(report.refusal.ends_with("; nothing was converted")) << line;
    }

    // Not long options: a value taken by -i, a glued -j, a name not in the table.
    Settings settings;
    ResetSettings(settings);
    InputList inputs;
    ParseReport report;
    ParseCommandLine("-i --jobs 4 -j4 --output /x -Q", settings, inputs, &report);
    EXPECT_EQ(inputs, (InputList{"--jobs"}));
    EXPECT_EQ(settings.jobs, 0);
    EXPECT_FALSE(settings.quiet);
    EXPECT_EQ(report.refusal, "");
    EXPECT_EQ(report.warnings, (std::vector<std::string>{
                                   "xpsconv: stray word 4 ignored", "xpsconv: unknown option -j4 ignored",
                                   "xpsconv: unknown option --output ignored", "xpsconv: stray word /x ignored",
                                   "xpsconv: unknown option -Q ignored (options are lower case: -q)"}));
}

// A list holds one input per line in the order given, among the -i inputs where it stands.
TEST(CommandLineParser, ListFileInputsInPlace) {
    EXPECT_EQ(SplitInputList("\xEF\xBB\xBF" "a.xps\r\n\r\n  \t\nsub dir/b.xps \n\nlast.xps"),
              (std::vector<std::string>{"a.xps", "sub dir/b.xps ", "last.xps"}));
    EXPECT_TRUE(SplitInputList("\n\r\n").empty());
    TempDir dir;
    const std::string list = dir / "my list.txt";
    WriteFile(list, "one.xps\r\nfolder\r\n");
    Settings settings;
    ResetSettings(settings);
    InputList inputs;
    ParseReport report;
    ParseCommandLine("-i first.xps --list \"" + list + "\" -i last.xps --list=\"" + list + "\"", settings, inputs, &report);
    EXPECT_EQ(report.refusal, "");
    EXPECT_EQ(inputs, (InputList{"first.xps", "one.xps", "folder", "last.xps", "one.xps", "folder"}));
}

// The help file's section on the long options is the one the table makes, word for word, and
// the README names every one of them.
TEST(LongOptionsHelp, HelpFileAndReadmeFollowTheTable) {
    const std::string help = ReadFile(SourceDir() + platform::kSeparator + "app" + platform::kSeparator + "Command line.txt");
    const std::string section = LongOptionsHelpSection();
    EXPECT_NE(help.find("\n\n" + section + "\n"), std::string::npos)
        << "app/Command line.txt must hold this section, between blank lines:\n" << section;
    const std::string readme = ReadFile(SourceDir() + platform::kSeparator + "README.md");
    for (const LongOption& option : kLongOptions) {
        EXPECT_NE(readme.find("`--" + std::string(option.name)), std::string::npos) << option.name;
    }
}

TEST(CommandLineParser, RepairsAreToldOneLineEach) {
    Settings settings;
    ResetSettings(settings);
    InputList inputs;
    ParseReport report;
    ParseCommandLine("-tt x -mq abc -mx 50 -mg 45 -t gifx -mc zip -mc JPG -wr 450 -mm 0 -o -ms 3 -wc",
                     settings, inputs, &report);
    const std::vector<std::string> expected = {
        "xpsconv: unknown option -tt ignored",
        "xpsconv: stray word x ignored",
        "xpsconv: -mq abc is not a number, 1 used",
        "xpsconv: -mx 50 is out of range, 72 used",
        "xpsconv: -mg 45 is not 0, 90, 180 or 270, 0 used",
        "xpsconv: unknown type -t gifx, jpg used",
        "xpsconv: unknown compression -mc zip, jpg used",
        "xpsconv: -wr 450 taken as 90",
        "xpsconv: stray word 0 ignored",
        "xpsconv: stray word 3 ignored",
        "xpsconv: -wc has no value, 0 used",
    };
    EXPECT_EQ(report.warnings, expected);
    // The repairs themselves are those of the grammar.
    EXPECT_EQ(settings.jpegQuality, 1);
    EXPECT_EQ(settings.overlayRotation, 90);
    EXPECT_EQ(settings.outputFolder, "-ms");  // -o takes the next word, whatever it is
    EXPECT_EQ(settings.multiPageTiff, 1);

    report = ParseReport{};
    ParseCommandLine("--version -tpdf", settings, inputs, &report);
    EXPECT_TRUE(report.versionAsked);
    EXPECT_EQ(report.warnings, (std::vector<std::string>{
                                   "xpsconv: unknown option -tpdf ignored"}));
}

TEST(CommandLineParser, LoneDashAndTrailingQuote) {
    Parsed p = Parse("- -mq 9 -");
    EXPECT_EQ(p.settings.jpegQuality, 9);
    p = Parse("-o \"x\"glued -mq 8");
    EXPECT_EQ(p.settings.outputFolder, "x");
    EXPECT_EQ(p.settings.jpegQuality, 8);
}

#ifndef _WIN32
// What the shell hands over as separate arguments arrives in the settings exactly as typed:
// no blank or quote inside a value can end it early or make an option of its own. (Windows
// hands over the command-line text itself: nothing is rebuilt there.)
TEST(JoinedArguments, EveryArgumentArrivesAsTyped) {
    std::vector<std::string> words = {"-pt", "Q3 \"final\" -o \"/tmp/elsewhere", "-pu", "my \"secret\" pass",
                                      "-i", "\"quoted.xps", "-pa", "", "-pk", "a\\\"b", "\"x -o /tmp/loose\"",
                                      "-o", " out dir ", "-t", " pdf "};
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    const JoinedArguments joined = JoinArguments(static_cast<int>(argv.size()), argv.data());
    ASSERT_EQ(joined.refusal, "");
    Settings settings;
    ResetSettings(settings);
    InputList inputs;
    ParseReport report;
    ASSERT_EQ(ParseCommandLine(joined.text, settings, inputs, &report), 1);
    EXPECT_EQ(settings.pdfTitle, "Q3 \"final\" -o \"/tmp/elsewhere");
    EXPECT_EQ(settings.pdfUserPassword, "my \"secret\" pass");
    EXPECT_EQ(inputs, (InputList{"\"quoted.xps"}));
    EXPECT_EQ(settings.pdfAuthor, "");
    EXPECT_EQ(settings.pdfKeywords, "a\\\"b");
    EXPECT_EQ(settings.outputFolder, " out dir ");  // only -t's value is trimmed
    EXPECT_EQ(settings.outputPdf, 1);
    EXPECT_EQ(report.warnings, (std::vector<std::string>{"xpsconv: -pa has no value, ignored",
                                                         "xpsconv: stray word \"x -o /tmp/loose\" ignored"}));

    std::string control = std::string("a") + '\x1f';
    char* withControl[] = {control.data()};
    EXPECT_NE(JoinArguments(1, withControl).refusal, "");
}
#endif

TEST(WinAnsiText, Utf8BecomesTheOverlayFontsBytes) {
    bool unmapped = true;
    EXPECT_EQ(Utf8ToWinAnsi("Gr\xc3\xb6\xc3\x9f" "e \xe2\x82\xac\xe2\x80\x9cok\xe2\x80\x9d", &unmapped),
              "Gr\xf6\xdf" "e \x80\x93ok\x94");
    EXPECT_FALSE(unmapped);
    EXPECT_EQ(Utf8ToWinAnsi("\xe6\xbc\xa2 \xc2\x81", &unmapped), "? ?");
    EXPECT_TRUE(unmapped);
    // Not UTF-8: taken to be single bytes already.
    EXPECT_EQ(Utf8ToWinAnsi("Gr\xf6\xdf" "e", &unmapped), "Gr\xf6\xdf" "e");
    EXPECT_FALSE(unmapped);
    EXPECT_EQ(Utf8ToWinAnsi("\xc0\xaf"), "\xc0\xaf");  // an overlong form is no UTF-8
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
