// On Windows the converter reads its command-line text itself (GetCommandLineA) and takes it
// apart with its own grammar: drive letters and backslashes pass as typed, double quotes hold
// blanks, and a backslash before a closing quote is an ordinary character, not an escape.
// RunProgram hands the text over to the letter, so each case types exactly what a user would.
#include <gtest/gtest.h>

#ifdef _WIN32

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "app/end_to_end_support.h"
#include "platform/platform.h"

namespace fs = std::filesystem;
using namespace e2e;

namespace {

class WindowsCommandLine : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_TOOLS("pdfinfo", "pdftotext", "qpdf");
        fs::create_directories(tmp);
        fs::create_directories(dir.path() / "my docs");
        WriteTwoPageDocument(In("my docs\\report.xps"));
        WriteTwoPageDocument(In("plain.xps"));
    }
    // A path below the test's folder, written as a user types it: drive letter, backslashes.
    std::string In(const std::string& name) const { return dir.str() + "\\" + name; }
    // Run from a folder of its own, so that nothing is found relative to the documents.
    ShellResult Run(const std::string& arguments) { return RunConverter(work.str(), arguments, tmp); }
    std::string Info(const std::string& pdf) { return RunShell("pdfinfo " + ShellQuote(pdf)).out; }
    bool IsTwoPagePdf(const std::string& pdf) {
        return Info(pdf).find("Pages:           2\n") != std::string::npos;
    }
    TempDir dir;
    TempDir work;
    std::string tmp = work / "tmp";
};

TEST_F(WindowsCommandLine, DriveLettersAndBackslashesPassAsTyped) {
    ASSERT_EQ(dir.str().find(' '), std::string::npos) << "the test folder itself must need no quotes";
    ASSERT_EQ(dir.str().substr(1, 2), ":\\");
    ShellResult result = Run("-i " + In("plain.xps") + " -t pdf -o " + In("out"));
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_TRUE(IsTwoPagePdf(In("out\\plain.pdf"))) << Info(In("out\\plain.pdf"));
    // A lower-case drive letter is one too; page images go there as well.
    std::string lower = In("pages");
    lower[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(lower[0])));
    result = Run("-i " + In("plain.xps") + " -t png -o " + lower);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(ListNames(In("pages")), (std::vector<std::string>{"plain_001.png", "plain_002.png"}));
    // Without -o, beside the input, wherever the run starts from.
    result = Run("-i " + In("plain.xps") + " -t pdf");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(IsTwoPagePdf(In("plain.pdf")));
    EXPECT_EQ(ListNames(work.str()), std::vector<std::string>{});
    EXPECT_EQ(LeftInTemporaryFolder(tmp), std::vector<std::string>{});
}

TEST_F(WindowsCommandLine, QuotedArgumentsHoldBlanksAndWhatLooksLikeOptions) {
    const std::string title = "Q3 -o " + In("elsewhere") + " -pu secret -t png";
    const ShellResult result = Run("-i \"" + In("my docs\\report.xps") + "\" -t pdf -o \"" + In("out dir") +
                                   "\" -pt \"" + title + "\" -pa \"Ann O'Neil\"");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
    const std::string pdf = In("out dir\\report.pdf");
    const std::string info = Info(pdf);
    EXPECT_TRUE(IsTwoPagePdf(pdf)) << info;
    EXPECT_NE(info.find("Title:           " + title + "\n"), std::string::npos) << info;
    EXPECT_NE(info.find("Author:          Ann O'Neil\n"), std::string::npos) << info;
    // The words inside the title did nothing: no other folder, no password, no page images.
    EXPECT_FALSE(fs::exists(In("elsewhere")));
    EXPECT_EQ(RunShell("qpdf --is-encrypted " + ShellQuote(pdf)).exitCode, 2);
    EXPECT_EQ(ListNames(In("out dir")), std::vector<std::string>{"report.pdf"});
}

TEST_F(WindowsCommandLine, BackslashBeforeTheClosingQuoteEndsNothing) {
    // By the C runtime's rules \" would be a quote inside the argument, and the rest of the
    // line would belong to it; here the folder ends at the quote and -t png still counts.
    ShellResult result = Run("-i \"" + In("my docs\\report.xps") + "\" -o \"" + In("out dir\\") + "\" -t png -mx 72 -my 72");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(ListNames(In("out dir")), (std::vector<std::string>{"report_001.png", "report_002.png"}));
    // The same for a folder named as the input, and an unquoted folder with a closing backslash.
    result = Run("-i \"" + In("my docs\\") + "\" -t pdf -o " + In("from-folder\\") + " -pt done");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(ListNames(In("from-folder")), std::vector<std::string>{"report.pdf"});
    EXPECT_NE(Info(In("from-folder\\report.pdf")).find("Title:           done\n"), std::string::npos);
}

TEST_F(WindowsCommandLine, AFolderAsInputConvertsItsDocuments) {
    fs::create_directories(dir.path() / "docs");
    for (const char* name : {"a.xps", "B.XPS", "c.oxps"})
        fs::copy_file(In("plain.xps"), In(std::string("docs\\") + name));
    WriteFile(In("docs\\notes.txt"), "x");
    fs::create_directories(dir.path() / "docs" / "sub");
    fs::copy_file(In("plain.xps"), In("docs\\sub\\deep.xps"));
    const std::vector<std::string> converted = {"B.pdf", "a.pdf", "c.pdf"};
    for (const std::string& input : {In("docs"), In("docs\\")}) {
        const std::string out = In("out" + std::to_string(input.size()));
        const ShellResult result = Run("-i " + input + " -t pdf -o " + out);
        ASSERT_EQ(result.exitCode, 0) << input << ": " << result.err;
        EXPECT_EQ(ListNames(out), converted) << input << ": only the folder's own documents";
        for (const std::string& name : converted) EXPECT_TRUE(IsTwoPagePdf(out + "\\" + name)) << name;
    }
    // A relative folder, found from the folder the run starts in.
    const ShellResult result = RunConverter(dir.str(), "-i docs -t png -o relative", tmp);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(ListNames(In("relative")).size(), 6u);
}

TEST_F(WindowsCommandLine, WildcardsInInputsConvertEveryMatch) {
    fs::create_directories(dir.path() / "in");
    for (const char* name : {"b.xps", "A.XPS", "c.oxps", "d.xpsx", "e.xps.txt"})
        fs::copy_file(In("plain.xps"), In(std::string("in\\") + name));
    ShellResult result = Run("-i " + In("in\\*.xps") + " -i " + In("in\\?.oxps") + " -t pdf -o " + In("out"));
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err.find("xpsconv:"), std::string::npos) << result.err;  // the summary only
    EXPECT_EQ(ListNames(In("out")), (std::vector<std::string>{"A.pdf", "b.pdf", "c.pdf"}));
    for (const char* name : {"A.pdf", "b.pdf", "c.pdf"}) EXPECT_TRUE(IsTwoPagePdf(In(std::string("out\\") + name)));
    // Relative to the folder the run starts in; no match is a failure named on standard error.
    result = RunConverter(In("in"), "-i *.xps -i z*.xps -t png -o " + In("pages"), tmp);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.err.starts_with("xpsconv: no XPS document matches \"z*.xps\"\n2 documents: 2 converted"))
        << result.err;
    EXPECT_EQ(ListNames(In("pages")),
              (std::vector<std::string>{"A_001.png", "A_002.png", "b_001.png", "b_002.png"}));
}

// The programs ask for the UTF-8 code page: a name outside the ANSI code page is converted,
// to PDF and to page images, beside itself and into a folder. The names are made and listed
// with the narrow calls the converter uses, in UTF-8.
TEST_F(WindowsCommandLine, NamesOutsideTheAnsiCodePage) {
    const std::string name = "\xe5\xa0\xb1\xe5\x91\x8a";       // two CJK characters
    const std::string folder = In("\xe6\x96\x87\xe6\x9b\xb8");  // two more
    const auto names = [](const std::string& path) {
        std::vector<platform::FolderEntry> entries;
        std::vector<std::string> files;
        if (platform::ListFolder(path + "\\", entries))
            for (const platform::FolderEntry& entry : entries)
                if (entry.isRegularFile) files.push_back(entry.name);
        std::sort(files.begin(), files.end());
        return files;
    };
    ASSERT_TRUE(platform::MakeFolder(folder));
    WriteTwoPageDocument(folder + "\\" + name + ".xps");
    // The overlay makes the post-processor open the file by its name too.
    ShellResult result = Run("-i " + folder + "\\" + name + ".xps -t pdf -wt Stamp");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_TRUE(IsTwoPagePdf(folder + "\\" + name + ".pdf")) << Info(folder + "\\" + name + ".pdf");
    EXPECT_NE(RunShell("pdftotext " + ShellQuote(folder + "\\" + name + ".pdf") + " -").out.find("Stamp"),
              std::string::npos);
    result = Run("-i " + folder + " -t png -o " + folder + "\\" + name);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(names(folder + "\\" + name), (std::vector<std::string>{name + "_001.png", name + "_002.png"}));
    EXPECT_EQ(names(folder), (std::vector<std::string>{name + ".pdf", name + ".xps"}));
}

// Paths past 260 characters, which the system's narrow calls refuse: a document in folders
// nested beyond 300 characters, found through its top folder and through a list, converted
// beside itself and below an output folder whose page files pass 260 characters too.
TEST_F(WindowsCommandLine, PathsBeyondTwoHundredSixtyCharacters) {
    const std::string top = In("top");
    std::string deep = top;
    while (deep.size() < 300) deep += "\\" + std::string(50, 'f');
    fs::create_directories(deep);
    fs::copy_file(In("plain.xps"), deep + "\\report.xps");
    ShellResult result = Run("-i " + top + " --recursive -t pdf -wt Stamp");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(IsTwoPagePdf(deep + "\\report.pdf")) << Info(deep + "\\report.pdf");
    EXPECT_NE(RunShell("pdftotext " + ShellQuote(deep + "\\report.pdf") + " -").out.find("Stamp"), std::string::npos);
    const std::string out = In(std::string(250 - dir.str().size(), 'o'));
    result = Run("-i " + top + " --recursive -t png -o " + out);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const std::string pages = out + deep.substr(top.size());
    // Listed on the Linux side: the C runtime's folder listing stops short of such a path.
    EXPECT_EQ(RunShell("ls " + ShellQuote(pages)).out, "report_001.png\nreport_002.png\n");
    DecodedImage image;
    EXPECT_TRUE(DecodeImage(pages + "\\report_002.png", image));
    WriteFile(In("list.txt"), deep + "\\report.xps\r\n");
    result = Run("--list " + In("list.txt") + " -t pdf -o " + out + " -pu pw");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(RunShell("qpdf --show-encryption --password=pw " + ShellQuote(out + "\\report.pdf")).out.find("R = 3"),
              std::string::npos);
    EXPECT_EQ(LeftInTemporaryFolder(tmp), std::vector<std::string>{});
}

TEST_F(WindowsCommandLine, OutputFolderMustBecomeLetterColonBackslash) {
    // Relative, rooted without a drive, and with forward slashes: each made absolute on the
    // current drive, and used.
    std::string rooted = In("rooted");
    rooted.erase(0, 2);
    std::string forward = In("forward/slashes");
    std::replace(forward.begin(), forward.end(), '\\', '/');
    const std::pair<std::string, std::string> valid[] = {
        {"relative", work / "relative"}, {rooted, In("rooted")}, {forward, In("forward\\slashes")}};
    for (const auto& [typed, folder] : valid) {
        const ShellResult result = Run("-i " + In("plain.xps") + " -t pdf -o " + typed);
        ASSERT_EQ(result.exitCode, 0) << typed << ": " << result.err;
        EXPECT_TRUE(IsTwoPagePdf(folder + "\\plain.pdf")) << typed;
    }
    // A share (with either slash) or a device path is no such folder: the run stops before any
    // work, with the message and the folder as typed.
    for (const std::string& typed :
         std::vector<std::string>{"\\\\server\\share\\out", "//server/share/out", "\\\\?\\" + In("device")}) {
        const ShellResult result = Run("-i " + In("plain.xps") + " -t pdf -o " + typed);
        EXPECT_EQ(result.exitCode, 2) << typed;
        EXPECT_EQ(result.err, "Quorbex Tavrin Command Line: Invalid output path.\nxpsconv: " + typed +
                                  ": not an absolute folder path\n")
            << typed;
        EXPECT_EQ(result.out, "") << typed;
    }
    // A relative folder short enough as typed whose full path is longer than the output folder
    // setting holds: refused the same way, before any work.
    const std::string deep(255 - 10, 'd');
    ASSERT_GT(work.str().size() + 1 + deep.size(), 260u);
    const ShellResult result = Run("-i " + In("plain.xps") + " -t pdf -o " + deep);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err.rfind("Quorbex Tavrin Command Line: Invalid output path.\nxpsconv: ", 0), 0u) << result.err;
    EXPECT_FALSE(fs::exists(In("device")));
    EXPECT_EQ(ListNames(work.str()), std::vector<std::string>{});
    EXPECT_EQ(ListNames(dir.str()), std::vector<std::string>{"plain.xps"});
}

TEST_F(WindowsCommandLine, ProgramInAFolderWithBlanks) {
    // The program's own quoted name is skipped as a whole, and the engine and post-processor
    // are found beside it.
    const std::string bin = In("my tools");
    fs::create_directories(bin);
    for (const std::string& name : {ProgramFile("xpsconv"), std::string("proc.dll"), std::string("mstar.dll"),
                                    std::string("Command line.txt")})
        fs::copy_file(InFolder(BuiltBinDir(), name), bin + "\\" + name);
    const std::string arguments = "-i \"" + In("my docs\\report.xps") + "\" -t pdf -o out -pu pw";
    const ShellResult result = RunConverterProgram(bin + "\\" + ProgramFile("xpsconv"), work.str(), arguments, tmp);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
    const std::string pdf = work / "out\\report.pdf";
    EXPECT_NE(RunShell("qpdf --show-encryption --password=pw " + ShellQuote(pdf)).out.find("R = 3"), std::string::npos);
}

}  // namespace

#endif  // _WIN32
