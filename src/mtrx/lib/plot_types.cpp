// src/mtrx/lib/plot_types.cpp: the plot types: lines (plot, semilogx,
// semilogy, loglog, polarplot, scatter, stairs, stem, errorbar), bars and
// histograms, areas and fills, pie, surfaces, contours, images and arrows.
// Each builds series of the figure model and adds them to the current axes.
#include "lib/options.h"
#include "lib/plots.h"

#include "evaluator.h"
#include "text.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <numeric>

namespace mtrx {

namespace {

// A numeric argument with its shape.
struct Data {
    std::vector<double> v;
    unsigned int rows = 0, cols = 0;
    bool complex = false;
    std::vector<double> imag;
    bool IsVector() const { return rows == 1 || cols == 1; }
    double At(unsigned int i, unsigned int j) const { return v[i + static_cast<std::size_t>(j) * rows]; }
};

Data DataOf(const Args &args, std::size_t k) {
    Data d;
    d.v = Numbers(args, k);
    const Array &a = args.GetArray(k);
    d.rows = a.Rows();
    d.cols = d.rows == 0 ? 0 : static_cast<unsigned int>(d.v.size() / d.rows);
    if (IsComplex(a)) {
        d.complex = true;
        d.imag = Array::Adopt(kiv::matrix::Imag(a.get())).ToVector();
    }
    return d;
}

std::vector<double> Count(std::size_t n) {
    std::vector<double> x(n);
    std::iota(x.begin(), x.end(), 1.0);
    return x;
}

// The current axes made ready for new series: emptied unless hold is on.
plot::Axes &Target(BuiltinCall &c) {
    plot::Axes &a = FiguresOf(c).CurrentAxes();
    if (!a.hold) a.Reset();
    return a;
}

// Adds series to the current axes, colours from the colour order for
// those without their own; returns their handles when asked.
Outs Place(BuiltinCall &c, plot::Axes &a, std::vector<plot::Series> &series) {
    std::vector<double> handles;
    for (plot::Series &s : series) {
        if (!s.color_set) s.color = plot::OrderColor(a.next_color++);
        s.handle = FiguresOf(c).NextHandle();
        handles.push_back(s.handle);
        a.series.push_back(std::move(s));
    }
    if (c.nargout == 0) return {};
    return {Handles(handles)};
}

// The line format `text` of function `name`, or its error.
plot::LineFormat LineFormatOf(const std::string &name, const std::string &text) {
    const auto fmt = plot::ParseLineFormat(text);
    if (!fmt) throw Error("'" + name + "': invalid line format '" + text + "'");
    return *fmt;
}

void ApplyFormat(plot::Series &s, const plot::LineFormat &fmt) {
    if (fmt.color) {
        s.color = *fmt.color;
        s.color_set = true;
    }
    s.marker = fmt.marker;
    if (fmt.line_style)
        s.line_style = *fmt.line_style;
    else if (fmt.marker != 0)
        s.line_style = "none";
}

bool IsProperty(const std::string &word) {
    static const char *const kNames[] = {"linewidth", "markersize", "displayname", "color", "linestyle",
                                         "marker", "markerfacecolor", "markeredgecolor", "facecolor",
                                         "edgecolor", "barwidth"};
    const std::string w = LowerWord(word);
    return std::find(std::begin(kNames), std::end(kNames), w) != std::end(kNames);
}

// A name of letters only, longer than a line format's letters could
// be: a property name, known or not, rather than a format.
bool IsWord(const std::string &text) {
    return text.size() > 3 && !plot::ParseLineFormat(text) &&
           std::all_of(text.begin(), text.end(), [](char ch) { return std::isalpha(static_cast<unsigned char>(ch)) != 0; });
}

// Lines of x against the columns (or rows) of Y.
void AddLines(const std::string &name, const Data &x, const Data &y, std::vector<plot::Series> &out) {
    const auto line = [&](std::vector<double> xs, std::vector<double> ys) {
        plot::Series s;
        s.x = std::move(xs);
        s.y = std::move(ys);
        out.push_back(std::move(s));
    };
    const auto column = [](const Data &d, unsigned int j) {
        return std::vector<double>(d.v.begin() + static_cast<std::ptrdiff_t>(j) * d.rows,
                                   d.v.begin() + static_cast<std::ptrdiff_t>(j + 1) * d.rows);
    };
    const auto row = [](const Data &d, unsigned int i) {
        std::vector<double> r(d.cols);
        for (unsigned int j = 0; j < d.cols; ++j) r[j] = d.At(i, j);
        return r;
    };
    if (x.IsVector() && y.IsVector()) {
        if (x.v.size() != y.v.size())
            throw Error("'" + name + "': X and Y must have the same length (" + std::to_string(x.v.size()) +
                        " and " + std::to_string(y.v.size()) + ")");
        line(x.v, y.v);
    } else if (x.IsVector()) {
        if (y.rows == x.v.size())
            for (unsigned int j = 0; j < y.cols; ++j) line(x.v, column(y, j));
        else if (y.cols == x.v.size())
            for (unsigned int i = 0; i < y.rows; ++i) line(x.v, row(y, i));
        else
            throw Error("'" + name + "': the length of X (" + std::to_string(x.v.size()) +
                        ") matches no dimension of Y");
    } else if (y.IsVector()) {
        if (x.rows == y.v.size())
            for (unsigned int j = 0; j < x.cols; ++j) line(column(x, j), y.v);
        else if (x.cols == y.v.size())
            for (unsigned int i = 0; i < x.rows; ++i) line(row(x, i), y.v);
        else
            throw Error("'" + name + "': the length of Y matches no dimension of X");
    } else {
        if (x.rows != y.rows || x.cols != y.cols) throw Error("'" + name + "': X and Y must have the same size");
        for (unsigned int j = 0; j < y.cols; ++j) line(column(x, j), column(y, j));
    }
}

// plot(y), plot(x, y), plot(x, y, fmt, x2, y2, fmt2, ..., name, value):
// the series of line plots.
std::vector<plot::Series> LineSeries(const Args &args, std::size_t &pairs_at) {
    const std::string &name = args.Name();
    std::vector<plot::Series> out;
    std::size_t k = 0;
    while (k < args.size() && !args.IsText(k)) {
        const std::size_t before = out.size();
        const Data first = DataOf(args, k);
        if (k + 1 < args.size() && !args.IsText(k + 1)) {
            AddLines(name, first, DataOf(args, k + 1), out);
            k += 2;
        } else if (first.complex) {
            Data re = first, im = first;
            im.v = first.imag;
            AddLines(name, re, im, out);
            ++k;
        } else {
            Data x;
            x.v = Count(first.IsVector() ? first.v.size() : first.rows);
            x.rows = static_cast<unsigned int>(x.v.size());
            x.cols = 1;
            AddLines(name, x, first, out);
            ++k;
        }
        if (k < args.size() && args.IsText(k) && !IsProperty(args.GetText(k)) &&
            !(k + 1 < args.size() && IsWord(args.GetText(k)))) {
            const plot::LineFormat fmt = LineFormatOf(name, args.GetText(k));
            for (std::size_t i = before; i < out.size(); ++i) ApplyFormat(out[i], fmt);
            ++k;
        }
    }
    if (k == 0 && !args.empty()) args.Refuse(0, "numeric data");
    pairs_at = k;
    return out;
}

Outs PlotLines(const Args &args, BuiltinCall &c) {
    std::size_t pairs = 0;
    std::vector<plot::Series> series = LineSeries(args, pairs);
    ApplyPairs(args, pairs, series);
    plot::Axes &a = Target(c);
    if (c.name == "semilogx" || c.name == "loglog") a.xlog = true;
    if (c.name == "semilogy" || c.name == "loglog") a.ylog = true;
    return Place(c, a, series);
}

Outs Polarplot(const Args &args, BuiltinCall &c) {
    std::size_t pairs = 0;
    std::vector<plot::Series> series = LineSeries(args, pairs);
    ApplyPairs(args, pairs, series);
    for (plot::Series &s : series)
        for (std::size_t i = 0; i < s.x.size(); ++i) {
            const double theta = s.x[i], rho = s.y[i];
            s.x[i] = rho * std::cos(theta);
            s.y[i] = rho * std::sin(theta);
        }
    plot::Axes &a = Target(c);
    a.polar = true;
    return Place(c, a, series);
}

Outs Scatter(const Args &args, BuiltinCall &c) {
    const Data x = DataOf(args, 0), y = DataOf(args, 1);
    if (x.v.size() != y.v.size()) throw Error("'scatter': X and Y must have the same length");
    plot::Series s;
    s.x = x.v;
    s.y = y.v;
    s.line_style = "none";
    s.marker = 'o';
    std::size_t k = 2;
    std::vector<double> colors;  // one value a point: mapped through the colormap
    if (args.Has(k) && !args.IsText(k)) {
        const std::vector<double> size = Numbers(args, k);
        if (!size.empty()) {
            if (!(size[0] > 0)) args.Refuse(k, "a positive marker area");
            s.marker_size = std::sqrt(size[0]);
        }
        ++k;
    }
    if (args.Has(k) && !args.IsText(k)) {
        const std::vector<double> v = Numbers(args, k);
        if (v.size() == 3 && x.v.size() != 3) {
            s.color = ColorValue(args[k], "scatter");
            s.color_set = true;
        } else if (v.size() == x.v.size()) {
            colors = v;
        } else {
            args.Refuse(k, "a colour or one value a point");
        }
        ++k;
    }
    for (; k < args.size(); ++k) {
        if (!args.IsText(k)) args.Refuse(k, "text");
        const std::string word = args.GetText(k);
        if (word == "filled") {
            s.filled_marker = true;
        } else if (IsProperty(word)) {
            break;
        } else if (const auto fmt = plot::ParseLineFormat(word); fmt && !fmt->line_style) {
            if (fmt->color) {
                s.color = *fmt->color;
                s.color_set = true;
            }
            if (fmt->marker != 0) s.marker = fmt->marker;
        } else {
            throw Error("'scatter': invalid marker or colour '" + word + "'");
        }
    }
    std::vector<plot::Series> series{s};
    ApplyPairs(args, k, series);
    plot::Axes &a = Target(c);
    if (!colors.empty()) {
        // One series a point, coloured by its value through the colormap.
        const plot::Figure &f = FiguresOf(c).Current();
        double lo = INFINITY, hi = -INFINITY;
        for (double v : colors)
            if (std::isfinite(v)) lo = std::min(lo, v), hi = std::max(hi, v);
        std::vector<plot::Series> points;
        for (std::size_t i = 0; i < colors.size(); ++i) {
            plot::Series p = series[0];
            p.x = {s.x[i]};
            p.y = {s.y[i]};
            const double t = hi > lo && std::isfinite(colors[i]) ? (colors[i] - lo) / (hi - lo) : 0.5;
            p.color = f.colormap[static_cast<std::size_t>(t * (f.colormap.size() - 1) + 0.5)];
            p.color_set = true;
            if (i > 0) p.name.clear();
            points.push_back(std::move(p));
        }
        return Place(c, a, points);
    }
    return Place(c, a, series);
}

// The x (or 1..n) and the data of f(y), f(x, y): the number of leading
// numeric arguments taken is returned in `used`.
void XY(const Args &args, const std::string &name, std::vector<double> &x, Data &y, std::size_t &used) {
    if (args.Has(1) && !args.IsText(1)) {
        const Data xd = DataOf(args, 0);
        y = DataOf(args, 1);
        x = xd.v;
        used = 2;
    } else {
        y = DataOf(args, 0);
        used = 1;
    }
    const std::size_t n = y.IsVector() ? y.v.size() : y.rows;
    if (used == 1) x = Count(n);
    if (x.size() != n)
        throw Error("'" + name + "': X must have one value for each " + (y.IsVector() ? "element" : "row") +
                    " of Y");
}

// The columns of y as vectors (one for a vector).
std::vector<std::vector<double>> Columns(const Data &y) {
    if (y.IsVector()) return {y.v};
    std::vector<std::vector<double>> out;
    for (unsigned int j = 0; j < y.cols; ++j)
        out.emplace_back(y.v.begin() + static_cast<std::ptrdiff_t>(j) * y.rows,
                         y.v.begin() + static_cast<std::ptrdiff_t>(j + 1) * y.rows);
    return out;
}

// A trailing line format of stem, stairs, errorbar: applied to
// every series; then name-value pairs.
void FormatAndPairs(const Args &args, std::size_t k, std::vector<plot::Series> &series) {
    if (args.Has(k) && args.IsText(k) && !IsProperty(args.GetText(k))) {
        const plot::LineFormat fmt = LineFormatOf(args.Name(), args.GetText(k));
        for (plot::Series &s : series) {
            const char marker = s.marker;
            ApplyFormat(s, fmt);
            if (s.kind == plot::Kind::kStem && fmt.marker == 0) s.marker = marker;
            if (!fmt.line_style && s.kind != plot::Kind::kLine) s.line_style = "-";
        }
        ++k;
    }
    ApplyPairs(args, k, series);
}

Outs Bar(const Args &args, BuiltinCall &c) {
    std::vector<double> x;
    Data y;
    std::size_t k = 0;
    XY(args, c.name, x, y, k);
    double width = 0.8;
    if (args.Has(k) && !args.IsText(k)) {
        width = args.GetScalar(k);
        if (!(width > 0 && width <= 10)) args.Refuse(k, "a bar width from 0 to 10");
        ++k;
    }
    std::vector<std::vector<double>> columns = Columns(y);
    std::vector<plot::Series> series;
    const double groups = static_cast<double>(columns.size());
    double spacing = INFINITY;
    for (std::size_t i = 1; i < x.size(); ++i)
        if (std::fabs(x[i] - x[i - 1]) > 0) spacing = std::min(spacing, std::fabs(x[i] - x[i - 1]));
    if (!std::isfinite(spacing)) spacing = 1;
    for (std::size_t j = 0; j < columns.size(); ++j) {
        plot::Series s;
        s.kind = plot::Kind::kBar;
        s.horizontal = c.name == "barh";
        s.y = std::move(columns[j]);
        s.x = x;
        // Grouped bars share their slot: each a part of it, side by side.
        if (groups > 1) {
            const double offset = (static_cast<double>(j) - (groups - 1) / 2) * width / groups * spacing;
            for (double &v : s.x) v += offset;
        }
        s.bar_width = width / groups;
        series.push_back(std::move(s));
    }
    if (args.Has(k) && args.IsText(k) && !IsProperty(args.GetText(k))) {
        const auto fmt = plot::ParseLineFormat(args.GetText(k));
        if (!fmt || !fmt->color || fmt->marker != 0 || fmt->line_style)
            throw Error("'" + c.name + "': invalid colour '" + args.GetText(k) + "'");
        for (plot::Series &s : series) {
            s.color = *fmt->color;
            s.color_set = true;
        }
        ++k;
    }
    ApplyPairs(args, k, series);
    return Place(c, Target(c), series);
}

// Bins of a histogram: counts of the finite values between edges, each bin
// [e(k), e(k+1)) and the last closed.
std::vector<double> Counts(const std::vector<double> &data, const std::vector<double> &edges) {
    std::vector<double> counts(edges.size() - 1, 0.0);
    for (double v : data) {
        if (!(v >= edges.front() && v <= edges.back())) continue;
        std::size_t bin = static_cast<std::size_t>(std::upper_bound(edges.begin(), edges.end(), v) - edges.begin());
        bin = bin == 0 ? 0 : bin - 1;
        if (bin >= counts.size()) bin = counts.size() - 1;
        counts[bin] += 1;
    }
    return counts;
}

std::vector<double> Finite(const std::vector<double> &v) {
    std::vector<double> out;
    for (double t : v)
        if (std::isfinite(t)) out.push_back(t);
    return out;
}

constexpr std::size_t kMostBins = 100000;

Outs Histogram(const Args &args, BuiltinCall &c) {
    const std::vector<double> data = Finite(Numbers(args, 0));
    std::vector<double> edges;
    std::size_t k = 1;
    if (args.Has(1) && !args.IsText(1)) {
        const std::vector<double> fmt = Numbers(args, 1);
        if (fmt.size() == 1) {
            if (!(fmt[0] >= 1 && fmt[0] <= kMostBins && fmt[0] == std::floor(fmt[0])))
                args.Refuse(1, "a number of bins from 1 to 100000, or bin edges");
            const std::size_t n = static_cast<std::size_t>(fmt[0]);
            double lo = data.empty() ? 0 : *std::min_element(data.begin(), data.end());
            double hi = data.empty() ? 1 : *std::max_element(data.begin(), data.end());
            if (!(hi > lo)) lo -= 0.5, hi += 0.5;
            for (std::size_t i = 0; i <= n; ++i) edges.push_back(lo + (hi / n - lo / n) * i);
            edges.back() = hi;
        } else {
            edges = fmt;
            if (edges.size() < 2 || edges.size() > kMostBins || !std::is_sorted(edges.begin(), edges.end()) ||
                !std::all_of(edges.begin(), edges.end(), [](double e) { return std::isfinite(e); }))
                args.Refuse(1, "increasing finite bin edges");
        }
        k = 2;
    } else {
        // Scott's rule for the width, rounded to 1, 2 or 5 times a power of
        // ten; edges at its multiples.
        double lo = data.empty() ? 0 : *std::min_element(data.begin(), data.end());
        double hi = data.empty() ? 1 : *std::max_element(data.begin(), data.end());
        double width = 1;
        if (hi > lo && data.size() > 1) {
            const double mean = std::accumulate(data.begin(), data.end(), 0.0) / data.size();
            double ss = 0;
            for (double v : data) ss += (v - mean) * (v - mean);
            const double sd = std::sqrt(ss / (data.size() - 1));
            width = 3.5 * sd / std::cbrt(static_cast<double>(data.size()));
            // At most a thousand bins; halves first so that no width overflows.
            width = std::max(width, (hi / 2 - lo / 2) / 500);
            if (!std::isfinite(width)) width = (hi / 2 - lo / 2) / 5;
            const double power = std::pow(10.0, std::floor(std::log10(width)));
            for (double m : {1.0, 2.0, 5.0, 10.0})
                if (m * power >= width) {
                    width = m * power;
                    break;
                }
        }
        if (!(hi > lo)) lo -= 0.5, hi += 0.5;
        const double first = std::floor(lo / width), last = std::max(std::ceil(hi / width), first + 1);
        for (double e = first; e <= last && edges.size() <= kMostBins; e += 1) edges.push_back(e * width);
        if (!std::all_of(edges.begin(), edges.end(), [](double e) { return std::isfinite(e); }))
            edges = {lo, lo / 2 + hi / 2, hi};
    }
    const std::vector<double> counts = Counts(data, edges);
    std::vector<double> centres(counts.size());
    for (std::size_t i = 0; i < counts.size(); ++i) centres[i] = (edges[i] + edges[i + 1]) / 2;
    plot::Series s;
    s.kind = plot::Kind::kBar;
    s.x = centres;
    s.y = counts;
    s.bar_width = 1;
    // Unequal bins: the narrowest sets the drawn width of each.
    std::vector<plot::Series> series{s};
    ApplyPairs(args, k, series);
    return Place(c, Target(c), series);
}

// hist(y), hist(y, n), hist(y, centres): bars, or with outputs the counts
// and centres without drawing.
Outs Hist(const Args &args, BuiltinCall &c) {
    const std::vector<double> data = Finite(Numbers(args, 0));
    std::vector<double> centres;
    if (args.Has(1) && Numbers(args, 1).size() > 1) {
        centres = Numbers(args, 1);
        if (!std::is_sorted(centres.begin(), centres.end())) args.Refuse(1, "increasing bin centres");
    } else {
        const double n = args.Has(1) ? args.GetScalar(1) : 10;
        if (!(n >= 1 && n <= kMostBins && n == std::floor(n))) args.Refuse(1, "a number of bins from 1 to 100000");
        double lo = data.empty() ? 0 : *std::min_element(data.begin(), data.end());
        double hi = data.empty() ? 1 : *std::max_element(data.begin(), data.end());
        if (!(hi > lo)) lo -= 0.5, hi += 0.5;
        const double w = hi / n - lo / n;
        for (std::size_t i = 0; i < static_cast<std::size_t>(n); ++i) centres.push_back(lo + w * (i + 0.5));
    }
    // Edges halfway between centres, the outer ones open.
    std::vector<double> edges{-INFINITY};
    for (std::size_t i = 1; i < centres.size(); ++i) edges.push_back((centres[i - 1] + centres[i]) / 2);
    edges.push_back(INFINITY);
    std::vector<double> counts(centres.size(), 0.0);
    for (double v : data) {
        std::size_t bin = static_cast<std::size_t>(std::upper_bound(edges.begin() + 1, edges.end() - 1, v) - edges.begin()) - 1;
        counts[std::min(bin, counts.size() - 1)] += 1;
    }
    if (c.nargout > 0) {
        Outs out{Value(Array(1, static_cast<unsigned int>(counts.size()), counts))};
        if (c.nargout > 1) out.emplace_back(Array(1, static_cast<unsigned int>(centres.size()), centres));
        return out;
    }
    plot::Series s;
    s.kind = plot::Kind::kBar;
    s.x = centres;
    s.y = counts;
    s.bar_width = 1;
    std::vector<plot::Series> series{s};
    Place(c, Target(c), series);
    return {};
}

// One series a column of Y over X (the data forms XY reads), then a line
// format where `format` allows one, and name-value pairs: the shape of
// stem, stairs and area. make(x, y, column) gives each column's series.
template <typename Make>
Outs ColumnPlot(const Args &args, BuiltinCall &c, bool format, Make make) {
    std::vector<double> x;
    Data y;
    std::size_t k = 0;
    XY(args, c.name, x, y, k);
    std::vector<plot::Series> series;
    for (std::vector<double> &col : Columns(y)) series.push_back(make(x, y, std::move(col)));
    if (format)
        FormatAndPairs(args, k, series);
    else
        ApplyPairs(args, k, series);
    return Place(c, Target(c), series);
}

Outs Stem(const Args &args, BuiltinCall &c) {
    const auto stem = [](const std::vector<double> &x, const Data &, std::vector<double> col) {
        plot::Series s;
        s.kind = plot::Kind::kStem;
        s.x = x;
        s.y = std::move(col);
        s.marker = 'o';
        return s;
    };
    return ColumnPlot(args, c, true, stem);
}

Outs Stairs(const Args &args, BuiltinCall &c) {
    const auto stairs = [](const std::vector<double> &x, const Data &, std::vector<double> col) {
        plot::Series s;
        for (std::size_t i = 0; i < x.size(); ++i) {
            if (i > 0) {
                s.x.push_back(x[i]);
                s.y.push_back(col[i - 1]);
            }
            s.x.push_back(x[i]);
            s.y.push_back(col[i]);
        }
        return s;
    };
    return ColumnPlot(args, c, true, stairs);
}

Outs Errorbar(const Args &args, BuiltinCall &c) {
    std::size_t numeric = 0;
    while (numeric < args.size() && !args.IsText(numeric)) ++numeric;
    if (numeric < 2 || numeric > 4) throw Error("'errorbar' takes (y, e), (x, y, e) or (x, y, neg, pos)");
    std::vector<std::vector<double>> v;
    for (std::size_t k = 0; k < numeric; ++k) v.push_back(Numbers(args, k));
    plot::Series s;
    s.kind = plot::Kind::kErrorBar;
    if (numeric == 2) {
        s.y = v[0];
        s.x = Count(s.y.size());
        s.u = s.v = v[1];
    } else {
        s.x = v[0];
        s.y = v[1];
        s.u = v[2];
        s.v = numeric == 4 ? v[3] : v[2];
    }
    for (const std::vector<double> *p : {&s.x, &s.u, &s.v})
        if (p->size() != s.y.size()) throw Error("'errorbar': X, Y and the error lengths must have the same length");
    std::vector<plot::Series> series{s};
    FormatAndPairs(args, numeric, series);
    return Place(c, Target(c), series);
}

Outs Area(const Args &args, BuiltinCall &c) {
    // Columns stack: each area starts where the one before it ends.
    std::vector<double> below;
    const auto area = [&below](const std::vector<double> &x, const Data &y,
                               std::vector<double> col) {
        below.resize(x.size(), 0.0);
        plot::Series s;
        s.kind = y.IsVector() ? plot::Kind::kArea : plot::Kind::kFill;
        s.x = x;
        for (std::size_t i = 0; i < x.size(); ++i) s.y.push_back(below[i] + col[i]);
        if (!y.IsVector()) {
            for (std::size_t i = x.size(); i-- > 0;) {
                s.x.push_back(x[i]);
                s.y.push_back(below[i]);
            }
        }
        for (std::size_t i = 0; i < x.size(); ++i) below[i] += col[i];
        return s;
    };
    return ColumnPlot(args, c, false, area);
}

Outs Fill(const Args &args, BuiltinCall &c) {
    const std::vector<double> x = Numbers(args, 0), y = Numbers(args, 1);
    if (x.size() != y.size()) throw Error("'fill': X and Y must have the same length");
    plot::Series s;
    s.kind = plot::Kind::kFill;
    s.x = x;
    s.y = y;
    s.color = ColorValue(args[2], "fill");
    s.color_set = true;
    std::vector<plot::Series> series{s};
    ApplyPairs(args, 3, series);
    return Place(c, Target(c), series);
}

Outs Pie(const Args &args, BuiltinCall &c) {
    const std::vector<double> v = Numbers(args, 0);
    double total = 0;
    for (double t : v) {
        if (!(t >= 0) || !std::isfinite(t)) args.Refuse(0, "finite values of 0 or more");
        total += t;
    }
    std::vector<std::string> labels;
    if (args.Has(1)) {
        if (!args[1].IsCell()) args.Refuse(1, "a cell of labels");
        for (const Value &item : args[1].cell().items) {
            if (!IsText(item)) args.Refuse(1, "a cell of labels");
            labels.push_back(Text(item.array()));
        }
        if (labels.size() != v.size()) args.Refuse(1, "one label for each value");
    }
    // Fractions of the whole; values summing to less than 1 leave a gap.
    const double whole = total > 1 || total == 0 ? total : 1;
    std::vector<plot::Series> series, texts;
    double start = M_PI / 2;
    for (std::size_t i = 0; i < v.size(); ++i) {
        const double share = whole > 0 ? v[i] / whole : 0;
        const double end = start - share * 2 * M_PI;
        plot::Series s;
        s.kind = plot::Kind::kFill;
        s.x.push_back(0);
        s.y.push_back(0);
        const int steps = std::max(2, static_cast<int>(share * 120));
        for (int k = 0; k <= steps; ++k) {
            const double t = start + (end - start) * k / steps;
            s.x.push_back(std::cos(t));
            s.y.push_back(std::sin(t));
        }
        const double mid = (start + end) / 2;
        plot::Series label;
        label.kind = plot::Kind::kText;
        label.x = {1.15 * std::cos(mid) - (std::cos(mid) < 0 ? 0.15 : 0)};
        label.y = {1.15 * std::sin(mid)};
        char percent[32];
        std::snprintf(percent, sizeof percent, "%.0f%%", share * 100);
        label.text = labels.empty() ? percent : labels[i];
        label.color = {0.15, 0.15, 0.15};
        label.color_set = true;
        if (share > 0) {
            s.name = label.text;
            series.push_back(std::move(s));
            texts.push_back(std::move(label));
        }
        start = end;
    }
    plot::Axes &a = Target(c);
    a.equal = true;
    a.visible = false;
    a.xlim = std::vector<double>{-1.4, 1.4};
    a.ylim = std::vector<double>{-1.25, 1.25};
    for (plot::Series &t : texts) series.push_back(std::move(t));
    return Place(c, a, series);
}

// surf, mesh, contour, contourf, imagesc, image: Z, or x, y, Z with x and
// y vectors or grids as meshgrid makes them.
plot::Series GridSeries(const Args &args, std::size_t &k, const std::string &name) {
    plot::Series s;
    std::size_t numeric = 0;
    while (numeric < args.size() && !args.IsText(numeric)) ++numeric;
    const bool with_xy = numeric >= 3;
    const Data z = DataOf(args, with_xy ? 2 : 0);
    s.rows = z.rows;
    s.cols = z.cols;
    s.z = z.v;
    if (with_xy) {
        const Data x = DataOf(args, 0), y = DataOf(args, 1);
        // Grids: the first row of X and the first column of Y.
        if (x.IsVector())
            s.x = x.v;
        else if (x.rows == z.rows && x.cols == z.cols)
            for (unsigned int j = 0; j < x.cols; ++j) s.x.push_back(x.At(0, j));
        if (y.IsVector())
            s.y = y.v;
        else if (y.rows == z.rows && y.cols == z.cols)
            for (unsigned int i = 0; i < y.rows; ++i) s.y.push_back(y.At(i, 0));
        if (s.x.size() != z.cols || s.y.size() != z.rows)
            throw Error("'" + name + "': X must have one value for each column of Z and Y one for each row");
        k = 3;
    } else {
        s.x = Count(z.cols);
        s.y = Count(z.rows);
        k = 1;
    }
    return s;
}

Outs Surface(const Args &args, BuiltinCall &c) {
    std::size_t k = 0;
    plot::Series s = GridSeries(args, k, c.name);
    s.kind = c.name == "surf" ? plot::Kind::kSurface : plot::Kind::kMesh;
    s.color_set = true;
    std::vector<plot::Series> series{s};
    ApplyPairs(args, k, series);
    plot::Axes &a = Target(c);
    a.three_d = true;
    return Place(c, a, series);
}

Outs Contour(const Args &args, BuiltinCall &c) {
    std::size_t k = 0;
    plot::Series s = GridSeries(args, k, c.name);
    s.kind = c.name == "contour" ? plot::Kind::kContour : plot::Kind::kContourFilled;
    s.color_set = true;
    if (args.Has(k) && !args.IsText(k)) {
        const std::vector<double> v = Numbers(args, k);
        if (v.size() == 1) {
            if (!(v[0] >= 1 && v[0] <= 1000 && v[0] == std::floor(v[0])))
                args.Refuse(k, "a number of levels from 1 to 1000, or the levels");
            double lo = INFINITY, hi = -INFINITY;
            for (double t : s.z)
                if (std::isfinite(t)) lo = std::min(lo, t), hi = std::max(hi, t);
            for (int i = 1; i <= static_cast<int>(v[0]) && hi > lo; ++i)
                s.levels.push_back(lo + (hi - lo) * i / (v[0] + 1));
        } else {
            s.levels = v;
            std::sort(s.levels.begin(), s.levels.end());
        }
        ++k;
    }
    if (args.Has(k) && args.IsText(k) && !IsProperty(args.GetText(k))) {
        LineFormatOf(c.name, args.GetText(k));  // checked only: contours are not drawn with it
        ++k;
    }
    std::vector<plot::Series> series{s};
    ApplyPairs(args, k, series);
    return Place(c, Target(c), series);
}

Outs Image(const Args &args, BuiltinCall &c) {
    std::size_t numeric = 0;
    while (numeric < args.size() && !args.IsText(numeric)) ++numeric;
    if (numeric == 2) throw Error("'" + c.name + "' takes (C) or (x, y, C)");
    std::size_t k = 0;
    plot::Series s = GridSeries(args, k, c.name);
    s.kind = plot::Kind::kImage;
    s.scaled = c.name == "imagesc";
    s.color_set = true;
    std::vector<plot::Series> series{s};
    ApplyPairs(args, k, series);
    plot::Axes &a = Target(c);
    a.y_down = true;
    return Place(c, a, series);
}

Outs Quiver(const Args &args, BuiltinCall &c) {
    std::size_t numeric = 0;
    while (numeric < args.size() && !args.IsText(numeric)) ++numeric;
    if (numeric != 2 && numeric != 4) throw Error("'quiver' takes (u, v) or (x, y, u, v)");
    plot::Series s;
    s.kind = plot::Kind::kQuiver;
    const Data u = DataOf(args, numeric == 4 ? 2 : 0), v = DataOf(args, numeric == 4 ? 3 : 1);
    if (u.v.size() != v.v.size()) throw Error("'quiver': U and V must have the same size");
    s.u = u.v;
    s.v = v.v;
    if (numeric == 4) {
        const Data x = DataOf(args, 0), y = DataOf(args, 1);
        s.x = x.v;
        s.y = y.v;
        // Vectors of grid positions: expanded as meshgrid does.
        if (x.IsVector() && y.IsVector() && x.v.size() == u.cols && y.v.size() == u.rows && !u.IsVector()) {
            s.x.clear();
            s.y.clear();
            for (unsigned int j = 0; j < u.cols; ++j)
                for (unsigned int i = 0; i < u.rows; ++i) {
                    s.x.push_back(x.v[j]);
                    s.y.push_back(y.v[i]);
                }
        }
    } else {
        for (unsigned int j = 0; j < u.cols; ++j)
            for (unsigned int i = 0; i < u.rows; ++i) {
                s.x.push_back(j + 1.0);
                s.y.push_back(i + 1.0);
            }
    }
    if (s.x.size() != s.u.size() || s.y.size() != s.u.size())
        throw Error("'quiver': X, Y, U and V must have the same number of elements");
    std::vector<plot::Series> series{s};
    FormatAndPairs(args, numeric, series);
    return Place(c, Target(c), series);
}

const BuiltinEntry kEntries[] = {
    {"plot", PlotLines, 1, kAny, 1, "plot(y), plot(x, y), plot(x, y, 'r--o', x2, y2, ...), plot(..., name, value)",
     "Line plot: vectors, or matrices by columns; line formats of colour, style and marker; LineWidth, "
     "MarkerSize, DisplayName, Color."},
    {"semilogx", PlotLines, 1, kAny, 1, "semilogx(x, y, ...)", "As plot, the x-axis logarithmic."},
    {"semilogy", PlotLines, 1, kAny, 1, "semilogy(x, y, ...)", "As plot, the y-axis logarithmic."},
    {"loglog", PlotLines, 1, kAny, 1, "loglog(x, y, ...)", "As plot, both axes logarithmic."},
    {"polarplot", Polarplot, 1, kAny, 1, "polarplot(theta, rho, ...)", "Line plot in polar coordinates."},
    {"scatter", Scatter, 2, kAny, 1, "scatter(x, y), scatter(x, y, area, colour, 'filled', marker)",
     "Marks points; a colour a point goes through the colormap."},
    {"bar", Bar, 1, kAny, 1, "bar(y), bar(x, y), bar(x, y, width, colour)",
     "Vertical bars; the columns of a matrix are grouped."},
    {"barh", Bar, 1, kAny, 1, "barh(y), barh(x, y, ...)", "Horizontal bars."},
    {"histogram", Histogram, 1, kAny, 1, "histogram(x), histogram(x, nbins), histogram(x, edges)",
     "Histogram; without bins, round bin widths by Scott's rule."},
    {"hist", Hist, 1, 2, 2, "hist(y), hist(y, n), hist(y, centres), [counts, centres] = hist(...)",
     "Histogram of n (10) equal bins; with outputs, the counts and centres without a plot."},
    {"stem", Stem, 1, kAny, 1, "stem(y), stem(x, y, fmt)", "Stems from zero ending in markers."},
    {"stairs", Stairs, 1, kAny, 1, "stairs(y), stairs(x, y, fmt)", "Staircase line."},
    {"errorbar", Errorbar, 2, kAny, 1, "errorbar(y, e), errorbar(x, y, e), errorbar(x, y, neg, pos)",
     "Line with vertical error bars."},
    {"area", Area, 1, kAny, 1, "area(y), area(x, y)", "Filled area under a line; matrix columns stack."},
    {"fill", Fill, 3, kAny, 1, "fill(x, y, colour)", "Filled polygon."},
    {"pie", Pie, 1, 2, 1, "pie(x), pie(x, labels)", "Pie chart of the shares of x, labelled with percentages."},
    {"surf", Surface, 1, kAny, 1, "surf(Z), surf(X, Y, Z)", "Shaded surface coloured by height, in 3-D axes."},
    {"mesh", Surface, 1, kAny, 1, "mesh(Z), mesh(X, Y, Z)", "Wire-frame surface coloured by height."},
    {"contour", Contour, 1, kAny, 1, "contour(Z), contour(X, Y, Z), contour(..., n), contour(..., levels)",
     "Contour lines coloured by level."},
    {"contourf", Contour, 1, kAny, 1, "contourf(Z), contourf(X, Y, Z, n)", "Filled contours."},
    {"imagesc", Image, 1, kAny, 1, "imagesc(C), imagesc(x, y, C)",
     "Image of C scaled to the colormap, first row at the top."},
    {"image", Image, 1, kAny, 1, "image(C), image(x, y, C)", "Image of C as colormap indices (1-based)."},
    {"quiver", Quiver, 2, kAny, 1, "quiver(u, v), quiver(x, y, u, v)", "Arrows (u, v) at (x, y), scaled to fit."},
};

}  // namespace

Library PlotsLibrary() {
    return {"plots", "Plot types: lines, bars, histograms, surfaces, contours, images", kEntries,
            std::size(kEntries)};
}

}  // namespace mtrx
