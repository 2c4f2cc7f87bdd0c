// src/mtrx/plot/render_plplot.cpp: draws a figure of the model through
// PLplot's Cairo drivers (pngcairo, svgcairo, pdfcairo). Each call opens a
// stream of its own, draws every axes of the figure and closes it: nothing
// of PLplot outlives a call. Built as a module of its own (mtrx_plplot.so)
// that plot/render_module.cpp loads the first time a figure is written, or
// into the interpreter where modules are not built.
#include "plot/render.h"

#include <plplot/plplot.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

namespace mtrx::plot {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// cmap0 entries: 0 the background, 1 black; 2 and 3 alternate as the pen,
// so that the entry being set is never the one in use.
constexpr int kPenA = 2, kPenB = 3;
int g_pen = kPenA;

void Pen(const Color &c) {
    g_pen = g_pen == kPenA ? kPenB : kPenA;
    const auto part = [](double v) { return static_cast<PLINT>(std::lround(std::clamp(v, 0.0, 1.0) * 255)); };
    plscol0(g_pen, part(c.r), part(c.g), part(c.b));
    plcol0(g_pen);
}

void Black() { Pen({0.15, 0.15, 0.15}); }

// Line widths: points to PLplot's pen widths, which the Cairo drivers draw
// in device units of 1/72 inch scaled to the page.
void Width(double points) { plwidth(std::max(points, 0.25) * 2.2); }

void Dashes(const std::string &style) {
    // Marks and spaces in micrometres.
    if (style == "--") {
        const PLINT mark[] = {2500}, space[] = {1500};
        plstyl(1, mark, space);
    } else if (style == ":") {
        const PLINT mark[] = {500}, space[] = {1000};
        plstyl(1, mark, space);
    } else if (style == "-.") {
        const PLINT mark[] = {2500, 500}, space[] = {1000, 1000};
        plstyl(2, mark, space);
    } else {
        plstyl(0, nullptr, nullptr);
    }
}

// Text for PLplot: '#' is its escape character; ^x, ^{..}, _x and _{..}
// raise and lower as the language's text does, and a few TeX names give
// their Greek letters.
std::string Escape(const std::string &text) {
    static const struct {
        const char *name, *utf8;
    } kGreek[] = {{"alpha", "\u03b1"}, {"beta", "\u03b2"},  {"gamma", "\u03b3"}, {"delta", "\u03b4"},
                  {"epsilon", "\u03b5"}, {"theta", "\u03b8"}, {"lambda", "\u03bb"}, {"mu", "\u03bc"},
                  {"pi", "\u03c0"},    {"sigma", "\u03c3"}, {"tau", "\u03c4"},   {"phi", "\u03c6"},
                  {"omega", "\u03c9"}, {"Omega", "\u03a9"}, {"Delta", "\u0394"}, {"circ", "\u00b0"},
                  {"pm", "\u00b1"}};
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '#') {
            out += "##";
        } else if ((c == '^' || c == '_') && i + 1 < text.size()) {
            const char *up = c == '^' ? "#u" : "#d", *down = c == '^' ? "#d" : "#u";
            std::string part;
            if (text[i + 1] == '{') {
                const std::size_t close = text.find('}', i + 2);
                if (close == std::string::npos) {
                    out += c;
                    continue;
                }
                part = text.substr(i + 2, close - i - 2);
                i = close;
            } else {
                part = text.substr(i + 1, 1);
                ++i;
            }
            out += up + Escape(part) + down;
        } else if (c == '\\') {
            bool matched = false;
            for (const auto &g : kGreek) {
                const std::size_t n = std::strlen(g.name);
                if (text.compare(i + 1, n, g.name) == 0 &&
                    (i + 1 + n >= text.size() || !std::isalpha(static_cast<unsigned char>(text[i + 1 + n])))) {
                    out += g.utf8;
                    i += n;
                    matched = true;
                    break;
                }
            }
            if (!matched) out += c;
        } else {
            out += c;
        }
    }
    return out;
}

std::string TickLabel(double v, bool log) {
    char buffer[64];
    if (log) {
        if (std::fabs(v - std::round(v)) < 1e-9) {
            std::snprintf(buffer, sizeof buffer, "10#u%d#d", static_cast<int>(std::round(v)));
            return buffer;
        }
        v = std::pow(10.0, v);
    }
    std::snprintf(buffer, sizeof buffer, "%.6g", v);
    return buffer;
}

// The range of finite values, or nullopt-like {NaN, NaN}.
struct Range {
    double lo = kNaN, hi = kNaN;
    void Add(double v) {
        if (!std::isfinite(v)) return;
        if (!(lo <= v)) lo = v;
        if (!(hi >= v)) hi = v;
    }
    bool Empty() const { return std::isnan(lo); }
};

double Log(double v, bool log) {
    if (!log) return v;
    return v > 0 ? std::log10(v) : kNaN;
}

// The spacing of bars: the least gap between successive positions.
double BarSpacing(const std::vector<double> &x) {
    double gap = std::numeric_limits<double>::infinity();
    for (std::size_t i = 1; i < x.size(); ++i) {
        const double d = std::fabs(x[i] - x[i - 1]);
        if (d > 0 && d < gap) gap = d;
    }
    return std::isfinite(gap) ? gap : 1.0;
}

// The factor of a quiver's arrows: the longest spans nine tenths of the
// spacing of the points.
double QuiverScale(const Series &s) {
    double longest = 0;
    for (std::size_t i = 0; i < s.u.size(); ++i) {
        const double len = std::hypot(s.u[i], s.v[i]);
        if (std::isfinite(len)) longest = std::max(longest, len);
    }
    if (!(longest > 0)) return 0;
    return 0.9 * std::min(BarSpacing(s.x), BarSpacing(s.y)) / longest;
}

struct Limits2D {
    double x0, x1, y0, y1;
};

// Data limits of an axes' series, in the axes' (logarithmic) coordinates.
void DataRanges(const Axes &a, Range &x, Range &y, Range &z) {
    for (const Series &s : a.series) {
        switch (s.kind) {
        case Kind::kBar: {
            const double w = s.bar_width * BarSpacing(s.x) / 2;
            Range &pos = s.horizontal ? y : x;
            Range &val = s.horizontal ? x : y;
            for (std::size_t i = 0; i < s.x.size(); ++i) {
                pos.Add(Log(s.x[i] - w, s.horizontal ? a.ylog : a.xlog));
                pos.Add(Log(s.x[i] + w, s.horizontal ? a.ylog : a.xlog));
                val.Add(Log(s.y[i], s.horizontal ? a.xlog : a.ylog));
            }
            val.Add(Log(s.base, s.horizontal ? a.xlog : a.ylog));
            break;
        }
        case Kind::kImage:
            x.Add(s.x.front() - 0.5 * (s.cols > 1 ? (s.x.back() - s.x.front()) / (s.cols - 1) : 1));
            x.Add(s.x.back() + 0.5 * (s.cols > 1 ? (s.x.back() - s.x.front()) / (s.cols - 1) : 1));
            y.Add(s.y.front() - 0.5 * (s.rows > 1 ? (s.y.back() - s.y.front()) / (s.rows - 1) : 1));
            y.Add(s.y.back() + 0.5 * (s.rows > 1 ? (s.y.back() - s.y.front()) / (s.rows - 1) : 1));
            for (double v : s.z) z.Add(v);
            break;
        case Kind::kSurface:
        case Kind::kMesh:
        case Kind::kContour:
        case Kind::kContourFilled:
            for (double v : s.x) x.Add(Log(v, a.xlog));
            for (double v : s.y) y.Add(Log(v, a.ylog));
            for (double v : s.z) z.Add(v);
            break;
        case Kind::kErrorBar:
            for (std::size_t i = 0; i < s.x.size(); ++i) {
                x.Add(Log(s.x[i], a.xlog));
                y.Add(Log(s.y[i] - s.u[i], a.ylog));
                y.Add(Log(s.y[i] + s.v[i], a.ylog));
            }
            break;
        case Kind::kQuiver: {
            const double scale = QuiverScale(s);
            for (std::size_t i = 0; i < s.x.size(); ++i) {
                x.Add(s.x[i]);
                y.Add(s.y[i]);
                x.Add(s.x[i] + s.u[i] * scale);
                y.Add(s.y[i] + s.v[i] * scale);
            }
            break;
        }
        default:
            for (double v : s.x) x.Add(Log(v, a.xlog));
            for (double v : s.y) y.Add(Log(v, a.ylog));
            if (s.kind == Kind::kStem || s.kind == Kind::kArea) y.Add(Log(s.base, a.ylog));
            break;
        }
    }
}

// The limits of one axis: set ones as given, else from the data, widened to
// round ticks unless tight.
void AxisLimits(const std::optional<std::vector<double>> &set, bool log, bool tight, Range data,
                double &lo, double &hi) {
    if (set) {
        lo = Log((*set)[0], log);
        hi = Log((*set)[1], log);
        if (std::isfinite(lo) && std::isfinite(hi) && lo < hi) return;
    }
    if (data.Empty()) data = {0, 1};
    lo = data.lo;
    hi = data.hi;
    if (log && tight && hi > lo) return;
    if (log) {
        lo = std::floor(lo);
        hi = std::ceil(hi);
        if (!(hi > lo)) hi = lo + 1;
        return;
    }
    if (tight && hi > lo) return;
    NiceLimits(lo, hi);
    if (!(std::isfinite(lo) && std::isfinite(hi) && lo < hi)) {
        lo = -1;
        hi = 1;
    }
}

std::vector<double> AxisTicks(const std::optional<std::vector<double>> &set, bool log, double lo,
                              double hi, int most) {
    std::vector<double> out;
    if (set) {
        for (double t : *set) {
            const double v = Log(t, log);
            if (v >= lo - 1e-12 * (hi - lo) && v <= hi + 1e-12 * (hi - lo)) out.push_back(v);
        }
        return out;
    }
    if (log && hi - lo >= 1) {
        const double step = std::ceil((hi - lo) / most);
        for (double k = std::ceil(lo); k <= hi + 1e-9; k += step) out.push_back(k);
        return out;
    }
    return NiceTicks(lo, hi, most);
}

// The part of the figure an axes takes, in normalised page coordinates:
// its subplot cell less margins for tick labels, labels and title.
struct Box {
    double x0, x1, y0, y1;
};

Box AxesBox(const Axes &a) {
    const double w = 1.0 / a.grid_cols, h = 1.0 / a.grid_rows;
    const unsigned int col = (a.cell - 1) % a.grid_cols, row = (a.cell - 1) / a.grid_cols;
    const double cx = col * w, cy = 1.0 - (row + 1) * h;
    Box b{cx + w * 0.085 + 0.045, cx + w - (w * 0.075 + 0.02), cy + h * 0.06 + 0.05,
          cy + h - (h * 0.035 + 0.04)};
    if (a.colorbar) b.x1 -= (b.x1 - b.x0) * 0.12;
    // A legend outside takes the right part of the axes' place.
    if (a.legend && a.legend_place == LegendPlace::kOutside) b.x1 -= (b.x1 - b.x0) * 0.25;
    return b;
}

void TextAt(double x, double y, double just, const std::string &text) {
    plptex(x, y, 1, 0, just, Escape(text).c_str());
}

// The points of a legend's candidate places that series data fall in, to
// keep the legend off the data where it can be.
LegendPlace BestPlace(const Axes &a, const Limits2D &l, double w, double h) {
    const LegendPlace places[] = {LegendPlace::kNorthEast, LegendPlace::kNorthWest,
                                  LegendPlace::kSouthWest, LegendPlace::kSouthEast};
    std::size_t best = 0, fewest = std::numeric_limits<std::size_t>::max();
    for (std::size_t p = 0; p < 4; ++p) {
        const bool east = p == 0 || p == 3, north = p < 2;
        const double bx0 = east ? 1 - w : 0, by0 = north ? 1 - h : 0;
        std::size_t count = 0;
        for (const Series &s : a.series)
            for (std::size_t i = 0; i < s.x.size() && i < s.y.size(); ++i) {
                const double px = (Log(s.x[i], a.xlog) - l.x0) / (l.x1 - l.x0);
                const double py = (Log(s.y[i], a.ylog) - l.y0) / (l.y1 - l.y0);
                if (px >= bx0 && px <= bx0 + w && py >= by0 && py <= by0 + h) ++count;
                // Segments crossing the box count through their midpoints.
                if (i > 0 && s.kind == Kind::kLine) {
                    const double qx = ((Log(s.x[i - 1], a.xlog) - l.x0) / (l.x1 - l.x0) + px) / 2;
                    const double qy = ((Log(s.y[i - 1], a.ylog) - l.y0) / (l.y1 - l.y0) + py) / 2;
                    if (qx >= bx0 && qx <= bx0 + w && qy >= by0 && qy <= by0 + h) ++count;
                }
            }
        if (count < fewest) {
            fewest = count;
            best = p;
        }
    }
    return places[best];
}

// World units a millimetre of the page spans, along x and along y.
void WorldPerMm(double &wx, double &wy) {
    PLFLT sx0, sx1, sy0, sy1, vx0, vx1, vy0, vy1, x0, x1, y0, y1;
    plgspa(&sx0, &sx1, &sy0, &sy1);
    plgvpd(&vx0, &vx1, &vy0, &vy1);
    plgvpw(&x0, &x1, &y0, &y1);
    wx = (x1 - x0) / ((vx1 - vx0) * (sx1 - sx0));
    wy = (y1 - y0) / ((vy1 - vy0) * (sy1 - sy0));
}

// A filled marker: a polygon of the marker's shape, `size` points across.
void FilledMarker(char marker, double x, double y, double size) {
    double wx, wy;
    WorldPerMm(wx, wy);
    const double r = size * 25.4 / 72 / 2;
    std::vector<double> xs, ys;
    const auto corner = [&](double angle, double radius) {
        xs.push_back(x + radius * r * wx * std::cos(angle));
        ys.push_back(y + radius * r * wy * std::sin(angle));
    };
    if (marker == 's') {
        for (int k = 0; k < 4; ++k) corner(M_PI / 4 + k * M_PI / 2, std::sqrt(2.0) * 0.8);
    } else if (marker == 'd') {
        for (int k = 0; k < 4; ++k) corner(k * M_PI / 2, 1.1);
    } else if (marker == '^' || marker == 'v') {
        for (int k = 0; k < 3; ++k) corner((marker == '^' ? M_PI / 2 : -M_PI / 2) + k * 2 * M_PI / 3, 1.1);
    } else {
        for (int k = 0; k < 20; ++k) corner(k * M_PI / 10, 1.0);
    }
    plfill(static_cast<PLINT>(xs.size()), xs.data(), ys.data());
}

void Marker(char marker, double x, double y, double size) {
    plssym(0, size / 6.0 * 0.9);
    int code = 0;
    switch (marker) {
    case 'o': code = 4; break;
    case '+': code = 2; break;
    case '*': code = 3; break;
    case '.': code = 17; break;
    case 'x': code = 5; break;
    case 's': code = 6; break;
    case 'd': code = 11; break;
    case '^': code = 7; break;
    case 'p': code = 12; break;
    case 'h': code = 15; break;
    default: break;
    }
    if (code != 0) {
        plpoin(1, &x, &y, code);
        return;
    }
    const char *glyph = marker == 'v' ? "\u25bd" : marker == '<' ? "\u25c1" : "\u25b7";
    plstring(1, &x, &y, glyph);
}

void SampleLine(const Series &s, double x0, double x1, double y) {
    Pen(s.color);
    if (s.kind == Kind::kBar || s.kind == Kind::kArea || s.kind == Kind::kFill) {
        const double xs[] = {x0, x1, x1, x0}, ys[] = {y - 0.02, y - 0.02, y + 0.02, y + 0.02};
        plfill(4, xs, ys);
        return;
    }
    Width(s.line_width);
    if (s.line_style != "none") {
        Dashes(s.line_style);
        pljoin(x0, y, x1, y);
        Dashes("-");
    }
    if (s.marker != 0) Marker(s.marker, (x0 + x1) / 2, y, s.marker_size);
}

void DrawLegend(const Axes &a, const Limits2D &l) {
    std::vector<const Series *> entries;
    for (const Series &s : a.series)
        if (!s.name.empty()) entries.push_back(&s);
    if (entries.empty()) return;
    PLFLT def, ht;
    plgchr(&def, &ht);
    PLFLT sx0, sx1, sy0, sy1, vx0, vx1, vy0, vy1;
    plgspa(&sx0, &sx1, &sy0, &sy1);
    plgvpd(&vx0, &vx1, &vy0, &vy1);
    const double wmm = (vx1 - vx0) * (sx1 - sx0), hmm = (vy1 - vy0) * (sy1 - sy0);
    std::size_t longest = 0;
    for (const Series *s : entries) longest = std::max(longest, s->name.size());
    const double row = ht * 1.9 / hmm;
    const double sample = 7.0 / wmm, pad = 1.5 / wmm;
    const double w = pad * 3 + sample + longest * ht * 0.62 / wmm, h = row * entries.size() + row * 0.4;
    LegendPlace place = a.legend_place;
    if (place == LegendPlace::kBest) place = BestPlace(a, l, w + 0.04, h + 0.04);
    const bool east = place == LegendPlace::kNorthEast || place == LegendPlace::kSouthEast ||
                      place == LegendPlace::kOutside;
    const bool north = place != LegendPlace::kSouthEast && place != LegendPlace::kSouthWest;
    double x0 = east ? 1 - 0.02 - w : 0.02, y1 = north ? 1 - 0.02 : 0.02 + h;
    if (place == LegendPlace::kOutside) {
        // PLplot clips to the viewport: the legend gets one of its own in
        // the margin the axes left, in units of the axes' width.
        plvpor(vx1 + (vx1 - vx0) * 0.02, std::min(0.995, vx1 + (vx1 - vx0) * (0.02 + w)), vy0, vy1);
        plwind(0, w, 0, 1);
        x0 = 0;
        y1 = 1;
    } else {
        plwind(0, 1, 0, 1);
    }
    const double bx[] = {x0, x0 + w, x0 + w, x0, x0}, by[] = {y1 - h, y1 - h, y1, y1, y1 - h};
    Pen({1, 1, 1});
    plfill(4, bx, by);
    Pen({0.15, 0.15, 0.15});
    Width(0.5);
    plline(5, bx, by);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const double y = y1 - row * (i + 0.7);
        SampleLine(*entries[i], x0 + pad, x0 + pad + sample, y);
        Black();
        TextAt(x0 + 2 * pad + sample, y, 0, entries[i]->name);
    }
}

void SetColormap(const std::vector<Color> &map) {
    std::vector<PLINT> r, g, b;
    for (const Color &c : map) {
        r.push_back(static_cast<PLINT>(std::lround(std::clamp(c.r, 0.0, 1.0) * 255)));
        g.push_back(static_cast<PLINT>(std::lround(std::clamp(c.g, 0.0, 1.0) * 255)));
        b.push_back(static_cast<PLINT>(std::lround(std::clamp(c.b, 0.0, 1.0) * 255)));
    }
    plscmap1n(static_cast<PLINT>(map.size()));
    plscmap1(r.data(), g.data(), b.data(), static_cast<PLINT>(map.size()));
}

// A grid's values as PLplot's z[ix][iy] (x along columns).
struct Grid {
    std::vector<double> values;
    std::vector<const double *> rows;
    Grid(const Series &s, bool clamp_nan, double fill) {
        values.resize(static_cast<std::size_t>(s.rows) * s.cols);
        for (unsigned int j = 0; j < s.cols; ++j)
            for (unsigned int i = 0; i < s.rows; ++i) {
                double v = s.z[i + static_cast<std::size_t>(j) * s.rows];
                if (clamp_nan && !std::isfinite(v)) v = fill;
                values[static_cast<std::size_t>(j) * s.rows + i] = v;
            }
        for (unsigned int j = 0; j < s.cols; ++j) rows.push_back(values.data() + static_cast<std::size_t>(j) * s.rows);
    }
};

std::vector<double> ContourLevels(const Series &s, const Range &z) {
    if (!s.levels.empty()) return s.levels;
    if (z.Empty() || !(z.hi > z.lo)) return {};
    std::vector<double> t = NiceTicks(z.lo, z.hi, 12);
    t.erase(std::remove_if(t.begin(), t.end(), [&](double v) { return v <= z.lo || v >= z.hi; }), t.end());
    return t;
}

void DrawSeries2D(const Figure &f, const Axes &a, const Series &s, const Limits2D &l, const Range &zr) {
    const auto tx = [&](double v) { return Log(v, a.xlog); };
    const auto ty = [&](double v) { return Log(v, a.ylog); };
    Width(s.line_width);
    switch (s.kind) {
    case Kind::kLine:
    case Kind::kErrorBar: {
        Pen(s.color);
        if (s.line_style != "none") {
            Dashes(s.line_style);
            std::vector<double> xs, ys;
            const auto flush = [&] {
                if (xs.size() > 1) plline(static_cast<PLINT>(xs.size()), xs.data(), ys.data());
                xs.clear();
                ys.clear();
            };
            for (std::size_t i = 0; i < s.x.size(); ++i) {
                const double x = tx(s.x[i]), y = ty(s.y[i]);
                if (std::isfinite(x) && std::isfinite(y)) {
                    xs.push_back(x);
                    ys.push_back(y);
                } else {
                    flush();
                }
            }
            flush();
            Dashes("-");
        }
        if (s.marker != 0)
            for (std::size_t i = 0; i < s.x.size(); ++i) {
                const double x = tx(s.x[i]), y = ty(s.y[i]);
                if (!(std::isfinite(x) && std::isfinite(y))) continue;
                if (s.filled_marker)
                    FilledMarker(s.marker, x, y, s.marker_size);
                else
                    Marker(s.marker, x, y, s.marker_size);
            }
        if (s.kind == Kind::kErrorBar) {
            const double cap = (l.x1 - l.x0) * 0.01;
            for (std::size_t i = 0; i < s.x.size(); ++i) {
                const double x = tx(s.x[i]), lo = ty(s.y[i] - s.u[i]), hi = ty(s.y[i] + s.v[i]);
                if (!(std::isfinite(x) && std::isfinite(lo) && std::isfinite(hi))) continue;
                pljoin(x, lo, x, hi);
                pljoin(x - cap, lo, x + cap, lo);
                pljoin(x - cap, hi, x + cap, hi);
            }
        }
        break;
    }
    case Kind::kBar: {
        const double w = s.bar_width * BarSpacing(s.x) / 2;
        for (std::size_t i = 0; i < s.x.size(); ++i) {
            double p0 = s.x[i] - w, p1 = s.x[i] + w, v0 = s.base, v1 = s.y[i];
            if (s.horizontal) {
                p0 = ty(p0), p1 = ty(p1), v0 = tx(v0), v1 = tx(v1);
            } else {
                p0 = tx(p0), p1 = tx(p1), v0 = ty(v0), v1 = ty(v1);
            }
            if (!(std::isfinite(p0) && std::isfinite(p1) && std::isfinite(v1))) continue;
            if (!std::isfinite(v0)) v0 = s.horizontal ? l.x0 : l.y0;
            double xs[] = {p0, p1, p1, p0, p0}, ys[] = {v0, v0, v1, v1, v0};
            if (s.horizontal) std::swap(xs, ys);
            Pen(s.color);
            plfill(4, xs, ys);
            Pen({0.15, 0.15, 0.15});
            Width(0.5);
            plline(5, xs, ys);
        }
        break;
    }
    case Kind::kStem: {
        Pen(s.color);
        for (std::size_t i = 0; i < s.x.size(); ++i) {
            const double x = tx(s.x[i]), y = ty(s.y[i]);
            if (!(std::isfinite(x) && std::isfinite(y))) continue;
            pljoin(x, ty(s.base), x, y);
            Marker(s.marker != 0 ? s.marker : 'o', x, y, s.marker_size);
        }
        break;
    }
    case Kind::kArea:
    case Kind::kFill: {
        std::vector<double> xs, ys;
        for (std::size_t i = 0; i < s.x.size(); ++i) {
            const double x = tx(s.x[i]), y = ty(s.y[i]);
            if (std::isfinite(x) && std::isfinite(y)) {
                xs.push_back(x);
                ys.push_back(y);
            }
        }
        if (s.kind == Kind::kArea && !xs.empty()) {
            const double b = std::isfinite(ty(s.base)) ? ty(s.base) : l.y0;
            xs.push_back(xs.back());
            ys.push_back(b);
            xs.push_back(xs.front());
            ys.push_back(b);
        }
        if (xs.size() < 3) break;
        Pen(s.color);
        plfill(static_cast<PLINT>(xs.size()), xs.data(), ys.data());
        xs.push_back(xs.front());
        ys.push_back(ys.front());
        Pen({0.15, 0.15, 0.15});
        Width(0.5);
        plline(static_cast<PLINT>(xs.size()), xs.data(), ys.data());
        break;
    }
    case Kind::kContour:
    case Kind::kContourFilled: {
        if (s.rows < 2 || s.cols < 2) break;
        const std::vector<double> levels = ContourLevels(s, zr);
        Grid grid(s, s.kind == Kind::kContourFilled, zr.Empty() ? 0 : zr.lo);
        std::vector<double> xg(s.x), yg(s.y);
        for (double &v : xg) v = tx(v);
        for (double &v : yg) v = ty(v);
        PLcGrid cgrid{xg.data(), yg.data(), nullptr, static_cast<PLINT>(s.cols), static_cast<PLINT>(s.rows), 0};
        if (s.kind == Kind::kContourFilled) {
            std::vector<double> edges;
            edges.push_back(zr.lo);
            for (double v : levels) edges.push_back(v);
            edges.push_back(zr.hi);
            if (edges.size() < 2 || !(zr.hi > zr.lo)) break;
            SetColormap(f.colormap);
            plshades(grid.rows.data(), static_cast<PLINT>(s.cols), static_cast<PLINT>(s.rows), nullptr,
                     xg.front(), xg.back(), yg.front(), yg.back(), edges.data(),
                     static_cast<PLINT>(edges.size()), 1, 1, 0.5, plfill, false, pltr1, &cgrid);
        } else {
            for (double level : levels) {
                const double t = zr.hi > zr.lo ? (level - zr.lo) / (zr.hi - zr.lo) : 0.5;
                const std::size_t k = std::min(f.colormap.size() - 1,
                                               static_cast<std::size_t>(t * (f.colormap.size() - 1) + 0.5));
                Pen(f.colormap[k]);
                plcont(grid.rows.data(), static_cast<PLINT>(s.cols), static_cast<PLINT>(s.rows), 1,
                       static_cast<PLINT>(s.cols), 1, static_cast<PLINT>(s.rows), &level, 1, pltr1, &cgrid);
            }
        }
        break;
    }
    case Kind::kImage: {
        if (s.rows == 0 || s.cols == 0) break;
        const std::size_t n = f.colormap.size();
        const double dx = s.cols > 1 ? (s.x.back() - s.x.front()) / (s.cols - 1) : 1;
        const double dy = s.rows > 1 ? (s.y.back() - s.y.front()) / (s.rows - 1) : 1;
        for (unsigned int j = 0; j < s.cols; ++j)
            for (unsigned int i = 0; i < s.rows; ++i) {
                const double v = s.z[i + static_cast<std::size_t>(j) * s.rows];
                if (!std::isfinite(v)) continue;
                double t;
                if (s.scaled) {
                    t = zr.hi > zr.lo ? (v - zr.lo) / (zr.hi - zr.lo) : 0.5;
                    t = std::clamp(t * (n - 1) + 0.5, 0.0, static_cast<double>(n - 1));
                } else {
                    t = std::clamp(std::floor(v) - 1, 0.0, static_cast<double>(n - 1));
                }
                Pen(f.colormap[static_cast<std::size_t>(t)]);
                const double x = s.x.front() + j * dx, y = s.y.front() + i * dy;
                const double xs[] = {x - dx / 2, x + dx / 2, x + dx / 2, x - dx / 2};
                const double ys[] = {y - dy / 2, y - dy / 2, y + dy / 2, y + dy / 2};
                plfill(4, xs, ys);
            }
        break;
    }
    case Kind::kQuiver: {
        Pen(s.color);
        const double scale = QuiverScale(s);
        if (!(scale > 0)) break;
        for (std::size_t i = 0; i < s.x.size(); ++i) {
            const double x = s.x[i], y = s.y[i], dx = s.u[i] * scale, dy = s.v[i] * scale;
            if (!(std::isfinite(x + y + dx + dy))) continue;
            pljoin(x, y, x + dx, y + dy);
            const double len = std::hypot(dx, dy), head = len * 0.3;
            if (len == 0) continue;
            const double ux = dx / len, uy = dy / len;
            pljoin(x + dx, y + dy, x + dx - head * (ux * 0.87 - uy * 0.5), y + dy - head * (uy * 0.87 + ux * 0.5));
            pljoin(x + dx, y + dy, x + dx - head * (ux * 0.87 + uy * 0.5), y + dy - head * (uy * 0.87 - ux * 0.5));
        }
        break;
    }
    case Kind::kText: {
        Pen(s.color);
        const double x = tx(s.x[0]), y = ty(s.y[0]);
        if (std::isfinite(x) && std::isfinite(y)) TextAt(x, y, 0, s.text);
        break;
    }
    default:
        break;
    }
}

void DrawTicks(const Axes &a, const Limits2D &l, const std::vector<double> &xt, const std::vector<double> &yt) {
    PLFLT sx0, sx1, sy0, sy1, vx0, vx1, vy0, vy1;
    plgspa(&sx0, &sx1, &sy0, &sy1);
    plgvpd(&vx0, &vx1, &vy0, &vy1);
    const double wmm = (vx1 - vx0) * (sx1 - sx0), hmm = (vy1 - vy0) * (sy1 - sy0);
    const double tick_mm = 1.6;
    const double tx = (l.y1 - l.y0) * tick_mm / hmm, ty = (l.x1 - l.x0) * tick_mm / wmm;
    Black();
    Width(0.5);
    for (double t : xt) {
        pljoin(t, l.y0, t, l.y0 + tx);
        pljoin(t, l.y1, t, l.y1 - tx);
        plmtex("b", 1.3, (t - l.x0) / (l.x1 - l.x0), 0.5, TickLabel(t, a.xlog).c_str());
    }
    for (double t : yt) {
        pljoin(l.x0, t, l.x0 + ty, t);
        pljoin(l.x1, t, l.x1 - ty, t);
        plmtex("lv", 0.6, (t - l.y0) / (l.y1 - l.y0), 1.0, TickLabel(t, a.ylog).c_str());
    }
}

double LongestLabel(const std::vector<double> &ticks, bool log) {
    std::size_t longest = 1;
    for (double t : ticks) {
        const std::string s = TickLabel(t, log);
        longest = std::max(longest, s.find('#') != std::string::npos ? s.size() - 2 : s.size());
    }
    return static_cast<double>(longest);
}

void DrawColorbar(const Figure &f, const Box &box, const Range &z) {
    if (z.Empty()) return;
    const double lo = z.lo, hi = z.hi > z.lo ? z.hi : z.lo + 1;
    const double width = box.x1 - box.x0;
    plvpor(box.x1 + width * 0.04, box.x1 + width * 0.04 + std::max(0.02, width * 0.045), box.y0, box.y1);
    plwind(0, 1, lo, hi);
    const std::size_t n = f.colormap.size();
    for (std::size_t k = 0; k < n; ++k) {
        const double y0 = lo + (hi - lo) * k / n, y1 = lo + (hi - lo) * (k + 1) / n;
        const double xs[] = {0, 1, 1, 0}, ys[] = {y0, y0, y1, y1};
        Pen(f.colormap[k]);
        plfill(4, xs, ys);
    }
    Black();
    Width(0.5);
    plbox("bc", 0, 0, "bc", 0, 0);
    for (double t : NiceTicks(lo, hi, 6)) {
        pljoin(0.75, t, 1, t);
        plmtex("rv", 0.5, (t - lo) / (hi - lo), 0.0, TickLabel(t, false).c_str());
    }
}

// The circles of a polar axes at round radii up to `r`, the outer one at
// least the data's, and spokes every 30 degrees, labelled outside it.
void DrawPolarGrid(double r) {
    Pen({0.8, 0.8, 0.8});
    Width(0.5);
    std::vector<double> cx, cy;
    for (double t : NiceTicks(0, r, 4)) {
        if (t <= 0) continue;
        cx.clear();
        cy.clear();
        for (int k = 0; k <= 180; ++k) {
            cx.push_back(t * std::cos(k * M_PI / 90));
            cy.push_back(t * std::sin(k * M_PI / 90));
        }
        plline(static_cast<PLINT>(cx.size()), cx.data(), cy.data());
        Black();
        plptex(t * std::cos(M_PI / 12), t * std::sin(M_PI / 12), 1, 0, 0, TickLabel(t, false).c_str());
        Pen({0.8, 0.8, 0.8});
    }
    for (int deg = 0; deg < 360; deg += 30) {
        const double c = std::cos(deg * M_PI / 180), s = std::sin(deg * M_PI / 180);
        pljoin(0, 0, r * c, r * s);
        Black();
        char label[16];
        std::snprintf(label, sizeof label, "%d\u00b0", deg);
        plptex(r * 1.12 * c, r * 1.12 * s - r * 0.03, 1, 0, 0.5, label);
        Pen({0.8, 0.8, 0.8});
    }
}

void DrawAxes3D(const Figure &f, const Axes &a, const Box &box) {
    Range xr, yr, zr;
    DataRanges(a, xr, yr, zr);
    double x0, x1, y0, y1, z0, z1;
    AxisLimits(a.xlim, false, a.tight, xr, x0, x1);
    AxisLimits(a.ylim, false, a.tight, yr, y0, y1);
    AxisLimits(a.zlim, false, a.tight, zr, z0, z1);
    // A square viewport in the middle of the place, so that the box keeps
    // its shape in a wide or a tall subplot.
    PLFLT sx0, sx1, sy0, sy1;
    plgspa(&sx0, &sx1, &sy0, &sy1);
    const double side = std::min((box.x1 - box.x0) * (sx1 - sx0), (box.y1 - box.y0) * (sy1 - sy0));
    const double cx = (box.x0 + box.x1) / 2, cy = (box.y0 + box.y1) / 2;
    const double hw = side / (sx1 - sx0) / 2, hh = side / (sy1 - sy0) / 2;
    plvpor(cx - hw, cx + hw, cy - hh, cy + hh);
    // The box seen from any angle fits the viewport with room for its labels.
    plwind(-1.05, 1.05, -0.85, 1.25);
    plsxax(4, 0);
    plsyax(4, 0);
    plszax(4, 0);
    // Both azimuths start from the -y side: ours turns the viewpoint
    // counterclockwise seen from above, PLplot's clockwise.
    plw3d(1.0, 1.0, 0.9, x0, x1, y0, y1, z0, z1, a.elevation, -a.azimuth);
    Black();
    Width(0.5);
    const auto step = [](double lo, double hi) {
        const std::vector<double> t = NiceTicks(lo, hi, 4);
        return t.size() > 1 ? t[1] - t[0] : 0.0;
    };
    plbox3("bnstu", Escape(a.xlabel).c_str(), step(x0, x1), 0, "bnstu", Escape(a.ylabel).c_str(),
           step(y0, y1), 0, "bcdmnstuv", Escape(a.zlabel).c_str(), step(z0, z1), 0);
    SetColormap(f.colormap);
    for (const Series &s : a.series) {
        if ((s.kind != Kind::kSurface && s.kind != Kind::kMesh) || s.rows < 2 || s.cols < 2) {
            if (s.kind == Kind::kLine) {
                // plot3 is not drawn through this path.
            }
            continue;
        }
        Grid grid(s, true, zr.Empty() ? 0 : zr.lo);
        if (s.kind == Kind::kSurface) {
            Pen({0.1, 0.1, 0.1});
            plsurf3d(s.x.data(), s.y.data(), grid.rows.data(), static_cast<PLINT>(s.cols),
                     static_cast<PLINT>(s.rows), MAG_COLOR | FACETED, nullptr, 0);
        } else {
            plmeshc(s.x.data(), s.y.data(), grid.rows.data(), static_cast<PLINT>(s.cols),
                    static_cast<PLINT>(s.rows), MAG_COLOR | DRAW_LINEXY, nullptr, 0);
        }
    }
    if (!a.title.empty()) {
        Black();
        plmtex("t", 1.0, 0.5, 0.5, Escape(a.title).c_str());
    }
    if (a.colorbar) DrawColorbar(f, box, zr);
}

void DrawAxes(const Figure &f, const Axes &a) {
    Box box = AxesBox(a);
    if (a.three_d) {
        DrawAxes3D(f, a, box);
        return;
    }
    Range xr, yr, zr;
    DataRanges(a, xr, yr, zr);
    Limits2D l{};
    const bool tight = a.tight || a.y_down;
    AxisLimits(a.xlim, a.xlog, tight, xr, l.x0, l.x1);
    AxisLimits(a.ylim, a.ylog, tight, yr, l.y0, l.y1);
    double polar_radius = 1;
    if (a.polar) {
        // The data's radius, widened to a round one; the labels outside.
        double r = 0;
        for (const Series &s : a.series)
            for (std::size_t i = 0; i < s.x.size() && i < s.y.size(); ++i) {
                const double d = std::hypot(s.x[i], s.y[i]);
                if (std::isfinite(d)) r = std::max(r, d);
            }
        if (!(r > 0)) r = 1;
        const std::vector<double> t = NiceTicks(0, r, 4);
        polar_radius = t.size() > 1 && t.back() >= r ? t.back() : r;
        const double outer = polar_radius * 1.3;
        l = {-outer, outer, -outer, outer};
    }
    if (a.equal || a.square || a.polar) {
        const double aspect = a.square ? 1.0 : (l.y1 - l.y0) / (l.x1 - l.x0);
        // Page millimetres: the viewport is fitted inside the box.
        PLFLT sx0, sx1, sy0, sy1;
        plgspa(&sx0, &sx1, &sy0, &sy1);
        const double bw = (box.x1 - box.x0) * (sx1 - sx0), bh = (box.y1 - box.y0) * (sy1 - sy0);
        double w = bw, h = bw * aspect;
        if (h > bh) {
            h = bh;
            w = bh / aspect;
        }
        const double cx = (box.x0 + box.x1) / 2, cy = (box.y0 + box.y1) / 2;
        const double hw = w / (sx1 - sx0) / 2, hh = h / (sy1 - sy0) / 2;
        box = {cx - hw, cx + hw, cy - hh, cy + hh};
    }
    plvpor(box.x0, box.x1, box.y0, box.y1);
    if (a.y_down)
        plwind(l.x0, l.x1, l.y1, l.y0);
    else
        plwind(l.x0, l.x1, l.y0, l.y1);
    Limits2D shown = l;
    if (a.y_down) std::swap(shown.y0, shown.y1);
    const std::vector<double> xt = AxisTicks(a.xticks, a.xlog, l.x0, l.x1, a.grid_cols > 2 ? 4 : 7);
    const std::vector<double> yt = AxisTicks(a.yticks, a.ylog, l.y0, l.y1, a.grid_rows > 2 ? 4 : 7);
    if (a.polar) DrawPolarGrid(polar_radius);
    if (a.grid && a.visible && !a.polar) {
        Pen({0.85, 0.85, 0.85});
        Width(0.5);
        for (double t : xt) pljoin(t, l.y0, t, l.y1);
        for (double t : yt) pljoin(l.x0, t, l.x1, t);
    }
    for (const Series &s : a.series) DrawSeries2D(f, a, s, l, zr);
    Dashes("-");
    if (a.visible && !a.polar) {
        Black();
        Width(0.5);
        plbox("bc", 0, 0, "bc", 0, 0);
        DrawTicks(a, shown, xt, yt);
        if (!a.xlabel.empty()) plmtex("b", 2.8, 0.5, 0.5, Escape(a.xlabel).c_str());
        if (!a.ylabel.empty())
            plmtex("l", 1.3 + LongestLabel(yt, a.ylog) * 0.62, 0.5, 0.5, Escape(a.ylabel).c_str());
    }
    if (!a.title.empty()) {
        Black();
        plmtex("t", a.polar ? 2.0 : 1.0, 0.5, 0.5, Escape(a.title).c_str());
    }
    if (a.legend) {
        plvpor(box.x0, box.x1, box.y0, box.y1);
        DrawLegend(a, l);
    }
    if (a.colorbar) DrawColorbar(f, box, zr);
}

bool HasDevice(const char *name) {
    // plgDevs fills arrays the caller gives, count in and out.
    constexpr int kMostDevices = 256;
    std::vector<const char *> menu(kMostDevices), devices(kMostDevices);
    int count = kMostDevices;
    const char **menu_at = menu.data(), **devices_at = devices.data();
    plgDevs(&menu_at, &devices_at, &count);
    for (int k = 0; k < count && k < kMostDevices; ++k)
        if (devices[k] != nullptr && std::strcmp(devices[k], name) == 0) return true;
    return false;
}

void Draw(const Figure &figure, const std::string &path, Format format, double dpi) {
    // SVG through PLplot's own driver, which writes text as text (Cairo's writes
    // glyph outlines).
    const char *device = format == Format::kPng ? "pngcairo" : format == Format::kSvg ? "svg" : "pdfcairo";
    if (!HasDevice(device))
        throw std::runtime_error(std::string("PLplot has no '") + device +
                                 "' device (install its Cairo driver, plplot-driver-cairo)");
    // PLplot ends the process when it cannot open a file: the file is
    // opened here, and PLplot closes it when the stream ends.
    std::FILE *file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) throw std::runtime_error("cannot write to '" + path + "'");
    if (!(dpi >= 10 && dpi <= 1200)) dpi = 100;
    PLINT stream = 0;
    plmkstrm(&stream);
    plsdev(device);
    plsfile(file);
    // Vector pictures get the page in points; PNGs in pixels at dpi.
    const double scale = format == Format::kPng ? dpi : 72.0;
    plspage(scale, scale, static_cast<PLINT>(std::lround(kFigureWidthInches * scale)),
            static_cast<PLINT>(std::lround(kFigureHeightInches * scale)), 0, 0);
    plscol0(0, 255, 255, 255);
    plscol0(1, 38, 38, 38);
    plinit();
    pladv(0);
    plschr(0, 0.95);
    for (const Axes &a : figure.axes) DrawAxes(figure, a);
    plend1();
}

const RenderModule kModule{Draw};

}  // namespace

}  // namespace mtrx::plot

extern "C" const void *mtrx_plplot_module() { return &mtrx::plot::kModule; }
