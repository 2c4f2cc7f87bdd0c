// src/mtrx/plot/figure.h: the figure model of the interpreter: figures, their
// axes, the objects drawn in them and the state the plot commands change
// (hold, colour order, limits, labels). Plain data, no drawing: a renderer
// turns a Figure into a picture (plot/render.h).
#ifndef MTRX_PLOT_FIGURE_H
#define MTRX_PLOT_FIGURE_H

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace mtrx::plot {

/// A colour, each part from 0 to 1.
struct Color {
    double r = 0, g = 0, b = 0;
};

/// What a series draws.
enum class Kind {
    kLine,      // x, y joined by a line and/or marked (plot, scatter, stairs, polarplot)
    kBar,       // bars at x of heights y from `base` (bar, barh, histogram, hist)
    kStem,      // stems from `base` to (x, y), marked
    kErrorBar,  // a line with vertical bars from y - u to y + v
    kArea,      // the region between the line and `base`, filled
    kFill,      // a filled polygon (fill, pie wedges)
    kSurface,   // z over the grid x, y, faceted and coloured by height (surf)
    kMesh,      // the same as a wire frame (mesh)
    kContour,   // contour lines of z at `levels`
    kContourFilled,  // bands of z between `levels`
    kImage,     // z as coloured cells, rows down (imagesc, image)
    kQuiver,    // arrows (u, v) at (x, y)
    kText,      // `text` at (x[0], y[0])
};

/// One object drawn in an axes, with its data and properties.
struct Series {
    Kind kind = Kind::kLine;
    double handle = 0;
    std::vector<double> x, y;   // points, or the grid's columns (x) and rows (y)
    std::vector<double> z;      // a rows x cols grid, column-major
    std::vector<double> u, v;   // arrow components; error bar lengths below and above
    unsigned int rows = 0, cols = 0;
    Color color;                // the line, marker, bar or fill colour
    bool color_set = false;     // given, rather than taken from the colour order
    std::string line_style = "-";  // "-", "--", ":", "-.", or "none"
    char marker = 0;            // 0, or one of o+*.xsd^v<>ph
    double line_width = 0.5;    // points
    double marker_size = 6;     // points
    bool filled_marker = false;
    std::string name;           // DisplayName: its legend entry
    bool horizontal = false;    // barh
    double bar_width = 0.8;     // as a fraction of the spacing of x
    double base = 0;            // bars, stems and areas start here
    std::vector<double> levels; // contour levels
    bool scaled = true;         // image: z scaled to the colormap (imagesc), else indices
    std::string text;
};

/// Where a legend goes in its axes.
enum class LegendPlace { kBest, kNorthEast, kNorthWest, kSouthEast, kSouthWest, kOutside };

/// One set of axes: its place in the figure's subplot grid and what it holds.
struct Axes {
    unsigned int grid_rows = 1, grid_cols = 1, cell = 1;  // subplot(m, n, k)
    std::vector<Series> series;
    bool hold = false;
    std::size_t next_color = 0;  // into the colour order
    std::string title, xlabel, ylabel, zlabel;
    bool grid = false;
    bool visible = true;             // axis off hides the box, ticks and labels
    bool equal = false, square = false, tight = false;
    std::optional<std::vector<double>> xlim, ylim, zlim;  // two values
    std::optional<std::vector<double>> xticks, yticks;
    bool xlog = false, ylog = false;
    bool y_down = false;             // images: the first row at the top
    bool polar = false;
    bool three_d = false;            // surfaces: a 3-D box seen from az, el
    double azimuth = -37.5, elevation = 30;
    bool legend = false;
    LegendPlace legend_place = LegendPlace::kBest;
    bool colorbar = false;

    /// Puts the axes back as a new plot without hold finds them: no series
    /// and every property at its default, the subplot place kept.
    void Reset();
};

/// A figure: numbered, with its axes, its colormap, and whether it changed
/// since it was last written.
struct Figure {
    int number = 1;
    std::vector<Axes> axes;
    std::size_t current = 0;  // the current axes when `axes` is not empty
    std::vector<Color> colormap;
    bool unsaved = false;
};

/// The figures of one session. Not thread-safe; owned by the evaluator.
class FigureSet {
public:
    /// The current figure; figure 1 is made when there is none.
    Figure &Current();
    /// Makes figure `number` current, made when it does not exist.
    Figure &Select(int number);
    /// Makes a figure with the lowest unused number current.
    Figure &New();
    /// The current axes of the current figure, one full-size axes made when
    /// it has none. Marks the figure unsaved.
    Axes &CurrentAxes();
    /// Makes cell k of an m x n grid the current axes (made when absent, an
    /// axes of another grid overlapping it removed). k is 1..m*n.
    Axes &Subplot(unsigned int m, unsigned int n, unsigned int k);
    bool Has(int number) const { return m_figures.count(number) != 0; }
    bool Empty() const { return m_figures.empty(); }
    Figure *Find(int number);
    void Close(int number);
    void CloseAll();
    /// The figures in number order.
    std::vector<Figure *> All();
    /// A new handle for a series: never a whole number, so never a figure's.
    double NextHandle() { return m_nextHandle += 1; }
    /// The series with this handle, or null.
    Series *FindSeries(double handle);

private:
    std::map<int, Figure> m_figures;
    int m_current = 0;  // 0: none
    double m_nextHandle = 1048576.5;  // 2^20 + 1/2: exact, and never whole
};

/// A line format: colour, line style and marker, each optional.
struct LineFormat {
    std::optional<Color> color;
    std::optional<std::string> line_style;
    char marker = 0;
};

/// Parses a line format such as "r--o", "k:", "b*" or "--"; nullopt
/// when `text` is not one.
std::optional<LineFormat> ParseLineFormat(const std::string &text);

/// The colour named by a letter (rgbcmykw) or a long name ("red"), or nullopt.
std::optional<Color> NamedColor(const std::string &name);

/// Colour k (counted from 0, wrapping) of the default colour order: seven
/// distinct colours for successive lines.
Color OrderColor(std::size_t k);

/// The colormap `name` (viridis, gray, jet, hot, cool) with
/// n colours, or an empty vector for an unknown name.
std::vector<Color> NamedColormap(const std::string &name, std::size_t n);

/// Round tick positions covering [lo, hi]: multiples of 1, 2 or 5 times a
/// power of ten, at most about `most` of them. lo < hi, both finite.
std::vector<double> NiceTicks(double lo, double hi, int most = 7);

/// The limits an axis shows for data from lo to hi: widened to the
/// neighbouring round ticks, or a unit around a single value.
void NiceLimits(double &lo, double &hi);

}  // namespace mtrx::plot

#endif  // MTRX_PLOT_FIGURE_H
