// tests/mtrx/plot_test.cpp: figures written through PLplot, read back: the
// size of a PNG, pixels where a known line or image cell must be, a plot
// area that is not blank for every plot type, text in the SVG, and the
// figures written at the end of a run.
#include "plot/render.h"
#include "session.h"

#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

// Drawing through PLplot fills font caches of fontconfig and Pango that live
// as long as the process: LeakSanitizer is told, as valgrind is in
// tools/valgrind.supp.
extern "C" __attribute__((visibility("default"), used)) const char *__lsan_default_suppressions() {
    return "leak:libplplot.so\nleak:libfontconfig.so\nleak:libpango\n";
}

namespace {

struct Picture {
    unsigned int width = 0, height = 0;
    std::vector<unsigned char> rgb;  // rows from the top, 3 bytes a pixel
    const unsigned char *At(unsigned int x, unsigned int y) const { return &rgb[(y * width + x) * 3]; }
};

Picture ReadPng(const std::string &path) {
    Picture p;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return p;
    image.format = PNG_FORMAT_RGB;
    p.rgb.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, p.rgb.data(), 0, nullptr)) return {};
    p.width = image.width;
    p.height = image.height;
    return p;
}

std::string Folder() {
    static int count = 0;
    const std::string dir = ::testing::TempDir() + "mtrx_plot_" + std::to_string(::getpid()) + "_" +
                            std::to_string(++count);
    std::system(("mkdir -p '" + dir + "'").c_str());
    return dir;
}

void RunScript(mtrx::Session &session, const std::string &source) {
    try {
        session.Run(source);
    } catch (const mtrx::ScriptError &e) {
        FAIL() << source << ": " << e.what();
    }
}

void RunScript(const std::string &source) {
    std::ostringstream out;
    mtrx::Session session(out);
    RunScript(session, source);
}

bool Near(const unsigned char *px, int r, int g, int b, int tolerance = 60) {
    return std::abs(px[0] - r) <= tolerance && std::abs(px[1] - g) <= tolerance && std::abs(px[2] - b) <= tolerance;
}

// The mean row of the pixels of column x near a colour, or -1 for none.
double RowOf(const Picture &p, unsigned int x, int r, int g, int b, unsigned int y0, unsigned int y1) {
    double sum = 0;
    int count = 0;
    for (unsigned int y = y0; y < y1; ++y)
        if (Near(p.At(x, y), r, g, b)) sum += y, ++count;
    return count == 0 ? -1 : sum / count;
}

class Plot : public ::testing::Test {
protected:
    void SetUp() override {
        if (!mtrx::plot::CanRender()) GTEST_SKIP() << "built without PLplot";
        dir = Folder();
    }
    std::string dir;
};

TEST_F(Plot, LineLandsWhereItsDataSayAndResolutionScalesThePicture) {
    const std::string a = dir + "/a.png", b = dir + "/b.png", c = dir + "/c.png";
    RunScript("plot([0 1], [0.5 0.5], 'r', 'LineWidth', 2); axis([0 1 0 1]); print('-dpng', '" + a +
        "'); print('-dpng', '-r200', '" + b + "'); exportgraphics(gcf, '" + c + "', 'Resolution', 50)");
    const Picture p = ReadPng(a);
    ASSERT_EQ(p.width, 640u);
    ASSERT_EQ(p.height, 480u);
    EXPECT_TRUE(Near(p.At(2, 2), 255, 255, 255, 0));
    // The axes span 0.11 to 0.925 of the height: y = 0.5 is at its middle.
    const double row = RowOf(p, 320, 255, 0, 0, 0, p.height);
    EXPECT_NEAR(row, 480 * (1 - (0.11 + 0.925) / 2), 3);
    const Picture big = ReadPng(b), small = ReadPng(c);
    EXPECT_EQ(big.width, 1280u);
    EXPECT_EQ(big.height, 960u);
    EXPECT_EQ(small.width, 320u);
    EXPECT_NEAR(RowOf(big, 640, 255, 0, 0, 0, big.height), 2 * row, 6);
}

TEST_F(Plot, SubplotsAndImagesPutTheirColoursInTheirCells) {
    const std::string a = dir + "/a.png", b = dir + "/b.png";
    RunScript("subplot(2, 1, 1); plot([0 1], [0.5 0.5], 'b', 'LineWidth', 2); axis([0 1 0 1]);"
        "subplot(2, 1, 2); plot([0 1], [0.5 0.5], 'g', 'LineWidth', 2); axis([0 1 0 1]);"
        "saveas(gcf, '" + a + "'); figure; imagesc([1 2; 1 2]); colormap gray; saveas(gcf, '" + b + "')");
    const Picture p = ReadPng(a);
    ASSERT_EQ(p.width, 640u);
    EXPECT_GT(RowOf(p, 320, 0, 0, 255, 0, 240), 0);
    EXPECT_LT(RowOf(p, 320, 0, 0, 255, 240, 480), 0);
    EXPECT_GT(RowOf(p, 320, 0, 255, 0, 240, 480), 0);
    EXPECT_LT(RowOf(p, 320, 0, 255, 0, 0, 240), 0);
    // Two columns scaled to the ends of gray: black at the left, white at
    // the right of the axes (0.13 to 0.905 of the width).
    const Picture q = ReadPng(b);
    ASSERT_EQ(q.width, 640u);
    EXPECT_TRUE(Near(q.At(static_cast<unsigned int>(640 * 0.2), 240), 0, 0, 0, 10));
    EXPECT_TRUE(Near(q.At(static_cast<unsigned int>(640 * 0.85), 240), 255, 255, 255, 10));
}

TEST_F(Plot, EveryPlotTypeDrawsInItsPlotArea) {
    const char *const scripts[] = {
        "histogram(sin(1:500))", "hist(sin(1:50), 5)", "bar([1 2; 3 4])", "barh(1:4)",
        "scatter(1:10, (1:10).^2, 30, 1:10, 'filled')", "stem(1:5)", "stairs([1 3 2 4])",
        "errorbar(1:5, 1:5, 0.5*ones(1, 5))", "area(1:5)", "fill([0 1 0], [0 0 1], 'r')",
        "pie([1 2 3])", "polarplot(0:0.1:6, 1:61)", "quiver([1 2; 3 4], [1 1; 1 1])",
        "loglog(1:100, (1:100).^2)", "semilogx(1:100, 1:100)", "semilogy(1:10, exp(1:10))",
        "[X, Y] = meshgrid(-2:0.25:2); surf(X, Y, X.*exp(-X.^2 - Y.^2))",
        "[X, Y] = meshgrid(-2:0.25:2); mesh(X.*Y)",
        "[X, Y] = meshgrid(-2:0.25:2); contour(X, Y, X.^2 + Y.^2, 5); colorbar",
        "[X, Y] = meshgrid(-2:0.25:2); contourf(X.^2 - Y.^2)",
        "image(magic(4)); colormap(jet(16))", "plot(1:3); text(2, 2, 'here'); legend('line')",
    };
    for (const char *script : scripts) {
        const std::string path = dir + "/t.png";
        std::remove(path.c_str());
        RunScript(std::string(script) + "; print('-dpng', '" + path + "')");
        const Picture p = ReadPng(path);
        ASSERT_EQ(p.width, 640u) << script;
        std::size_t inked = 0;
        for (unsigned int y = 60; y < 420; ++y)
            for (unsigned int x = 100; x < 560; ++x)
                if (!Near(p.At(x, y), 255, 255, 255, 20)) ++inked;
        EXPECT_GT(inked, 300u) << script;
    }
}

TEST_F(Plot, EmptyAndNonFiniteDataDrawAnEmptyPlot) {
    const char *const scripts[] = {
        "plot([])", "plot([NaN Inf -Inf])", "plot(1:3, [1 NaN 3])", "loglog([-1 0], [0 -1])",
        "bar(zeros(0, 1))", "histogram([])", "histogram([NaN Inf])", "surf(zeros(0, 2))",
        "contour(ones(3))", "imagesc(NaN(2))", "plot([1e308 -1e308], [1 2])", "plot([1 1], [2 2])",
        "quiver(0, 0)", "pie([0 0])", "polarplot([], [])", "axis off", "histogram([1e308 -1e308])",
        "hist([1e308 -1e308])", "contour([1 2 NaN; 3 4 5; 6 7 8])", "contourf([1 NaN; Inf 2])",
        "plot(1:3); legend('a', 'Location', 'northeastoutside')",
    };
    for (const char *script : scripts) {
        const std::string path = dir + "/e.png";
        std::remove(path.c_str());
        RunScript(std::string(script) + "; print('-dpng', '" + path + "')");
        EXPECT_EQ(ReadPng(path).width, 640u) << script;
    }
}

TEST_F(Plot, SvgHoldsItsTextAndPdfIsAPdf) {
    RunScript("plot(1:3); title('Hello SVG'); xlabel('time'); print('-dsvg', '" + dir + "/a'); print('-dpdf', '" +
        dir + "/b.pdf')");
    std::ifstream svg(dir + "/a.svg");
    std::stringstream text;
    text << svg.rdbuf();
    // The driver writes characters as references: &#x48; for H.
    std::string decoded;
    const std::string s = text.str();
    for (std::size_t i = 0; i < s.size(); ++i) {
        unsigned int c;
        int used = 0;
        if (s.compare(i, 3, "&#x") == 0 && std::sscanf(s.c_str() + i, "&#x%x;%n", &c, &used) == 1 && used > 0 &&
            c < 128) {
            decoded += static_cast<char>(c);
            i += static_cast<std::size_t>(used) - 1;
        } else {
            decoded += s[i];
        }
    }
    EXPECT_NE(decoded.find("Hello SVG"), std::string::npos);
    EXPECT_NE(decoded.find("time"), std::string::npos);
    std::ifstream pdf(dir + "/b.pdf");
    std::string head(4, '\0');
    pdf.read(&head[0], 4);
    EXPECT_EQ(head, "%PDF");
}

TEST_F(Plot, UnsavedFiguresAreWrittenOnceAtTheEnd) {
    std::ostringstream out;
    mtrx::Session session(out);
    RunScript(session, "plot(1:3); figure(3); bar(1:3); figure; print('-dpng', '" + dir + "/x.png')");
    // `figure` took the lowest free number, 2, and print wrote it.
    const std::vector<std::string> written = session.WriteUnsavedFigures(dir);
    ASSERT_EQ(written, (std::vector<std::string>{dir + "/figure1.png", dir + "/figure3.png"}));
    EXPECT_EQ(ReadPng(written[1]).width, 640u);
    EXPECT_TRUE(session.WriteUnsavedFigures(dir).empty());
    RunScript(session, "plot(1:2)");
    EXPECT_THROW(session.WriteUnsavedFigures(dir + "/missing"), std::runtime_error);
}

}  // namespace
