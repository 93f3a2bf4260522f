// The engine reports each finished page on standard output: the converter ends an engine that
// stays silent too long, so a long document must keep talking.
#include <gtest/gtest.h>

#include "engine/engine_test_support.h"

namespace {

TEST(EngineProgress, EveryFinishedPageIsReportedInOrder) {
    TempDir dir;
    const std::string document = dir / "doc.xps";
    enginetest::WriteTestDocument(document);
    const ShellResult pdf =
        enginetest::RunEngine({"-sDEVICE=pdfwrite", "-sOutputFile=" + (dir / "out.pdf"), document});
    EXPECT_EQ(pdf.exitCode, 0) << pdf.err;
    EXPECT_EQ(pdf.out, "page 1\npage 2\n");
    const ShellResult bmp = enginetest::RunEngine(
        {"-sDEVICE=bmp16m", "-r72x72", "-sOutputFile=" + (dir / "p_%03d.bmp"), document});
    EXPECT_EQ(bmp.exitCode, 0) << bmp.err;
    EXPECT_EQ(bmp.out, "page 1\npage 2\n");
}

}  // namespace
